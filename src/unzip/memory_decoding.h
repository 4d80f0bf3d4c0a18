#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "byte_stream.h"
#include "member_decoder.h"

// Drives the decoders from memory instead of an archive file, for tests and fuzz targets.
namespace unzip {

// Delivers a byte range, then reports the end. Optionally hands out at most maxChunk bytes per
// read, and fails (an I/O error) once failAfter bytes were delivered.
class MemorySource : public ByteSource
{
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes,
                          std::size_t maxChunk = std::numeric_limits<std::size_t>::max(),
                          std::size_t failAfter = std::numeric_limits<std::size_t>::max());
    ReadResult read(std::uint8_t* data, std::size_t size) override;
    std::size_t readCalls() const { return m_readCalls; }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_position = 0;
    std::size_t m_maxChunk;
    std::size_t m_failAfter;
    std::size_t m_readCalls = 0;
};

// Collects the written bytes; a write that would go beyond limit bytes fails and is dropped.
class MemorySink : public ByteSink
{
public:
    explicit MemorySink(std::size_t limit = std::numeric_limits<std::size_t>::max());
    bool write(const std::uint8_t* data, std::size_t size) override;
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    const std::vector<std::size_t>& writeSizes() const { return m_writeSizes; }

private:
    std::size_t m_limit;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::size_t> m_writeSizes;
};

struct MemoryDecodeResult
{
    std::int32_t result = 0;
    std::vector<std::uint8_t> output;
    std::vector<std::size_t> writeSizes; // the size of each write, in order
};

// Decodes compressed as the data of a member of the given format, as if the archive ended right
// after them. The output is capped at outputLimit bytes (a longer output ends with
// kOutputFailed), which bounds the memory a hostile stream can claim.
MemoryDecodeResult
decodeFromMemory(const MemberFormat& format, std::span<const std::uint8_t> compressed,
                 std::size_t outputLimit = std::numeric_limits<std::size_t>::max());

} // namespace unzip
