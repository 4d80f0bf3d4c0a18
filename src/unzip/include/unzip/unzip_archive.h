#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace unzip {

// Results of UnzipArchive below zero.
inline constexpr std::int32_t kEmptyPath = -500;       // archive path or target directory empty
inline constexpr std::int32_t kNotAZipArchive = -12;   // the path names no ZIP archive
inline constexpr std::int32_t kBadCentralDirectory = -9;
inline constexpr std::int32_t kCannotReopenArchive = -14;
inline constexpr std::int32_t kInvalidData = -4;       // bad local header or compressed data
inline constexpr std::int32_t kPrematureEnd = -3;      // member data end early / unreachable

// An I/O error the extractor does not turn into a result code (taking the archive's size,
// reading the central directory, positioning at a member's data).
class UnzipIoError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Extracts the members of the archive whose names match mask (empty: all) into
// targetDirectory, both engine paths (CP1251, "\" separators). Returns the count of extracted
// members (0 or more) or one of the negative codes above. Throws UnzipIoError.
std::int32_t UnzipArchive(std::string_view archivePath, std::string_view targetDirectory,
                          std::string_view mask = {});

} // namespace unzip
