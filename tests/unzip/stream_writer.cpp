#include "stream_writer.h"

#include <array>
#include <stdexcept>

namespace unzip_test {

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

std::string textOf(const std::vector<std::uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

void BitWriter::bits(std::uint32_t value, unsigned count)
{
    for (unsigned k = 0; k < count; ++k) {
        if (m_bitCount % 8 == 0)
            m_bytes.push_back(0);
        if ((value >> k) & 1)
            m_bytes.back() |= static_cast<std::uint8_t>(1u << (m_bitCount % 8));
        ++m_bitCount;
    }
}

void BitWriter::code(std::uint32_t code, unsigned length)
{
    for (unsigned k = length; k-- > 0;)
        bits((code >> k) & 1, 1);
}

void BitWriter::alignToByte()
{
    while (m_bitCount % 8 != 0)
        bits(0, 1);
}

Bytes BitWriter::bytes() const
{
    return m_bytes;
}

PrefixCode::PrefixCode(std::vector<unsigned> lengths)
    : m_lengths(std::move(lengths)), m_codes(m_lengths.size(), 0)
{
    std::array<unsigned, 17> count{};
    for (const unsigned length : m_lengths)
        ++count[length];
    count[0] = 0;
    std::array<std::uint32_t, 17> next{};
    std::uint32_t code = 0;
    for (unsigned bits = 1; bits <= 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (std::size_t symbol = 0; symbol < m_lengths.size(); ++symbol) {
        if (m_lengths[symbol] != 0)
            m_codes[symbol] = next[m_lengths[symbol]]++;
    }
}

void PrefixCode::put(BitWriter& out, unsigned symbol, bool inverted) const
{
    const unsigned length = m_lengths.at(symbol);
    if (length == 0)
        throw std::logic_error("symbol without a code");
    const std::uint32_t mask = (1u << length) - 1;
    out.code(inverted ? ~m_codes[symbol] & mask : m_codes[symbol], length);
}

namespace deflate {
namespace {

constexpr std::array<unsigned, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<unsigned, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<unsigned, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<unsigned, 30> kDistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                     4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// A complete code over the 19 code-length symbols: 13 codes of 4 bits and 6 of 5 bits.
std::vector<unsigned> codeLengthLengths()
{
    std::vector<unsigned> lengths(19, 4);
    for (unsigned symbol = 13; symbol < 19; ++symbol)
        lengths[symbol] = 5;
    return lengths;
}

constexpr std::array<unsigned, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

} // namespace

CodeWithExtra lengthCode(unsigned length)
{
    for (std::size_t k = kLengthBase.size(); k-- > 0;) {
        if (length >= kLengthBase[k])
            return {static_cast<unsigned>(257 + k), kLengthExtra[k], length - kLengthBase[k]};
    }
    throw std::logic_error("length below 3");
}

CodeWithExtra distanceCode(unsigned distance)
{
    for (std::size_t k = kDistanceBase.size(); k-- > 0;) {
        if (distance >= kDistanceBase[k])
            return {static_cast<unsigned>(k), kDistanceExtra[k], distance - kDistanceBase[k]};
    }
    throw std::logic_error("distance below 1");
}

const PrefixCode& fixedLiterals()
{
    static const PrefixCode code = [] {
        std::vector<unsigned> lengths(288, 8);
        for (unsigned s = 144; s < 256; ++s)
            lengths[s] = 9;
        for (unsigned s = 256; s < 280; ++s)
            lengths[s] = 7;
        return PrefixCode(lengths);
    }();
    return code;
}

const PrefixCode& fixedDistances()
{
    static const PrefixCode code(std::vector<unsigned>(32, 5));
    return code;
}

void blockHeader(BitWriter& out, bool last, unsigned type)
{
    out.bits(last ? 1 : 0, 1);
    out.bits(type, 2);
}

void match(BitWriter& out, const PrefixCode& literals, const PrefixCode& distances, unsigned length,
           unsigned distance)
{
    const CodeWithExtra l = lengthCode(length);
    literals.put(out, l.code);
    out.bits(l.extraValue, l.extraBits);
    const CodeWithExtra d = distanceCode(distance);
    distances.put(out, d.code);
    out.bits(d.extraValue, d.extraBits);
}

void dynamicHeader(BitWriter& out, bool last, unsigned nl, unsigned nd,
                   const std::vector<CodeLengthSymbol>& symbols)
{
    blockHeader(out, last, 2);
    out.bits(nl - 257, 5);
    out.bits(nd - 1, 5);
    out.bits(19 - 4, 4);
    const PrefixCode codeLengths(codeLengthLengths());
    for (const unsigned symbol : kCodeLengthOrder)
        out.bits(codeLengths.lengths()[symbol], 3);
    for (const CodeLengthSymbol& s : symbols) {
        codeLengths.put(out, s.symbol);
        if (s.symbol == 16)
            out.bits(s.extra, 2);
        else if (s.symbol == 17)
            out.bits(s.extra, 3);
        else if (s.symbol == 18)
            out.bits(s.extra, 7);
    }
}

void dynamicHeader(BitWriter& out, bool last, const std::vector<unsigned>& literalLengths,
                   const std::vector<unsigned>& distanceLengths)
{
    std::vector<CodeLengthSymbol> symbols;
    for (const unsigned length : literalLengths)
        symbols.push_back({length});
    for (const unsigned length : distanceLengths)
        symbols.push_back({length});
    dynamicHeader(out, last, static_cast<unsigned>(literalLengths.size()),
                  static_cast<unsigned>(distanceLengths.size()), symbols);
}

Bytes literalStream(std::string_view text)
{
    BitWriter out;
    blockHeader(out, true, 1);
    for (const char c : text)
        fixedLiterals().put(out, static_cast<unsigned char>(c));
    fixedLiterals().put(out, 256);
    return out.bytes();
}

} // namespace deflate

Bytes implodeTree(const std::vector<unsigned>& lengths)
{
    Bytes runs;
    for (std::size_t k = 0; k < lengths.size();) {
        std::size_t count = 1;
        while (k + count < lengths.size() && lengths[k + count] == lengths[k] && count < 16)
            ++count;
        runs.push_back(static_cast<std::uint8_t>(((count - 1) << 4) | (lengths[k] - 1)));
        k += count;
    }
    Bytes tree;
    tree.push_back(static_cast<std::uint8_t>(runs.size() - 1));
    for (const std::uint8_t run : runs)
        tree.push_back(run);
    return tree;
}

} // namespace unzip_test
