#include "explode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "huffman_table.h"
#include "unzip/unzip_archive.h"
#include "window_copy.h"
#include "zip_format.h"

namespace unzip {
namespace {

template <std::uint16_t First, std::uint16_t Step>
constexpr std::array<std::uint16_t, 64> arithmetic()
{
    std::array<std::uint16_t, 64> values{};
    for (std::size_t code = 0; code < values.size(); ++code)
        values[code] = static_cast<std::uint16_t>(First + Step * code);
    return values;
}

constexpr auto kExplodeLengthBase3 = arithmetic<3, 1>(); // literals coded
constexpr auto kExplodeLengthBase2 = arithmetic<2, 1>(); // literals as plain bytes
constexpr auto kExplodeDistance4K = arithmetic<1, 64>();
constexpr auto kExplodeDistance8K = arithmetic<1, 128>();
// Length code 63 is followed by 8 more bits added to its length.
constexpr std::array<std::uint16_t, 64> kExplodeExtra = [] {
    std::array<std::uint16_t, 64> extra{};
    extra[63] = 8;
    return extra;
}();

constexpr std::int32_t kLiteralRootBits = 9;
constexpr std::int32_t kLengthRootBits = 7;
constexpr std::int32_t kDistanceRootBits = 7;
constexpr std::int32_t kLargeDistanceRootBits = 8;
constexpr std::int64_t kLargeMemberThreshold = 200000; // compressed bytes
constexpr std::int32_t kTreeBad = 4;

constexpr std::uint32_t kWindow = OutputWindow::kSize;
constexpr std::uint32_t kMaxMatch = 3 + 63 + 255;
// Bytes that must stay buffered for the fast loop: it never refills, so bit-by-bit decoding
// would not have refilled either.
constexpr std::ptrdiff_t kFastInputMargin = 16;
constexpr std::int32_t kContinue = 1000; // internal: the fast loop stopped without a result

// An imploded tree is sent as run-length coded code lengths, in whole bytes: a count byte b,
// then b + 1 run bytes, each giving (low nibble + 1) as the length of the next (high nibble + 1)
// symbols. The runs must describe exactly n lengths; every symbol has a code of 1..16 bits.
std::int32_t ReadExplodeTree(BitInput& in, std::span<std::uint16_t> lengths)
{
    const unsigned runs = in.ReadByte() + 1u;
    std::size_t filled = 0;
    for (unsigned r = 0; r < runs; ++r) {
        const std::uint8_t c = in.ReadByte();
        const std::size_t count = (c >> 4) + 1u;
        if (filled + count > lengths.size())
            return kTreeBad;
        std::fill_n(lengths.begin() + static_cast<std::ptrdiff_t>(filled), count,
                    static_cast<std::uint16_t>((c & 15) + 1));
        filled += count;
    }
    return filled == lengths.size() ? 0 : kTreeBad;
}

// Reads a tree and builds its table; false unless the tree is readable and its code complete.
bool readTree(BitInput& in, std::span<std::uint16_t> lengths, std::uint16_t s,
              const std::uint16_t* bases, const std::uint16_t* extras, HuffmanTable& table,
              std::int32_t& rootBits)
{
    return ReadExplodeTree(in, lengths) == 0 &&
           BuildHuffmanTable(lengths, s, bases, extras, table, rootBits) == kCodeComplete;
}

// Codes are stored with their bits inverted.
const auto kInvertedIndex = [](std::uint64_t bits, unsigned mask) {
    return static_cast<unsigned>(~bits) & mask;
};

class Exploder
{
public:
    Exploder(BitInput& in, OutputWindow& window, std::uint16_t flags)
        : m_in(in), m_window(window),
          m_threeTrees((flags & zip_format::flag::kImplodeThreeTrees) != 0),
          m_lowDistanceBits((flags & zip_format::flag::kImplode8KDictionary) ? 7u : 6u)
    {}

    std::int32_t run(std::int64_t compressedSize, std::int64_t uncompressedSize)
    {
        m_in.reset();
        std::array<std::uint16_t, 256> lengths{};
        if (m_threeTrees &&
            !readTree(m_in, lengths, 256, nullptr, nullptr, m_literal, m_literalBits))
            return kInvalidData;
        if (!readTree(m_in, std::span(lengths.data(), 64), 0,
                      m_threeTrees ? kExplodeLengthBase3.data() : kExplodeLengthBase2.data(),
                      kExplodeExtra.data(), m_length, m_lengthBits))
            return kInvalidData;
        m_distanceBits =
            compressedSize > kLargeMemberThreshold ? kLargeDistanceRootBits : kDistanceRootBits;
        if (!readTree(m_in, std::span(lengths.data(), 64), 0,
                      m_lowDistanceBits == 7 ? kExplodeDistance8K.data()
                                             : kExplodeDistance4K.data(),
                      kExplodeExtra.data(), m_distance, m_distanceBits))
            return kInvalidData;
        return ExplodeCodes(
            static_cast<std::int32_t>(static_cast<std::uint32_t>(uncompressedSize)));
    }

private:
    // Each item starts with a flag bit: 1 for a literal, 0 for a match given by the low distance
    // bits (plain), the distance code's high part and the length code (both coded).
    std::int32_t ExplodeCodes(std::int32_t remaining)
    {
        m_in.clearBits();
        m_w = 0;
        m_notYetWrapped = true;
        const unsigned lowMask = (1u << m_lowDistanceBits) - 1;

        while (remaining > 0 && !m_in.endOfInput()) {
            const std::int32_t fast = fastItems(remaining);
            if (fast != kContinue)
                return fast;
            if (remaining <= 0)
                break;

            m_in.NeedBits(1);
            const bool literal = (m_in.bits() & 1) != 0;
            m_in.DropBits(1);
            if (literal) {
                --remaining;
                std::uint8_t b;
                if (m_threeTrees) {
                    const HuffEntry* t = walk(m_literal, m_literalBits);
                    if (t == nullptr)
                        return kInvalidData;
                    b = static_cast<std::uint8_t>(t->value);
                } else {
                    m_in.NeedBits(8);
                    b = static_cast<std::uint8_t>(m_in.bits());
                    m_in.DropBits(8);
                }
                m_window.data()[m_w] = b;
                if (!advance(1))
                    return kOutputFailed;
                continue;
            }

            m_in.NeedBits(m_lowDistanceBits);
            const unsigned low = static_cast<unsigned>(m_in.bits()) & lowMask;
            m_in.DropBits(m_lowDistanceBits);
            const HuffEntry* t = walk(m_distance, m_distanceBits);
            if (t == nullptr)
                return kInvalidData;
            const std::uint32_t d = (m_w - low - t->value) & 0xFFFF;
            t = walk(m_length, m_lengthBits);
            if (t == nullptr)
                return kInvalidData;
            std::uint32_t len = t->value;
            if (t->op != 0) {
                m_in.NeedBits(8);
                len += static_cast<std::uint32_t>(m_in.bits() & 0xFF);
                m_in.DropBits(8);
            }
            remaining -= static_cast<std::int32_t>(len);
            if (!copyMatch(d, len))
                return kOutputFailed;
        }
        if (!m_window.FlushOutput(m_w))
            return kOutputFailed;
        return m_in.endOfInput() ? kPrematureEnd : 0;
    }

    // Decodes items while at least kFastInputMargin bytes are buffered and the longest match
    // fits into the window before its end, so that neither a refill nor a flush can fall inside
    // an item. Returns a result, or kContinue when the item-by-item path must take over.
    std::int32_t fastItems(std::int32_t& remaining)
    {
        BitInput::FastState s = m_in.beginFast();
        if (s.end - s.next < kFastInputMargin)
            return kContinue;
        const std::uint8_t* const inLimit = s.end - kFastInputMargin;
        const unsigned lowMask = (1u << m_lowDistanceBits) - 1;
        std::uint8_t* const out = m_window.data();
        std::int32_t result = kContinue;
        while (remaining > 0 && s.next <= inLimit && m_w < kWindow - kMaxMatch) {
            s.refill(); // 56 bits or more: a match takes at most 1 + 7 + 16 + 16 + 8
            const bool literal = (s.bitBuf & 1) != 0;
            s.consume(1);
            if (literal) {
                --remaining;
                if (m_threeTrees) {
                    const HuffEntry* t = walkHeldBits<true>(m_literal.entries(),
                                                            static_cast<unsigned>(m_literalBits),
                                                            s.bitBuf, s.bitCount);
                    if (t == nullptr) {
                        result = kInvalidData;
                        break;
                    }
                    out[m_w++] = static_cast<std::uint8_t>(t->value);
                } else {
                    out[m_w++] = static_cast<std::uint8_t>(s.bitBuf);
                    s.consume(8);
                }
                continue;
            }
            const unsigned low = static_cast<unsigned>(s.bitBuf) & lowMask;
            s.consume(m_lowDistanceBits);
            const HuffEntry* t = walkHeldBits<true>(
                m_distance.entries(), static_cast<unsigned>(m_distanceBits), s.bitBuf, s.bitCount);
            if (t == nullptr) {
                result = kInvalidData;
                break;
            }
            const std::uint32_t d = (m_w - low - t->value) & 0xFFFF;
            t = walkHeldBits<true>(m_length.entries(), static_cast<unsigned>(m_lengthBits),
                                   s.bitBuf, s.bitCount);
            if (t == nullptr) {
                result = kInvalidData;
                break;
            }
            std::uint32_t len = t->value;
            if (t->op != 0) {
                len += static_cast<std::uint32_t>(s.bitBuf & 0xFF);
                s.consume(8);
            }
            remaining -= static_cast<std::int32_t>(len);
            const std::uint32_t from = d & (kWindow - 1);
            if (from + len <= kWindow && (from < m_w || (!m_notYetWrapped && from >= m_w + 16)))
                [[likely]] {
                window_copy::copyMatchWithRoom(out + m_w, out + from, len);
                m_w += len;
            } else {
                copyMatch(d, len); // ends before the end of the window: no flush
            }
        }
        m_in.endFast(s);
        return result;
    }

    // Moves the write position on; a full window is flushed and writing starts over at 0.
    bool advance(std::uint32_t count)
    {
        m_w += count;
        if (m_w < kWindow)
            return true;
        m_w = 0;
        m_notYetWrapped = false;
        return m_window.FlushOutput(kWindow);
    }

    // Copies len bytes from window position d on, in pieces that end at the end of the window.
    bool copyMatch(std::uint32_t d, std::uint32_t len)
    {
        std::uint8_t* const out = m_window.data();
        while (len > 0) {
            d &= kWindow - 1;
            const std::uint32_t chunk = std::min(len, kWindow - std::max(d, m_w));
            len -= chunk;
            // Before the first full window, a reference to a position before the start of the
            // output reads zero bytes.
            if (m_notYetWrapped && m_w <= d)
                std::memset(out + m_w, 0, chunk);
            else
                window_copy::copyInWindow(out, m_w, d, chunk);
            d += chunk;
            if (!advance(chunk))
                return false;
        }
        return true;
    }

    const HuffEntry* walk(const HuffmanTable& table, std::int32_t rootBits)
    {
        return walkHuffmanTable(m_in, table, static_cast<unsigned>(rootBits), kInvertedIndex);
    }

    BitInput& m_in;
    OutputWindow& m_window;
    const bool m_threeTrees;
    const unsigned m_lowDistanceBits;
    HuffmanTable m_literal;
    HuffmanTable m_length;
    HuffmanTable m_distance;
    std::int32_t m_literalBits = kLiteralRootBits;
    std::int32_t m_lengthBits = kLengthRootBits;
    std::int32_t m_distanceBits = kDistanceRootBits;
    std::uint32_t m_w = 0; // next write position in the window
    bool m_notYetWrapped = true;
};

} // namespace

std::int32_t Explode(BitInput& in, OutputWindow& window, std::uint16_t flags,
                     std::int64_t compressedSize, std::int64_t uncompressedSize)
{
    Exploder exploder(in, window, flags);
    return exploder.run(compressedSize, uncompressedSize);
}

} // namespace unzip
