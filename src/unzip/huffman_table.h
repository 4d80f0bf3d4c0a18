#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "bit_input.h"

namespace unzip {

// One entry of a decoding table.
struct HuffEntry
{
    // 0..14: a length or distance code with this many extra bits; kOpEndOfBlock; kOpLiteral;
    // kOpSubTable + k: a sub-table indexed by k further bits; kOpInvalid: no code ends here.
    std::uint8_t op = 0;
    std::uint8_t bits = 0;   // input bits this entry consumes at its own level
    std::uint16_t value = 0; // symbol, or base length / distance; invalid entries repeat the last
    std::uint32_t next = 0;  // sub-table: index of its first entry in the table
};

inline constexpr std::uint8_t kOpEndOfBlock = 15;
inline constexpr std::uint8_t kOpLiteral = 16;
inline constexpr std::uint8_t kOpSubTable = 16; // plus the sub-table's index bits (1..16)
inline constexpr std::uint8_t kOpInvalid = 99;

// A multi-level decoding table for a canonical prefix code stored bit-reversed, because bits
// are read least significant first: a root table of 2^rootBits entries at index 0 and its
// sub-tables after it. Empty when the code has no symbols.
class HuffmanTable
{
public:
    bool empty() const { return m_entries.empty(); }
    const HuffEntry* entries() const { return m_entries.data(); }

private:
    friend std::int32_t BuildHuffmanTable(std::span<const std::uint16_t>, std::uint16_t,
                                          const std::uint16_t*, const std::uint16_t*, HuffmanTable&,
                                          std::int32_t&);
    friend void FreeHuffmanTable(HuffmanTable&);
    std::vector<HuffEntry> m_entries;
};

// BuildHuffmanTable results.
inline constexpr std::int32_t kCodeComplete = 0;
inline constexpr std::int32_t kCodeIncomplete = 1; // table built and usable; unused codes invalid
inline constexpr std::int32_t kCodeBad = 2;        // a length above 16 or over-subscribed: no table
inline constexpr std::int32_t kCodeNoMemory = 3;   // nothing left allocated

// Builds the table for the code lengths (0 = no code) of symbols 0..lengths.size()-1. Symbols
// below s decode to themselves (kOpLiteral below 256, kOpEndOfBlock from 256); symbol v >= s
// decodes to value bases[v - s] with op extras[v - s]. lookupBits: in, the wished root width;
// out, that width clamped to the shortest and longest code length. When no symbol has a code,
// the table stays empty and the result is kCodeComplete. A code whose only length is 1 counts
// as complete. The unused codes of an incomplete code decode to kOpInvalid entries.
std::int32_t BuildHuffmanTable(std::span<const std::uint16_t> lengths, std::uint16_t s,
                               const std::uint16_t* bases, const std::uint16_t* extras,
                               HuffmanTable& table, std::int32_t& lookupBits);

// Releases the table (an empty one too).
void FreeHuffmanTable(HuffmanTable& table);

// Decodes one code from the input with the table and its root width: looks at rootBits bits,
// follows sub-tables and consumes the code's bits. index(bits, mask) turns the held bits into a
// table index (Inflate: bits & mask; Explode, whose codes are stored inverted: ~bits & mask).
// Returns the final entry, or nullptr for an invalid code or an empty table (bits consumed up to
// the invalid entry).
template <typename Index>
const HuffEntry* walkHuffmanTable(BitInput& in, const HuffmanTable& table, unsigned rootBits,
                                  Index index)
{
    if (table.empty())
        return nullptr;
    const HuffEntry* entries = table.entries();
    in.NeedBits(rootBits);
    const HuffEntry* t = &entries[index(in.bits(), (1u << rootBits) - 1)];
    while (t->op > kOpSubTable) {
        if (t->op == kOpInvalid)
            return nullptr;
        in.DropBits(t->bits);
        const unsigned e = t->op - kOpSubTable;
        in.NeedBits(e);
        t = &entries[t->next + index(in.bits(), (1u << e) - 1)];
    }
    in.DropBits(t->bits);
    return t;
}

// The same walk on bits a hot loop holds in a register: bitBuf must hold at least the longest
// code's bits. Consumes the code's bits from bitBuf and bitCount; nullptr for an invalid code.
template <bool Inverted>
inline const HuffEntry* walkHeldBits(const HuffEntry* entries, unsigned rootBits,
                                     std::uint64_t& bitBuf, unsigned& bitCount)
{
    const auto index = [](std::uint64_t bits, unsigned width) {
        return static_cast<unsigned>(Inverted ? ~bits : bits) & ((1u << width) - 1);
    };
    const HuffEntry* t = &entries[index(bitBuf, rootBits)];
    while (t->op > kOpSubTable) {
        if (t->op == kOpInvalid)
            return nullptr;
        bitBuf >>= t->bits;
        bitCount -= t->bits;
        t = &entries[t->next + index(bitBuf, t->op - kOpSubTable)];
    }
    bitBuf >>= t->bits;
    bitCount -= t->bits;
    return t;
}

} // namespace unzip
