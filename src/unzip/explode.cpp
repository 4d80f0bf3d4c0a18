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
        std::uint8_t* const out = m_window.data();
        std::uint32_t w = 0;
        bool notYetWrapped = true;
        const auto advance = [&](std::uint32_t count) {
            w += count;
            if (w < kWindow)
                return true;
            w = 0;
            notYetWrapped = false;
            return m_window.FlushOutput(kWindow);
        };
        const unsigned lowMask = (1u << m_lowDistanceBits) - 1;

        while (remaining > 0 && !m_in.endOfInput()) {
            m_in.NeedBits(1);
            const bool literal = (m_in.bits() & 1) != 0;
            m_in.DropBits(1);
            if (literal) {
                --remaining;
                if (m_threeTrees) {
                    const HuffEntry* t = walk(m_literal, m_literalBits);
                    if (t == nullptr)
                        return kInvalidData;
                    out[w] = static_cast<std::uint8_t>(t->value);
                } else {
                    m_in.NeedBits(8);
                    out[w] = static_cast<std::uint8_t>(m_in.bits());
                    m_in.DropBits(8);
                }
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
            std::uint32_t d = (w - low - t->value) & 0xFFFF;
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

            while (len > 0) {
                d &= kWindow - 1;
                const std::uint32_t chunk = std::min(len, kWindow - std::max(d, w));
                len -= chunk;
                // Before the first full window, a reference to a position before the start of
                // the output reads zero bytes.
                if (notYetWrapped && w <= d)
                    std::memset(out + w, 0, chunk);
                else
                    window_copy::copyInWindow(out, w, d, chunk);
                d += chunk;
                if (!advance(chunk))
                    return kOutputFailed;
            }
        }
        if (!m_window.FlushOutput(w))
            return kOutputFailed;
        return m_in.endOfInput() ? kPrematureEnd : 0;
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
};

} // namespace

std::int32_t Explode(BitInput& in, OutputWindow& window, std::uint16_t flags,
                     std::int64_t compressedSize, std::int64_t uncompressedSize)
{
    Exploder exploder(in, window, flags);
    return exploder.run(compressedSize, uncompressedSize);
}

} // namespace unzip
