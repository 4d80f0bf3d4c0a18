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
// The output goes out in pieces of 767 bytes, the room left in the 48,640-byte work area.
constexpr std::size_t kOutBufSize = 767;
constexpr std::int32_t kMark = 0x8000;
constexpr std::int32_t kFreeBits = 0xC000;

struct UnshrinkWorkArea
{
    std::int32_t prefix[kEntries];  // code: the code it extends; free: -(next free code)
    std::uint8_t suffix[kEntries];  // the last byte of the code's string
    std::uint8_t stack[kStackSize]; // a string is rebuilt backwards from the top
    std::uint8_t outBuf[kOutBufSize];
};
static_assert(sizeof(UnshrinkWorkArea) == 48640);

class Unshrinker
{
public:
    Unshrinker(BitInput& in, ByteSink& sink)
        : m_in(in), m_sink(sink), m_area(std::make_unique<UnshrinkWorkArea>())
    {
        for (std::int32_t c = kFirstEntry; c <= kLastEntry; ++c)
            prefixOf(c) = -(c + 1);
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
            if (code < kControlCode) {
                firstByte = static_cast<std::uint8_t>(code);
                if (!UnshrinkPutByte(firstByte))
                    return kOutputFailed;
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
                    m_area->stack[--top] = suffixOf(code);
                    code = prefixOf(code);
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
            }

            if (m_freeCodeHead >= kFirstEntry && m_freeCodeHead <= kLastEntry) {
                const std::int32_t c = m_freeCodeHead;
                m_freeCodeHead = -prefixOf(c);
                prefixOf(c) = previous;
                suffixOf(c) = firstByte;
            }
            previous = newCode;
        }
        if (m_in.endOfInput())
            return kPrematureEnd;
        return UnshrinkFlush() ? 0 : kOutputFailed;
    }

private:
    std::int32_t& prefixOf(std::int32_t code) { return m_area->prefix[code - kFirstEntry]; }
    std::uint8_t& suffixOf(std::int32_t code) { return m_area->suffix[code - kFirstEntry]; }

    std::int32_t readCode()
    {
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
    // list as it was. Entries are marked with bit 15, unmarked when referred to, and the ones
    // still marked (or free already: negative, so bits 14 and 15 set) are collected.
    void UnshrinkPartialClear()
    {
        const std::int32_t top = std::min(m_freeCodeHead - 1, kLastEntry);
        for (std::int32_t c = kFirstEntry; c <= top; ++c)
            prefixOf(c) |= kMark;
        for (std::int32_t c = kFirstEntry; c <= top; ++c) {
            const std::int32_t p = prefixOf(c) & ~kMark;
            if (p > kControlCode && p <= kLastEntry)
                prefixOf(p) &= ~kMark;
        }
        std::int32_t first = 0;
        std::int32_t last = 0;
        for (std::int32_t c = kFirstEntry; c <= top; ++c) {
            if ((prefixOf(c) & kFreeBits) == 0)
                continue;
            if (last == 0)
                first = c;
            else
                prefixOf(last) = -c;
            last = c;
        }
        if (last != 0) {
            prefixOf(last) = -(top + 1);
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
