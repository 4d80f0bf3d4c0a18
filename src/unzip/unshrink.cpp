#include "unshrink.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "unzip/unzip_archive.h"
#include "zip_format.h"

namespace unzip {
namespace {

constexpr std::int32_t kControlCode = 256;
constexpr std::int32_t kFirstEntry = 257;
constexpr std::int32_t kLastEntry = 8192;
constexpr std::int32_t kEntries = kLastEntry - kFirstEntry + 1; // 7936
constexpr unsigned kInitialCodeSize = 9;
constexpr unsigned kMaxCodeSize = 13;
constexpr std::size_t kStackSize = 8193;
// The output goes out in pieces of 767 bytes, as it always has.
constexpr std::size_t kOutBufSize = 767;

// A code's entry holds its prefix (the code it extends, or for a free code -(next free code))
// in the low 16 bits, signed, and the last byte of its string above them: one load per step of
// a string's walk.
struct UnshrinkWorkArea
{
    std::uint32_t entry[kEntries];
    // The length of a code's string when it was defined; a hint for writing the string straight
    // into the output buffer (malformed data can make it wrong: then the stack takes over).
    std::uint16_t length[kEntries];
    std::uint8_t stack[kStackSize]; // a string is rebuilt backwards from the top
    std::uint8_t outBuf[kOutBufSize];
};

class Unshrinker
{
public:
    Unshrinker(BitInput& in, ByteSink& sink)
        : m_in(in), m_sink(sink), m_area(std::make_unique_for_overwrite<UnshrinkWorkArea>())
    {
        // Every code free, each linking to the next; nothing else is read before it is written.
        for (std::int32_t c = kFirstEntry; c <= kLastEntry; ++c)
            m_area->entry[c - kFirstEntry] = static_cast<std::uint32_t>(-(c + 1)) & 0xFFFF;
    }

    std::int32_t run(std::int64_t compressedSize)
    {
        m_in.reset();
        // The budget counts bits in 64 bits, so that no member size can wrap it.
        std::int64_t budget =
            8 * static_cast<std::int64_t>(static_cast<std::uint32_t>(compressedSize)) -
            kInitialCodeSize;
        if (budget < 0)
            return 0; // not even one code

        std::int32_t previous = readCode();
        std::uint8_t firstByte = static_cast<std::uint8_t>(previous);
        if (!UnshrinkPutByte(firstByte))
            return kOutputFailed;
        std::uint32_t previousLength = 1;

        // The budget comes from the declared size; data that end before it end the member.
        while (budget >= m_codeSize && !m_in.endOfInput()) {
            std::int32_t code = readCode();
            budget -= m_codeSize;
            if (code == kControlCode) {
                const std::int32_t control = readCode();
                budget -= m_codeSize;
                if (control == 1) {
                    if (++m_codeSize > kMaxCodeSize)
                        return kInvalidData;
                } else if (control == 2) {
                    UnshrinkPartialClear();
                } else {
                    return kInvalidData;
                }
                continue;
            }

            const std::int32_t newCode = code;
            std::uint32_t outputLength = 1;
            if (code < kControlCode) {
                firstByte = static_cast<std::uint8_t>(code);
                if (!UnshrinkPutByte(firstByte))
                    return kOutputFailed;
            } else if (const std::uint32_t direct =
                           writeDirectly(code, previous, previousLength, firstByte);
                       direct != 0) {
                outputLength = direct;
            } else {
                // A code that is free when read (normally the one this step defines) stands
                // for the previous string followed by that string's first byte.
                std::size_t top = kStackSize;
                if (prefixOf(code) < 0) {
                    m_area->stack[--top] = firstByte;
                    code = previous;
                }
                while (code > kControlCode) {
                    if (top == 0 || code > kLastEntry)
                        return kInvalidData; // a chain longer than any valid string
                    const std::uint32_t e = m_area->entry[code - kFirstEntry];
                    m_area->stack[--top] = static_cast<std::uint8_t>(e >> 16);
                    code = static_cast<std::int16_t>(e & 0xFFFF);
                }
                firstByte = static_cast<std::uint8_t>(code);
                bool written;
                if (top > 0) {
                    m_area->stack[--top] = firstByte;
                    written = putBytes(m_area->stack + top, kStackSize - top);
                } else {
                    written = putBytes(&firstByte, 1) && putBytes(m_area->stack, kStackSize);
                }
                if (!written)
                    return kOutputFailed;
                outputLength = static_cast<std::uint32_t>(kStackSize - top);
            }

            if (m_freeCodeHead >= kFirstEntry && m_freeCodeHead <= kLastEntry) {
                const std::int32_t c = m_freeCodeHead;
                m_freeCodeHead = -prefixOf(c);
                m_area->entry[c - kFirstEntry] = static_cast<std::uint32_t>(firstByte) << 16 |
                                                 (static_cast<std::uint32_t>(previous) & 0xFFFF);
                m_area->length[c - kFirstEntry] =
                    static_cast<std::uint16_t>(std::min<std::uint32_t>(previousLength + 1, 0xFFFF));
            }
            previous = newCode;
            previousLength = outputLength;
        }
        if (m_in.endOfInput())
            return kPrematureEnd;
        return UnshrinkFlush() ? 0 : kOutputFailed;
    }

private:
    // Writes the string of code (>= 257) straight into the output buffer, back to front from
    // where its remembered length says it ends, when it fits without filling the buffer. Returns
    // the string's length, 0 when the stack must do it (too long, or the chain disagrees with
    // the length); sets firstByte to the string's first byte.
    std::uint32_t writeDirectly(std::int32_t code, std::int32_t previous,
                                std::uint32_t previousLength, std::uint8_t& firstByte)
    {
        std::uint8_t* const out = m_area->outBuf + m_outPos;
        std::size_t length;
        std::size_t pos;
        if (prefixOf(code) < 0) {
            length = previousLength + 1;
            if (m_outPos + length >= kOutBufSize)
                return 0;
            pos = length;
            out[--pos] = firstByte;
            code = previous;
        } else {
            length = m_area->length[code - kFirstEntry];
            if (m_outPos + length >= kOutBufSize)
                return 0;
            pos = length;
        }
        // Codes are read in at most 13 bits and prefixes are such codes or free links (negative):
        // a chain never leaves the table.
        static_assert((1 << kMaxCodeSize) - 1 <= kLastEntry);
        while (code > kControlCode) {
            if (pos <= 1)
                return 0; // longer than remembered
            const std::uint32_t e = m_area->entry[code - kFirstEntry];
            out[--pos] = static_cast<std::uint8_t>(e >> 16);
            code = static_cast<std::int16_t>(e & 0xFFFF);
        }
        if (pos != 1)
            return 0; // shorter than remembered
        firstByte = static_cast<std::uint8_t>(code);
        out[0] = firstByte;
        m_outPos += length;
        return static_cast<std::uint32_t>(length);
    }

    std::int32_t prefixOf(std::int32_t code) const
    {
        return static_cast<std::int16_t>(m_area->entry[code - kFirstEntry] & 0xFFFF);
    }
    // Sets the prefix (at least -8193) and keeps the suffix.
    void setPrefix(std::int32_t code, std::int32_t prefix)
    {
        std::uint32_t& e = m_area->entry[code - kFirstEntry];
        e = (e & 0xFFFF0000u) | (static_cast<std::uint32_t>(prefix) & 0xFFFF);
    }

    std::int32_t readCode()
    {
        if (m_in.bitCount() < m_codeSize)
            m_in.takeWordIfBuffered();
        m_in.NeedBits(m_codeSize);
        const auto code = static_cast<std::int32_t>(m_in.bits() & ((1u << m_codeSize) - 1));
        m_in.DropBits(m_codeSize);
        return code;
    }

    bool UnshrinkPutByte(std::uint8_t b)
    {
        m_area->outBuf[m_outPos++] = b;
        if (m_outPos < kOutBufSize)
            return true;
        const bool written = UnshrinkFlush();
        m_outPos = 0;
        return written;
    }

    // UnshrinkPutByte for each byte in turn: copies up to one byte short of a full buffer at
    // once and lets UnshrinkPutByte fill and write it.
    bool putBytes(const std::uint8_t* bytes, std::size_t count)
    {
        while (count > 0) {
            const std::size_t chunk = std::min(count, kOutBufSize - 1 - m_outPos);
            std::memcpy(m_area->outBuf + m_outPos, bytes, chunk);
            m_outPos += chunk;
            bytes += chunk;
            count -= chunk;
            if (count == 0)
                break;
            if (!UnshrinkPutByte(*bytes++))
                return false;
            --count;
        }
        return true;
    }

    bool UnshrinkFlush() { return m_outPos == 0 || m_sink.write(m_area->outBuf, m_outPos); }

    // Partial clear (control 256,2): every entry below the free-list head that no other such
    // entry uses as its prefix goes back to the free list, in ascending order, followed by the
    // list as it was; entries that are free already go back too. The flags of the entries in
    // use as a prefix are kept in the string stack, which is idle between codes.
    void UnshrinkPartialClear()
    {
        const std::int32_t top = std::min(m_freeCodeHead - 1, kLastEntry);
        std::uint8_t* const usedAsPrefix = m_area->stack;
        static_assert(kStackSize >= kEntries);
        std::memset(usedAsPrefix, 0, kEntries);
        for (std::int32_t c = kFirstEntry; c <= top; ++c) {
            const std::int32_t p = prefixOf(c);
            if (p > kControlCode && p <= kLastEntry)
                usedAsPrefix[p - kFirstEntry] = 1;
        }
        std::int32_t first = 0;
        std::int32_t last = 0;
        for (std::int32_t c = kFirstEntry; c <= top; ++c) {
            if (prefixOf(c) >= 0 && usedAsPrefix[c - kFirstEntry] != 0)
                continue;
            if (last == 0)
                first = c;
            else
                setPrefix(last, -c);
            last = c;
        }
        if (last != 0) {
            setPrefix(last, -(top + 1));
            m_freeCodeHead = first;
        }
    }

    BitInput& m_in;
    ByteSink& m_sink;
    std::unique_ptr<UnshrinkWorkArea> m_area;
    std::int32_t m_freeCodeHead = kFirstEntry;
    std::size_t m_outPos = 0;
    unsigned m_codeSize = kInitialCodeSize;
};

} // namespace

std::int32_t Unshrink(BitInput& in, ByteSink& sink, std::int64_t compressedSize)
{
    if (compressedSize == zip_format::kUnknownSize)
        return kUnsupportedMethod;
    Unshrinker unshrinker(in, sink);
    return unshrinker.run(compressedSize);
}

} // namespace unzip
