#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "byte_stream.h"

namespace unzip {

// The compressed bytes of one member, handed out byte by byte or bit by bit (least significant
// bit first). Bytes come from the source in blocks of 4096; the reader may run a little past the
// member's data (the extractor's source ends two bytes after them), and each decoder stops on
// its own end marker or at endOfInput(). Once more than the member's
// compressed size + 2 bytes have been taken, or the source ends or fails, endOfInput() is set and
// the reader hands out the old buffer contents again as filler, which the decoders notice.
class BitInput
{
public:
    static constexpr std::int32_t kBufferSize = 4096;

    // compressedSize: the member's compressed size (or the unknown-size marker).
    BitInput(ByteSource& source, std::int64_t compressedSize);

    // Forgets buffered bytes and bits, so that the next read refills from the source.
    void reset()
    {
        m_inPos = 0;
        m_inLast = -1;
        m_bitBuf = 0;
        m_bitCount = 0;
    }

    // Forgets the held bits only; buffered bytes stay.
    void clearBits()
    {
        m_bitBuf = 0;
        m_bitCount = 0;
    }

    // Refills the buffer from the source (see the class comment for the end-of-input rule).
    void FillInBuf();

    std::uint8_t ReadByte()
    {
        if (m_inPos > m_inLast)
            FillInBuf();
        return m_inBuf[static_cast<std::size_t>(m_inPos++)];
    }

    // Makes sure at least n bits (1 to 25) are held; reads whole bytes only when needed.
    void NeedBits(unsigned n)
    {
        while (m_bitCount < n) {
            m_bitBuf |= static_cast<std::uint64_t>(ReadByte()) << m_bitCount;
            m_bitCount += 8;
        }
    }

    // Takes whole bytes until 56 to 63 bits are held, when at least 8 bytes are buffered;
    // otherwise nothing. Never refills, so the refills fall where NeedBits alone has them.
    void takeWordIfBuffered()
    {
        if (m_inLast + 1 - m_inPos < 8)
            return;
        std::uint64_t word;
        std::memcpy(&word, m_inBuf.data() + m_inPos, sizeof word);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
        const unsigned taken = (63 - m_bitCount) >> 3;
        m_bitBuf |= (word & ((std::uint64_t{1} << (8 * taken)) - 1)) << m_bitCount;
        m_inPos += static_cast<std::int32_t>(taken);
        m_bitCount += 8 * taken;
    }

    // Discards the n lowest held bits (n at most bitCount()).
    void DropBits(unsigned n)
    {
        m_bitBuf >>= n;
        m_bitCount -= n;
    }

    // Discards the bits left over from a partly used byte.
    void alignToByte() { DropBits(m_bitCount & 7); }

    std::uint64_t bits() const { return m_bitBuf; }
    unsigned bitCount() const { return m_bitCount; }
    bool endOfInput() const { return m_endOfInput; }
    std::int64_t bytesRead() const { return m_bytesRead; }

    // The buffer's first bytes, where the driver reads a member's local header.
    std::uint8_t* buffer() { return m_inBuf.data(); }

    // Hot decoding loops keep the reader's state in locals: they may take whole bytes from
    // [next, end) into the bit reservoir, which may hold up to 63 bits, and hand the state back
    // with endFast. They never refill, so the source sees the same reads as bit-by-bit decoding.
    struct FastState
    {
        const std::uint8_t* next;
        const std::uint8_t* end;
        std::uint64_t bitBuf;
        unsigned bitCount;

        // Takes whole bytes until 56 to 63 bits are held; needs 8 bytes at next. Bits above
        // bitCount may already hold the following input bytes: later refills put the same bits
        // there again.
        void refill()
        {
            std::uint64_t word;
            std::memcpy(&word, next, sizeof word);
            if constexpr (std::endian::native == std::endian::big)
                word = __builtin_bswap64(word);
            bitBuf |= word << bitCount;
            next += (63 - bitCount) >> 3;
            bitCount |= 56;
        }
        void consume(unsigned n)
        {
            bitBuf >>= n;
            bitCount -= n;
        }
    };
    FastState beginFast() const
    {
        return {m_inBuf.data() + m_inPos, m_inBuf.data() + m_inLast + 1, m_bitBuf, m_bitCount};
    }
    void endFast(const FastState& state)
    {
        m_inPos = static_cast<std::int32_t>(state.next - m_inBuf.data());
        m_bitCount = state.bitCount;
        m_bitBuf = state.bitBuf & ((std::uint64_t{1} << state.bitCount) - 1);
    }

private:
    ByteSource& m_source;
    std::int64_t m_compressedSize;
    std::int64_t m_bytesRead = 0;
    bool m_endOfInput = false;
    std::int32_t m_inPos = 0;
    std::int32_t m_inLast = -1; // -1: empty
    std::uint64_t m_bitBuf = 0;
    unsigned m_bitCount = 0;
    std::array<std::uint8_t, kBufferSize> m_inBuf{};
};

} // namespace unzip
