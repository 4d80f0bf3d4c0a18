#include "unshrink.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "unzip/unzip_archive.h"
#include "window_copy.h"
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
// The output goes out in pieces of 767 bytes, as it always has. The pieces are cut from a ring
// of whole pieces that also keeps the recent output, where strings are copied from.
constexpr std::size_t kPieceSize = 767;
constexpr std::uint32_t kRingSize = kPieceSize * 43; // 32,981 bytes
constexpr std::size_t kRingSlack = 16;               // read and written back by word copies
constexpr unsigned kEpochs = 255;                    // epoch 0: never copied from

// A code's entry: its prefix (the code it extends, or for a free code -(next free code)) in the
// low 16 bits, signed; the last byte of its string above them; in the top byte the partial
// clear after which it was defined, when its string may be copied from where it occurred.
// A partial clear frees codes that codes above the free-list head may still lead through, so
// only strings defined since the last clear are sure to read as their chains do.
struct UnshrinkWorkArea
{
    std::uint32_t entry[kEntries];
    std::uint16_t length[kEntries]; // a defined code's string length (0: longer than 65,535)
    std::uint32_t start[kEntries];  // where that string began, counted in output bytes
    std::uint8_t stack[kStackSize]; // a string is rebuilt backwards from the top
    std::uint8_t ring[kRingSize + kRingSlack];
};

class Unshrinker
{
public:
    Unshrinker(BitInput& in, ByteSink& sink, bool copies)
        : m_in(in), m_sink(sink), m_copies(copies),
          m_area(std::make_unique_for_overwrite<UnshrinkWorkArea>())
    {
        // Every code free, each linking to the next; nothing else is read before it is written.
        for (std::int32_t c = kFirstEntry; c <= kLastEntry; ++c)
            m_area->entry[c - kFirstEntry] = static_cast<std::uint32_t>(-(c + 1)) & 0xFFFF;
        std::memset(m_area->ring + kRingSize, 0, kRingSlack);
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
        std::uint32_t previousStart = m_total;
        std::uint32_t previousLength = 1;
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

            // Whether the previous code's chain spells what it wrote: a literal (or 256, which
            // only the first code can be, written as a zero byte), or a code defined (possibly
            // just now) from such a code. A code read while free and not
            // defined in its step stays free, and its chain means nothing.
            const bool previousSpelled = previous <= kControlCode || copiable(previous);
            const std::int32_t newCode = code;
            const std::uint32_t start = m_total;
            std::uint32_t length = 1;
            if (code < kControlCode) {
                firstByte = static_cast<std::uint8_t>(code);
                if (!UnshrinkPutByte(firstByte))
                    return kOutputFailed;
            } else if (prefixOf(code) < 0 && previousSpelled && m_copies) {
                // A code that is free when read (normally the one this step defines) stands for
                // the previous string followed by that string's first byte: the previous
                // string is the output right before.
                length = previousLength + 1;
                if (!copyFromOutput(previousLength, previousLength) || !UnshrinkPutByte(firstByte))
                    return kOutputFailed;
            } else if (m_copies && prefixOf(code) >= 0 && copiable(code) &&
                       m_total - m_area->start[code - kFirstEntry] <=
                           kRingSize - m_area->length[code - kFirstEntry]) {
                length = m_area->length[code - kFirstEntry];
                firstByte = ringByteAt(m_total - m_area->start[code - kFirstEntry]);
                if (!copyFromOutput(m_total - m_area->start[code - kFirstEntry], length))
                    return kOutputFailed;
            } else if (const std::uint32_t direct =
                           hintHolds(code, previousSpelled)
                               ? writeDirectly(code, previous, previousLength, firstByte)
                               : 0;
                       direct != 0) {
                length = direct;
            } else {
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
                length = static_cast<std::uint32_t>(kStackSize - top);
            }

            if (m_freeCodeHead >= kFirstEntry && m_freeCodeHead <= kLastEntry) {
                const std::int32_t c = m_freeCodeHead;
                m_freeCodeHead = -prefixOf(c);
                const bool spelled = previousSpelled && previousLength < 0xFFFF;
                m_area->entry[c - kFirstEntry] = (spelled ? m_epoch << 24 : 0) |
                                                 static_cast<std::uint32_t>(firstByte) << 16 |
                                                 (static_cast<std::uint32_t>(previous) & 0xFFFF);
                m_area->length[c - kFirstEntry] = static_cast<std::uint16_t>(previousLength + 1);
                m_area->start[c - kFirstEntry] = previousStart;
            }
            previous = newCode;
            previousStart = start;
            previousLength = length;
        }
        if (m_in.endOfInput())
            return kPrematureEnd;
        return UnshrinkFlush() ? 0 : kOutputFailed;
    }

private:
    std::int32_t prefixOf(std::int32_t code) const
    {
        return static_cast<std::int16_t>(m_area->entry[code - kFirstEntry] & 0xFFFF);
    }
    // Sets the prefix (at least -8193) and keeps the rest.
    void setPrefix(std::int32_t code, std::int32_t prefix)
    {
        std::uint32_t& e = m_area->entry[code - kFirstEntry];
        e = (e & 0xFFFF0000u) | (static_cast<std::uint32_t>(prefix) & 0xFFFF);
    }
    // Whether a defined code's string may be copied from where it occurred.
    bool copiable(std::int32_t code) const
    {
        return (m_area->entry[code - kFirstEntry] >> 24) == m_epoch && m_epoch != 0;
    }

    // Whether writeDirectly may trust the length it starts from: a remembered length can be wrong
    // for a string that is not spelled as written, and writing from it would overwrite recent
    // output beyond the string, which copies still read. The plain decoder copies nothing.
    bool hintHolds(std::int32_t code, bool previousSpelled) const
    {
        if (!m_copies)
            return true;
        return prefixOf(code) < 0 ? previousSpelled : copiable(code);
    }

    // Writes the string of code (>= 257) straight into the ring, back to front from where its
    // remembered length says it ends, when it fits into the current piece. Returns the string's
    // length, or 0 when the stack must do it (too long, or the chain disagrees with the length);
    // sets firstByte to the string's first byte.
    std::uint32_t writeDirectly(std::int32_t code, std::int32_t previous,
                                std::uint32_t previousLength, std::uint8_t& firstByte)
    {
        std::uint8_t* const out = m_area->ring + m_ringPos;
        std::size_t length;
        std::size_t pos;
        if (prefixOf(code) < 0) {
            length = previousLength + 1;
            if (m_pieceFill + length >= kPieceSize)
                return 0;
            pos = length;
            out[--pos] = firstByte;
            code = previous;
        } else {
            length = m_area->length[code - kFirstEntry];
            if (m_pieceFill + length >= kPieceSize)
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
        m_ringPos += static_cast<std::uint32_t>(length);
        m_total += static_cast<std::uint32_t>(length);
        m_pieceFill += length;
        return static_cast<std::uint32_t>(length);
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

    // The ring position of the byte written back bytes ago (1 to kRingSize).
    std::uint32_t ringIndexBack(std::uint32_t back) const
    {
        return m_ringPos >= back ? m_ringPos - back : m_ringPos + kRingSize - back;
    }
    std::uint8_t ringByteAt(std::uint32_t back) const { return m_area->ring[ringIndexBack(back)]; }

    bool UnshrinkPutByte(std::uint8_t b)
    {
        m_area->ring[m_ringPos++] = b;
        ++m_total;
        return ++m_pieceFill < kPieceSize || flushPiece();
    }

    // Writes the full piece that ends at the write position and moves on.
    bool flushPiece()
    {
        const bool written = m_sink.write(m_area->ring + m_ringPos - kPieceSize, kPieceSize);
        m_pieceFill = 0;
        if (m_ringPos == kRingSize)
            m_ringPos = 0;
        return written;
    }

    // UnshrinkPutByte for each byte in turn.
    bool putBytes(const std::uint8_t* bytes, std::size_t count)
    {
        while (count > 0) {
            const std::size_t chunk = std::min(count, kPieceSize - m_pieceFill);
            std::memcpy(m_area->ring + m_ringPos, bytes, chunk);
            m_ringPos += static_cast<std::uint32_t>(chunk);
            m_total += static_cast<std::uint32_t>(chunk);
            m_pieceFill += chunk;
            bytes += chunk;
            count -= chunk;
            if (m_pieceFill == kPieceSize && !flushPiece())
                return false;
        }
        return true;
    }

    // Writes again the count bytes that begin back bytes before the write position (count at
    // most back, back at most kRingSize - count, so that none of them is overwritten first).
    bool copyFromOutput(std::uint32_t back, std::uint32_t count)
    {
        std::uint32_t from = ringIndexBack(back);
        while (count > 0) {
            const std::uint32_t chunk = std::min(
                {count, kRingSize - from, static_cast<std::uint32_t>(kPieceSize - m_pieceFill)});
            std::uint8_t* const to = m_area->ring + m_ringPos;
            const std::uint8_t* const source = m_area->ring + from;
            if (source < to || source >= to + 16)
                window_copy::copyMatchWithRoom(to, source, chunk);
            else
                std::memmove(to, source, chunk);
            m_ringPos += chunk;
            m_total += chunk;
            m_pieceFill += chunk;
            from += chunk;
            if (from == kRingSize)
                from = 0;
            count -= chunk;
            if (m_pieceFill == kPieceSize && !flushPiece())
                return false;
        }
        return true;
    }

    bool UnshrinkFlush()
    {
        return m_pieceFill == 0 ||
               m_sink.write(m_area->ring + m_ringPos - m_pieceFill, m_pieceFill);
    }

    // Partial clear (control 256,2): every entry below the free-list head that no other such
    // entry uses as its prefix goes back to the free list, in ascending order, followed by the
    // list as it was; entries that are free already go back too. The flags of the entries in
    // use as a prefix are kept in the string stack, which is idle between codes.
    void UnshrinkPartialClear()
    {
        const std::int32_t top = std::min(m_freeCodeHead - 1, kLastEntry);
        std::uint8_t* const usedAsPrefix = m_area->stack;
        static_assert(kStackSize >= kEntries + 1); // the last flag takes what is no entry
        std::memset(usedAsPrefix, 0, kEntries + 1);
        // Both passes without data-dependent branches: which entries are prefixes, and which
        // entries go back, is as good as random.
        for (std::int32_t c = kFirstEntry; c <= top; ++c) {
            const auto index = static_cast<std::uint32_t>(prefixOf(c) - kFirstEntry);
            usedAsPrefix[index < kEntries ? index : kEntries] = 1;
        }
        // From the top down, each entry that goes back links to the next one above it; the
        // highest links to the list as it was.
        std::int32_t next = top + 1;
        for (std::int32_t c = top; c >= kFirstEntry; --c) {
            std::uint32_t& e = m_area->entry[c - kFirstEntry];
            const bool back =
                (static_cast<std::int16_t>(e & 0xFFFF) < 0) | (usedAsPrefix[c - kFirstEntry] == 0);
            const std::uint32_t linked =
                (e & 0xFFFF0000u) | (static_cast<std::uint32_t>(-next) & 0xFFFF);
            e = back ? linked : e;
            next = back ? c : next;
        }
        m_freeCodeHead = next;
        // Codes defined before now are no longer copied from. Once the epochs run out, they
        // start over with every code's epoch cleared.
        if (++m_epoch > kEpochs) {
            for (std::uint32_t& e : m_area->entry)
                e &= 0x00FFFFFFu;
            m_epoch = 1;
        }
    }

    BitInput& m_in;
    ByteSink& m_sink;
    const bool m_copies;
    std::unique_ptr<UnshrinkWorkArea> m_area;
    std::int32_t m_freeCodeHead = kFirstEntry;
    std::uint32_t m_ringPos = 0; // where the next byte goes in the ring
    std::size_t m_pieceFill = 0; // bytes of the current piece written
    // Bytes written in all, modulo 2^32: a member's output (its declared size bounds it) and so
    // the distance back to any string stay below that.
    std::uint32_t m_total = 0;
    std::uint32_t m_epoch = 1;
    unsigned m_codeSize = kInitialCodeSize;
};

} // namespace

std::int32_t Unshrink(BitInput& in, ByteSink& sink, std::int64_t compressedSize)
{
    if (compressedSize == zip_format::kUnknownSize)
        return kUnsupportedMethod;
    Unshrinker unshrinker(in, sink, true);
    return unshrinker.run(compressedSize);
}

std::int32_t UnshrinkByChains(BitInput& in, ByteSink& sink, std::int64_t compressedSize)
{
    if (compressedSize == zip_format::kUnknownSize)
        return kUnsupportedMethod;
    Unshrinker unshrinker(in, sink, false);
    return unshrinker.run(compressedSize);
}

} // namespace unzip
