#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace unzip {

// False for a member name (with "\" separators, as the directory walk gives it) that would lead
// outside the target directory: one that begins with "\" or with a drive letter and ":", or
// that has a component made only of dots and blanks, two dots or more ("..", and "..." or ".. "
// which Windows reads as ".."); and one with a component named like the temporary files of
// platform::AtomicFile, which a later run would remove as left over.
bool isSafeMemberName(std::string_view name);

// The member name as engine text (CP1251): CP866 names converted as the OEM code page they are,
// UTF-8 names (flag bit 11) re-encoded, with "?" for what CP1251 cannot hold.
std::string memberNameAsEngineText(std::string_view rawName, bool utf8);

// The OS path of a member's output: the engine target directory (ending with "\") followed by
// the member name. A CP866 name is converted to CP1251 and then joined; a UTF-8 name is joined
// as the UTF-8 it already is, so that no character is lost on the way.
std::filesystem::path memberOutputPath(std::string_view targetDirectory, std::string_view rawName,
                                       bool utf8);

} // namespace unzip
