#include "bit_input.h"

namespace unzip {

BitInput::BitInput(ByteSource& source, std::int64_t compressedSize)
    : m_source(source), m_compressedSize(compressedSize)
{}

void BitInput::FillInBuf()
{
    // Two bytes of slack: a decoder may look up to 15 bits beyond its last code.
    if (m_bytesRead > m_compressedSize + 2) {
        m_endOfInput = true;
        m_inLast = kBufferSize - 1;
        m_inPos = 0;
        return;
    }
    const auto got = m_source.read(m_inBuf.data(), m_inBuf.size());
    std::int32_t count = static_cast<std::int32_t>(got.count);
    if (got.error || count == 0) {
        count = kBufferSize;
        m_endOfInput = true;
    }
    m_bytesRead += count;
    m_inLast = count - 1;
    m_inPos = 0;
}

} // namespace unzip
