#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writers of crafted compressed streams, for cases real archivers never produce.
namespace unzip_test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text);
std::string textOf(const std::vector<std::uint8_t>& bytes);

// Packs bits least significant first, as the ZIP methods read them.
class BitWriter
{
public:
    // Appends the count low bits of value.
    void bits(std::uint32_t value, unsigned count);
    // Appends a prefix code most significant bit first, as deflate sends Huffman codes.
    void code(std::uint32_t code, unsigned length);
    void alignToByte();
    std::size_t bitCount() const { return m_bitCount; }
    // The stream so far, a partly filled last byte padded with zero bits.
    Bytes bytes() const;

private:
    Bytes m_bytes;
    std::size_t m_bitCount = 0;
};

// Canonical prefix codes for the code lengths (0: no code), RFC 1951 section 3.2.2.
class PrefixCode
{
public:
    explicit PrefixCode(std::vector<unsigned> lengths);
    // Writes the symbol's code most significant bit first; inverted flips every bit (implode).
    void put(BitWriter& out, unsigned symbol, bool inverted = false) const;
    const std::vector<unsigned>& lengths() const { return m_lengths; }

private:
    std::vector<unsigned> m_lengths;
    std::vector<std::uint32_t> m_codes;
};

// Deflate pieces.
namespace deflate {

struct CodeWithExtra
{
    unsigned code;
    unsigned extraBits;
    unsigned extraValue;
};
CodeWithExtra lengthCode(unsigned length);     // 3..258 -> symbol 257..285
CodeWithExtra distanceCode(unsigned distance); // 1..32768 -> code 0..29

// The fixed literal/length and distance codes.
const PrefixCode& fixedLiterals();
const PrefixCode& fixedDistances();

// Block header bits: BFINAL, then BTYPE.
void blockHeader(BitWriter& out, bool last, unsigned type);
// A match with the given codes.
void match(BitWriter& out, const PrefixCode& literals, const PrefixCode& distances, unsigned length,
           unsigned distance);

// One code-length symbol of a dynamic header with its extra bits (16: 2, 17: 3, 18: 7).
struct CodeLengthSymbol
{
    unsigned symbol;
    unsigned extra = 0;
};
// A dynamic block header with HLIT = nl, HDIST = nd, a complete code-length code over all 19
// symbols, and the code-length symbols as given.
void dynamicHeader(BitWriter& out, bool last, unsigned nl, unsigned nd,
                   const std::vector<CodeLengthSymbol>& symbols);
// A dynamic block header sending the lengths one by one (no repeats).
void dynamicHeader(BitWriter& out, bool last, const std::vector<unsigned>& literalLengths,
                   const std::vector<unsigned>& distanceLengths);

// A complete stream: one final fixed block with the text as literals.
Bytes literalStream(std::string_view text);

} // namespace deflate

// The run bytes of an imploded tree: a count byte, then runs of equal lengths (up to 16 each).
Bytes implodeTree(const std::vector<unsigned>& lengths);

} // namespace unzip_test
