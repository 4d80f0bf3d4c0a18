#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream_writer.h"

// Writes crafted ZIP archives: the records laid out as the format describes them, with every
// field under the test's control.
namespace unzip_test {

struct CraftedEntry
{
    std::string name; // raw bytes, "/" separators
    Bytes data;       // the member's data as stored in the archive
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint8_t hostSystem = 0; // 0: MS-DOS
    std::uint32_t externalAttributes = 0;
    // What the local header says, where it differs from the central directory.
    std::optional<std::uint16_t> localFlags;
    std::optional<std::uint32_t> localCompressedSize;
    std::optional<std::uint32_t> localUncompressedSize;
};

// A member stored as it is; a member deflated as one fixed block of literals; a directory entry.
CraftedEntry storedEntry(std::string name, std::string_view content);
CraftedEntry deflatedEntry(std::string name, std::string_view content);
CraftedEntry directoryEntry(std::string name);
// A member with arbitrary data whose expanded content is given for its sizes and CRC-32.
CraftedEntry rawEntry(std::string name, std::uint16_t method, Bytes data, std::string_view content);

std::uint32_t crcOf(std::string_view content);

// Records, for archives laid out by hand.
Bytes localHeader(const CraftedEntry& entry);
Bytes centralEntry(const CraftedEntry& entry, std::uint32_t localHeaderOffset);
Bytes endRecord(std::uint16_t entries, std::uint32_t directorySize, std::uint32_t directoryOffset,
                std::string_view comment = {});

// Local headers with data, then the central directory, then the end record.
Bytes buildZip(const std::vector<CraftedEntry>& entries, std::string_view comment = {});

void append(Bytes& to, const Bytes& bytes);

} // namespace unzip_test
