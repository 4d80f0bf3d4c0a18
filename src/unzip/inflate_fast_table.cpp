#include "inflate_fast_table.h"

#include <algorithm>
#include <cstring>

namespace unzip {
namespace {

constexpr unsigned kMaxCodeLength = 15;
constexpr std::size_t kMaxSymbols = 288;
constexpr std::uint32_t kInvalid = inflate_entry::kExceptional;

// The next code of the same length, both kept bit-reversed.
std::uint32_t nextReversed(std::uint32_t rev, unsigned length)
{
    std::uint32_t bit = 1u << (length - 1);
    while (rev & bit)
        bit >>= 1;
    return (rev & (bit - 1)) | bit;
}

} // namespace

// Canonical codes are handed out in order of length, then symbol; the codes longer than the
// root that share their first rootBits bits come one after the other, so each group gets one
// sub-table, just wide enough for the codes left when it opens.
void buildInflateFastTable(std::span<const std::uint16_t> lengths, std::uint16_t s,
                           const std::uint16_t* bases, const std::uint16_t* extras,
                           unsigned rootBits, std::uint32_t* entries)
{
    using namespace inflate_entry;
    const std::size_t n = std::min(lengths.size(), kMaxSymbols);
    std::array<unsigned, kMaxCodeLength + 1> count{};
    unsigned maxLen = 0;
    for (std::size_t v = 0; v < n; ++v) {
        const unsigned length = std::min<unsigned>(lengths[v], kMaxCodeLength);
        ++count[length];
        maxLen = std::max(maxLen, length);
    }
    const std::uint32_t rootSize = 1u << rootBits;
    if (maxLen == 0) {
        std::fill_n(entries, rootSize, kInvalid);
        return;
    }

    std::array<unsigned, kMaxCodeLength + 2> offset{};
    for (unsigned k = 1; k <= kMaxCodeLength; ++k)
        offset[k + 1] = offset[k] + count[k];
    std::array<std::uint16_t, kMaxSymbols> sorted; // only the entries written are read
    for (std::size_t v = 0; v < n; ++v) {
        if (lengths[v] != 0)
            sorted[offset[lengths[v]]++] = static_cast<std::uint16_t>(v);
    }

    // The entry of a symbol whose code takes codeLength bits at its level.
    const auto entryFor = [&](unsigned symbol, unsigned codeLength) -> std::uint32_t {
        const std::uint32_t bits = codeLength << 8 | codeLength;
        if (symbol < s) {
            if (symbol < 256)
                return kLiteral | symbol << 16 | bits;
            return kExceptional | kEndOfBlock | bits;
        }
        const unsigned extra = extras[symbol - s];
        if (extra > 13)
            return kInvalid;
        return static_cast<std::uint32_t>(bases[symbol - s]) << 16 | codeLength << 8 |
               (codeLength + extra);
    };

    std::uint32_t rev = 0;         // the next canonical code, bit-reversed
    std::size_t p = 0;             // the next symbol in sorted
    std::uint32_t next = rootSize; // where the next sub-table goes
    std::uint32_t subPrefix = ~0u;
    std::uint32_t subStart = 0;
    unsigned subBits = 0;
    // The root grows by doubling: while codes of length k are placed, its first 2^k entries are
    // a table for the codes up to that length, each code in one slot; a copy of them repeats
    // every code (and every unused slot) for one more bit.
    std::uint32_t filled = 2;
    entries[0] = entries[1] = kInvalid;
    const auto doubleTo = [&](std::uint32_t size) {
        for (; filled < size; filled *= 2)
            std::memcpy(entries + filled, entries, filled * sizeof *entries);
    };
    for (unsigned k = 1; k <= maxLen; ++k) {
        doubleTo(1u << std::min(k, rootBits));
        for (; count[k] > 0; --count[k], rev = nextReversed(rev, k)) {
            if (k <= rootBits) {
                entries[rev] = entryFor(sorted[p++], k);
                continue;
            }
            const std::uint32_t prefix = rev & (rootSize - 1);
            if (prefix != subPrefix) {
                // Wide enough for the codes left of lengths k, k + 1, ... until they fill it.
                subBits = k - rootBits;
                int left = 1 << subBits;
                while (subBits + rootBits < maxLen) {
                    left -= static_cast<int>(count[subBits + rootBits]);
                    if (left <= 0)
                        break;
                    ++subBits;
                    left <<= 1;
                }
                subPrefix = prefix;
                subStart = next;
                next += 1u << subBits;
                std::fill_n(entries + subStart, 1u << subBits, kInvalid);
                entries[prefix] =
                    kExceptional | kSubTable | subStart << 16 | subBits << 8 | rootBits;
            }
            const std::uint32_t e = entryFor(sorted[p++], k - rootBits);
            for (std::uint32_t i = rev >> rootBits; i < (1u << subBits); i += 1u << (k - rootBits))
                entries[subStart + i] = e;
        }
    }
    doubleTo(rootSize);
}

} // namespace unzip
