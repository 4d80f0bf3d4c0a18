#pragma once

#include <string>
#include <string_view>

// Conversions between the program's 8-bit texts and the outside world. Engine texts are CP1251
// bytes; the GUI and the file system speak UTF-8; ZIP member names arrive in CP866.
namespace platform {

// CP1251 bytes to UTF-8. Every byte has a mapping, so the result is always valid UTF-8.
std::string cp1251ToUtf8(std::string_view cp1251);

// UTF-8 to CP1251. A character that CP1251 cannot hold, and every byte that is not part of a
// valid UTF-8 sequence, becomes "?".
std::string utf8ToCp1251(std::string_view utf8);

// CP866 (MS-DOS Cyrillic) to CP1251, the role of the Windows OemToCharA call. Box-drawing and the
// other CP866 signs without a CP1251 counterpart become "?".
std::string cp866ToCp1251(std::string_view cp866);

// ASCII-only upper case: "a".."z" become "A".."Z"; every other byte, Cyrillic included, stays.
std::string asciiUpper(std::string_view text);

} // namespace platform
