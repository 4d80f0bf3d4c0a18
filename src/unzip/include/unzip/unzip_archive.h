#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace unzip {

// Results of UnzipArchive below zero.
inline constexpr std::int32_t kEmptyPath = -500;     // archive path or target directory empty
inline constexpr std::int32_t kNotAZipArchive = -12; // the path names no ZIP archive
inline constexpr std::int32_t kBadCentralDirectory = -9;
inline constexpr std::int32_t kCannotReopenArchive = -14;
inline constexpr std::int32_t kInvalidData = -4;  // bad local header or compressed data
inline constexpr std::int32_t kPrematureEnd = -3; // member data end early / unreachable
inline constexpr std::int32_t kOutputFailed = -2; // a member could not be written; see below

// Results of a single member that end the walk without being returned: the count of the
// members extracted before it is returned instead.
inline constexpr std::int32_t kUnsupportedMethod = -6; // not stored, shrunk, imploded or deflated
inline constexpr std::int32_t kEncrypted = -7;

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
//
// Members are written as they will stay or not at all: each goes to a temporary file beside its
// final name and is renamed over that name only when it decoded completely and matched the
// CRC-32 of its central-directory entry (a mismatch is kInvalidData). An earlier file of the
// same name, read-only or not, stays untouched until then. kOutputFailed stands for any step of
// that: creating the temporary file (after creating the missing directories) or a directory
// entry's directory, writing it, or renaming it into place. It ends the call like kInvalidData:
// the members extracted before it stay, the later ones are not attempted.
//
// The work is bounded by what the central directory declares, so that time and bytes written
// grow at most linearly with the archive's size and the sizes it declares. A member is
// kInvalidData, before anything of it is decoded, when its local header gives other sizes than
// its directory entry (unless flag bit 3 puts them after the data), when its data would end
// beyond the start of the central directory, or when its local header or data share bytes with
// a member extracted before it. Decoding reads no more than the declared compressed size (data
// ending before the decoder is done: kPrematureEnd) and writes no more than the declared
// uncompressed size (the first write beyond it: kInvalidData, and nothing of the member stays).
//
// Names are CP866 (turned into CP1251 for masks and the file system) unless the entry's flag bit
// 11 marks UTF-8. A member whose name would leave the target directory (a ".." component, a
// leading "\" or a drive letter) is skipped: not written, not counted. An MS-DOS read-only
// attribute makes an extracted file read-only. An exception leaves no temporary file behind;
// members extracted before it stay. One call at a time per target directory; the call does not
// touch the process's current directory or any other process-wide state.
std::int32_t UnzipArchive(std::string_view archivePath, std::string_view targetDirectory,
                          std::string_view mask = {});

} // namespace unzip
