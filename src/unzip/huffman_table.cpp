#include "huffman_table.h"

#include <algorithm>
#include <array>
#include <new>

namespace unzip {
namespace {

constexpr unsigned kMaxCodeLength = 16;
// The largest alphabet a caller builds: 288 literal/length plus 32 distance lengths.
constexpr std::size_t kMaxSymbols = 320;

} // namespace

// The codes are walked in canonical order (by length, then by symbol), each code kept
// bit-reversed in i. A code longer than the bits covered so far opens a sub-table below the entry
// that its first bits select; the sub-table is made just wide enough for the codes that share
// that prefix (up to lookupBits bits), and never wider than the end-of-block code's length, so
// that short blocks stop looking ahead at their end marker. Unused codes of an incomplete code
// are filled in as invalid entries, so every slot of every table is defined.
std::int32_t BuildHuffmanTable(std::span<const std::uint16_t> lengths, std::uint16_t s,
                               const std::uint16_t* bases, const std::uint16_t* extras,
                               HuffmanTable& table, std::int32_t& lookupBits)
{
    FreeHuffmanTable(table);
    const std::size_t n = lengths.size();
    if (n > kMaxSymbols) {
        lookupBits = 0;
        return kCodeBad;
    }
    const unsigned eobLength = n > 256 ? lengths[256] : kMaxCodeLength;

    std::array<unsigned, kMaxCodeLength + 1> count{};
    for (const std::uint16_t length : lengths) {
        if (length > kMaxCodeLength) {
            lookupBits = 0;
            return kCodeBad;
        }
        ++count[length];
    }
    if (count[0] == n) {
        lookupBits = 0;
        return kCodeComplete;
    }

    unsigned minLen = 1;
    while (count[minLen] == 0)
        ++minLen;
    unsigned maxLen = kMaxCodeLength;
    while (count[maxLen] == 0)
        --maxLen;
    if (lookupBits < static_cast<std::int32_t>(minLen))
        lookupBits = static_cast<std::int32_t>(minLen);
    if (lookupBits > static_cast<std::int32_t>(maxLen))
        lookupBits = static_cast<std::int32_t>(maxLen);
    const auto rootBits = static_cast<unsigned>(lookupBits);

    // Kraft: y counts the codes of the current length still free.
    std::int32_t y = 1 << minLen;
    for (unsigned k = minLen; k < maxLen; ++k) {
        y -= static_cast<std::int32_t>(count[k]);
        if (y < 0)
            return kCodeBad;
        y <<= 1;
    }
    y -= static_cast<std::int32_t>(count[maxLen]);
    if (y < 0)
        return kCodeBad;
    count[maxLen] += static_cast<unsigned>(y); // the free codes become invalid entries

    std::array<std::uint16_t, kMaxSymbols> sorted; // only the entries written are read
    std::array<unsigned, kMaxCodeLength + 2> offset{};
    for (unsigned k = 1; k <= kMaxCodeLength; ++k)
        offset[k + 1] = offset[k] + count[k];
    std::size_t realCount = 0;
    for (std::size_t v = 0; v < n; ++v) {
        if (lengths[v] != 0) {
            sorted[offset[lengths[v]]++] = static_cast<std::uint16_t>(v);
            ++realCount;
        }
    }

    std::vector<HuffEntry>& entries = table.m_entries;
    // Per level h (stored at h + 1, so that level -1 has width 0): width, code prefix, table start.
    std::array<unsigned, kMaxCodeLength + 2> levelBits{};
    std::array<unsigned, kMaxCodeLength + 2> prefix{};
    std::array<std::size_t, kMaxCodeLength + 2> start{};
    int h = -1;
    unsigned w = 0;    // bits decoded by the levels above the current one
    unsigned i = 0;    // the current code, bit-reversed
    std::size_t p = 0; // next symbol in sorted
    std::size_t q = 0; // start of the current table
    std::size_t z = 0; // its size
    HuffEntry r;
    const auto bitsAt = [&](int level) -> unsigned& {
        return levelBits[static_cast<std::size_t>(level + 1)];
    };

    try {
        for (unsigned k = minLen; k <= maxLen; ++k) {
            for (unsigned a = count[k]; a-- > 0;) { // a: codes of length k left after this one
                while (k > w + bitsAt(h)) {
                    w += bitsAt(h);
                    ++h;
                    const unsigned limit = std::min(maxLen - w, rootBits);
                    unsigned j = k - w;
                    unsigned f = 1u << j;
                    if (f > a + 1) {
                        // Too few codes of length k to fill a j-bit table: widen it while
                        // the longer codes fill the doubled room.
                        f -= a + 1;
                        for (unsigned longer = k + 1;; ++longer) {
                            if (++j >= limit)
                                break;
                            f <<= 1;
                            if (f <= count[longer])
                                break;
                            f -= count[longer];
                        }
                    }
                    if (w + j > eobLength && w < eobLength)
                        j = eobLength - w;
                    if (w == 0)
                        j = rootBits;
                    z = std::size_t{1} << j;
                    bitsAt(h) = j;
                    q = entries.size();
                    entries.resize(q + z, HuffEntry{kOpInvalid, 0, 0, 0});
                    start[static_cast<std::size_t>(h)] = q;
                    if (h > 0) {
                        prefix[static_cast<std::size_t>(h)] = i;
                        const unsigned parentBits = bitsAt(h - 1);
                        const std::size_t slot = (i & ((1u << w) - 1)) >> (w - parentBits);
                        HuffEntry& link = entries[start[static_cast<std::size_t>(h - 1)] + slot];
                        link.bits = static_cast<std::uint8_t>(parentBits);
                        link.op = static_cast<std::uint8_t>(kOpSubTable + j);
                        link.value = 0;
                        link.next = static_cast<std::uint32_t>(q);
                    }
                }

                r.bits = static_cast<std::uint8_t>(k - w);
                r.next = 0;
                if (p >= realCount) {
                    r.op = kOpInvalid; // keeps the value of the last real entry
                } else if (sorted[p] < s) {
                    r.op = sorted[p] < 256 ? kOpLiteral : kOpEndOfBlock;
                    r.value = sorted[p++];
                } else {
                    r.op = static_cast<std::uint8_t>(extras[sorted[p] - s] & 0xFF);
                    r.value = bases[sorted[p++] - s];
                }
                for (std::size_t index = i >> w; index < z; index += std::size_t{1} << (k - w))
                    entries[q + index] = r;

                unsigned bit = 1u << (k - 1);
                while (i & bit) {
                    i ^= bit;
                    bit >>= 1;
                }
                i ^= bit;

                while ((i & ((1u << w) - 1)) != prefix[static_cast<std::size_t>(h)]) {
                    --h;
                    w -= bitsAt(h);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        FreeHuffmanTable(table);
        return kCodeNoMemory;
    }
    return (y != 0 && maxLen != 1) ? kCodeIncomplete : kCodeComplete;
}

void FreeHuffmanTable(HuffmanTable& table)
{
    table.m_entries.clear();
}

} // namespace unzip
