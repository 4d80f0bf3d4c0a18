#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace unzip {

// The decoding tables of the inflate fast loop, beside the tables of the symbol-by-symbol path:
// one 32-bit entry per index, a wide root and one level of sub-tables, so that a lookup gives a
// whole literal, or a length or distance with its base and the bits its extra bits end at.
//
// Entry: bits 0..5 the bits to drop (code plus extra bits; for a sub-table link the root bits);
// bits 8..13 the code's own bits (for a link: the sub-table's index bits); bits 16..31 the
// literal, the base length or distance, or the link's first index; the flags below. The fields
// used as shift counts sit in the low six bits of a byte, so a shift takes them unmasked, and
// the flags beside them are multiples of 64, so that a 6-bit count may subtract whole entries.
namespace inflate_entry {
inline constexpr std::uint32_t kEndOfBlock = 1u << 6;
inline constexpr std::uint32_t kSubTable = 1u << 7;
inline constexpr std::uint32_t kExceptional = 1u << 14; // a link, the end of block, or invalid
inline constexpr std::uint32_t kLiteral = 1u << 15;

inline unsigned bitsToDrop(std::uint32_t entry)
{
    return entry & 63;
}
inline unsigned codeBits(std::uint32_t entry)
{
    return (entry >> 8) & 63;
}
inline std::uint32_t value(std::uint32_t entry)
{
    return entry >> 16;
}
// The entry a sub-table link leads to, for bits that follow the link's root bits.
inline std::uint32_t linked(const std::uint32_t* table, std::uint32_t link, std::uint64_t bits)
{
    return table[value(link) + (bits & ((1u << codeBits(link)) - 1))];
}
// The extra bits' value, read from bits that start with the entry's code.
inline std::uint32_t extraBits(std::uint32_t entry, std::uint64_t bits)
{
    return static_cast<std::uint32_t>((bits & ((std::uint64_t{1} << bitsToDrop(entry)) - 1)) >>
                                      codeBits(entry));
}
} // namespace inflate_entry

// Builds the table for code lengths that the symbol-by-symbol table accepted (none above 15,
// not over-subscribed) into entries, with rootBits (at most 11) of index at the root. As there:
// symbols below s are literals (below 256) or the end of block; symbol v >= s has base
// bases[v - s] and extras[v - s] extra bits, where an extra count above 13 marks a symbol that
// must not occur. Unused codes and such symbols decode to invalid entries; with no code at all
// every entry is invalid. entries must hold 2^rootBits entries plus 2^(15 - rootBits) for each
// code longer than rootBits.
void buildInflateFastTable(std::span<const std::uint16_t> lengths, std::uint16_t s,
                           const std::uint16_t* bases, const std::uint16_t* extras,
                           unsigned rootBits, std::uint32_t* entries);

// The literal/length and the distance table of one block in one array, so that the fast loop
// reaches both from one register. Their root widths are fixed, so its index masks are constants.
class InflateFastTables
{
public:
    static constexpr unsigned kLiteralRootBits = 11;
    static constexpr unsigned kDistanceRootBits = 8;
    static constexpr std::uint32_t kLiteralMask = (1u << kLiteralRootBits) - 1;
    static constexpr std::uint32_t kDistanceMask = (1u << kDistanceRootBits) - 1;
    // Where the distance table starts.
    static constexpr std::size_t kDistanceStart =
        (1u << kLiteralRootBits) + 288 * (1u << (15 - kLiteralRootBits));

    void buildLiteralLength(std::span<const std::uint16_t> lengths, const std::uint16_t* bases,
                            const std::uint16_t* extras)
    {
        buildInflateFastTable(lengths.first(std::min<std::size_t>(lengths.size(), 288)), 257, bases,
                              extras, kLiteralRootBits, m_entries.data());
    }
    void buildDistance(std::span<const std::uint16_t> lengths, const std::uint16_t* bases,
                       const std::uint16_t* extras)
    {
        buildInflateFastTable(lengths.first(std::min<std::size_t>(lengths.size(), 32)), 0, bases,
                              extras, kDistanceRootBits, m_entries.data() + kDistanceStart);
    }
    const std::uint32_t* entries() const { return m_entries.data(); }

private:
    std::array<std::uint32_t,
               kDistanceStart + (1u << kDistanceRootBits) + 32 * (1u << (15 - kDistanceRootBits))>
        m_entries; // filled by the builds, not before
};

} // namespace unzip
