#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "claimed_ranges.h"
#include "platform/read_only_file.h"

namespace unzip {

// One member to extract, as the central directory describes it.
struct MemberJob
{
    std::filesystem::path outputPath; // where the member goes (a directory for a directory entry)
    bool isDirectory = false;         // the name ends with "\"
    std::uint32_t localHeaderOffset = 0;
    std::uint32_t crc32 = 0; // expected CRC-32 of the expanded bytes
    // What the central directory declares: the member's sizes, and where its data must end at
    // the latest (the start of the central directory).
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t directoryOffset = 0;
};

// Extracts members of one archive through an opening of the archive file of its own.
class MemberExtractor
{
public:
    explicit MemberExtractor(std::filesystem::path archivePath);

    // Reads the member's local header and expands its data through a temporary file that
    // replaces the output only when the member decoded completely with the expected CRC-32.
    // The work is bounded by what the central directory declares: the decoder reads no more
    // than the declared compressed size (and two bytes of look-ahead) and writes no more than
    // the declared uncompressed size.
    // Returns 0 (also for a directory entry whose directory exists or was created);
    // kCannotReopenArchive; kPrematureEnd when the local header lies beyond the end of the
    // archive or the data end early; kInvalidData for a short or unsigned local header, sizes
    // in it that differ from the declared ones (unless flag bit 3 says they follow the data),
    // data reaching beyond the start of the central directory or into the bytes of a member
    // extracted before, output beyond the declared size, invalid data or a CRC-32 mismatch;
    // kUnsupportedMethod; kEncrypted; kOutputFailed; or a positive code of Inflate. Throws
    // UnzipIoError when the archive cannot be positioned at the data.
    std::int32_t ExtractMember(const MemberJob& job);

private:
    std::filesystem::path m_archivePath;
    platform::ReadOnlyFile m_archive;
    std::optional<std::int64_t> m_archiveSize;
    ClaimedRanges m_claimed;
};

} // namespace unzip
