#include "memory_decoding.h"

#include <algorithm>

namespace unzip {

MemorySource::MemorySource(std::span<const std::uint8_t> bytes, std::size_t maxChunk,
                           std::size_t failAfter)
    : m_bytes(bytes), m_maxChunk(maxChunk), m_failAfter(failAfter)
{}

ByteSource::ReadResult MemorySource::read(std::uint8_t* data, std::size_t size)
{
    ++m_readCalls;
    if (m_position >= m_failAfter)
        return {0, true};
    const std::size_t count =
        std::min({size, m_maxChunk, m_bytes.size() - m_position, m_failAfter - m_position});
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_position), count, data);
    m_position += count;
    return {count, false};
}

MemorySink::MemorySink(std::size_t limit) : m_limit(limit) {}

bool MemorySink::write(const std::uint8_t* data, std::size_t size)
{
    m_writeSizes.push_back(size);
    if (size > m_limit - m_bytes.size())
        return false;
    m_bytes.insert(m_bytes.end(), data, data + size);
    return true;
}

MemoryDecodeResult decodeFromMemory(const MemberFormat& format,
                                    std::span<const std::uint8_t> compressed,
                                    std::size_t outputLimit)
{
    MemorySource source(compressed);
    MemorySink sink(outputLimit);
    MemoryDecodeResult decoded;
    decoded.result = decodeMember(format, source, sink);
    decoded.output = sink.bytes();
    decoded.writeSizes = sink.writeSizes();
    return decoded;
}

} // namespace unzip
