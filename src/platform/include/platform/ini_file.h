#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"

namespace platform {

// A private-profile INI file held in memory, read and written with the rules the program's
// settings have always followed:
//  - section and key names compare ignoring ASCII case; the first matching section and the first
//    matching key in it count; lines without "=" and lines starting with ";" are never keys;
//  - a text value loses the blanks around it and one pair of enclosing quotes (" or '), and is cut
//    to kMaxValueLength characters and at a NUL byte (the profile API hands out C strings);
//  - an integer is tryParseInt's form; anything else reads as the default;
//  - writing replaces a key in place, appends a new key after the last line of its section, or
//    appends the section; every other line, comments included, stays byte for byte.
// The bytes are CP1251 texts, taken as they are. LF and CRLF files are read alike; saving keeps
// every line end of the file that was loaded, new lines take the file's first line end, and a
// new file gets the platform's own.
class IniFile
{
public:
    static constexpr std::size_t kMaxValueLength = 2047; // the Windows profile API's buffer
    // Settings files hold a few hundred bytes. Of a larger file (corrupt, or not an INI file at
    // all, such as a link to a device that never ends) only the lines that end within this many
    // bytes are read, so that memory stays bounded; the keys beyond read as absent.
    static constexpr std::size_t kMaxReadBytes = std::size_t{1} << 20;

    // An empty document, as for a file that does not exist.
    IniFile();

    // Reads the file at an engine path, at most kMaxReadBytes of it (see above). A missing or
    // unreadable file gives an empty document.
    static IniFile load(std::string_view enginePath);

    // Parses file contents.
    static IniFile parse(std::string_view contents);

    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    std::int32_t readInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
    void writeBool(std::string_view section, std::string_view key, bool value); // "1" or "0"

    // The file contents as they would be saved.
    std::string serialize() const;

    // Writes the whole document to a temporary file beside the target and renames it over the
    // target, so the old file stays whole when anything fails. The part of a regular file that
    // load() left unread follows the document byte for byte, copied from the loaded file. The
    // saved file keeps the permissions and owner of the one it replaces; a new one is created
    // with newFileAccess. A target that is a symbolic link is saved where the link leads, and
    // the link stays. False on any I/O error, and for a target that is read-only to the user.
    bool save(std::string_view enginePath,
              NewFileAccess newFileAccess = NewFileAccess::Default) const;

private:
    // Where the bytes that load() did not read lie.
    struct UnreadTail
    {
        std::string enginePath;
        std::size_t offset;
    };

    std::optional<std::string> rawValue(std::string_view section, std::string_view key) const;

    // Inserts a line with the document's line end before line number at.
    void insertLine(std::size_t at, std::string line);

    std::vector<std::string> m_lines;    // without their line ends
    std::vector<std::string> m_lineEnds; // each line's own: LF, CR LF, a lone CR at the end, none
    std::string m_lineEnd;               // for new lines: the file's first, else the platform's
    std::optional<UnreadTail> m_unreadTail;
};

} // namespace platform
