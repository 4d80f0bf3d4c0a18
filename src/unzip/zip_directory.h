#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/read_only_file.h"

namespace unzip {

// Results of OpenZipDirectory and NextZipEntry besides 0.
inline constexpr std::int32_t kEndRecordTooEarly = -9; // no room for an entry before the end record
inline constexpr std::int32_t kNoFurtherEntry = -10; // directory finished, or next entry malformed
inline constexpr std::int32_t kArchiveUnreadable =
    -11; // cannot open, empty, unreadable, no end record

// Member names are kept to what a 260-character buffer holds.
inline constexpr std::size_t kMaxMemberName = 259;

// One walk over an archive's central directory, owned by the caller. After a 0 result of
// OpenZipDirectory or NextZipEntry the member fields describe the member just parsed.
struct ZipDirEntry
{
    bool isOpen = false;
    std::vector<std::uint8_t> buffer;  // the whole central directory + the end record's signature
    std::int32_t position = 0;         // offset in buffer of the next entry to parse
    std::uint32_t directoryOffset = 0; // where the central directory starts in the archive
    std::uint32_t dateTime = 0;        // raw MS-DOS time (low 16 bits) and date; not applied
    std::int64_t uncompressedSize = 0; // the 32-bit field, sign-extended
    std::int64_t compressedSize = 0;   // the 32-bit field, sign-extended
    std::uint32_t localHeaderOffset = 0;
    std::string name; // raw name bytes, cut at NUL and at 259 characters, "/" turned into "\"
    std::uint16_t method = 0;
    std::uint8_t attributes = 0; // MS-DOS attribute byte; 0 for members made on other hosts
    std::uint16_t flags = 0;     // general-purpose flags of the directory entry (bit 11: UTF-8)
    std::uint32_t crc32 = 0;     // CRC-32 of the member's uncompressed bytes
    platform::ReadOnlyFile archiveFile; // open while the walk is open
};

// True when the engine path names an existing file (not a directory) that begins with a local
// header signature. False at once for a path without any "." or containing ".exe" (case
// matters). Never throws.
bool IsZipFile(std::string_view archivePath);

// Finds the end record (searching backwards over overlapping windows, however long the archive
// comment), loads the whole central directory and parses its first entry. Returns 0,
// kEndRecordTooEarly (also for a directory offset beyond the end record), kNoFurtherEntry or
// kArchiveUnreadable (also for a short read of the directory, or no memory for it); on any non-zero
// result the walk is closed. Throws UnzipIoError when the OS cannot tell the archive's size or
// reports an error reading the central directory.
std::int32_t OpenZipDirectory(std::string_view archivePath, ZipDirEntry& entry);

// Parses the next entry. 0, or kNoFurtherEntry (the walk is then closed).
std::int32_t NextZipEntry(ZipDirEntry& entry);

// Closes the walk and frees the directory; does nothing when already closed.
void CloseZipDirectory(ZipDirEntry& entry);

} // namespace unzip
