#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "member_decoder.h"
#include "stream_writer.h"

// Writers of imploded and shrunk streams, item by item and code by code.
namespace unzip_test {

inline constexpr std::uint16_t kEightK = 0x0002;
inline constexpr std::uint16_t kThreeTrees = 0x0004;

// An imploded stream written item by item, with the expansion it must give (references before
// the start of the output read zero bytes).
class ImplodeWriter
{
public:
    explicit ImplodeWriter(std::uint16_t flags,
                           std::vector<unsigned> distanceLengths = std::vector<unsigned>(64, 6))
        : m_flags(flags), m_literals(std::vector<unsigned>(256, 8)),
          m_lengths(std::vector<unsigned>(64, 6)), m_distances(std::move(distanceLengths))
    {}

    bool threeTrees() const { return (m_flags & kThreeTrees) != 0; }
    unsigned lowBits() const { return (m_flags & kEightK) ? 7 : 6; }
    unsigned minLength() const { return threeTrees() ? 3 : 2; }

    void literal(std::uint8_t b)
    {
        m_bits.bits(1, 1);
        if (threeTrees())
            m_literals.put(m_bits, b, true);
        else
            m_bits.bits(b, 8);
        m_expected.push_back(b);
    }

    void match(unsigned length, unsigned distance)
    {
        m_bits.bits(0, 1);
        m_bits.bits((distance - 1) & ((1u << lowBits()) - 1), lowBits());
        m_distances.put(m_bits, (distance - 1) >> lowBits(), true);
        const unsigned code = std::min(length - minLength(), 63u);
        m_lengths.put(m_bits, code, true);
        if (code == 63)
            m_bits.bits(length - minLength() - 63, 8);
        for (unsigned k = 0; k < length; ++k)
            m_expected.push_back(
                m_expected.size() >= distance ? m_expected[m_expected.size() - distance] : 0);
    }

    Bytes trees() const
    {
        Bytes out;
        if (threeTrees())
            append(out, implodeTree(m_literals.lengths()));
        append(out, implodeTree(m_lengths.lengths()));
        append(out, implodeTree(m_distances.lengths()));
        return out;
    }

    Bytes stream() const
    {
        Bytes out = trees();
        append(out, m_bits.bytes());
        return out;
    }

    unzip::MemberFormat format(std::int64_t compressedSize = -1) const
    {
        unzip::MemberFormat f;
        f.method = 6;
        f.flags = m_flags;
        f.compressedSize =
            compressedSize >= 0 ? compressedSize : static_cast<std::int64_t>(stream().size());
        f.uncompressedSize = static_cast<std::int64_t>(m_expected.size());
        return f;
    }

    const Bytes& expected() const { return m_expected; }
    std::size_t bitCount() const { return m_bits.bitCount(); }

private:
    static void append(Bytes& to, const Bytes& from)
    {
        to.insert(to.end(), from.begin(), from.end());
    }

    std::uint16_t m_flags;
    PrefixCode m_literals;
    PrefixCode m_lengths;
    PrefixCode m_distances;
    BitWriter m_bits;
    Bytes m_expected;
};

// A shrunk stream: codes of the current size, least significant bit first.
class ShrinkWriter
{
public:
    ShrinkWriter& code(unsigned c)
    {
        m_bits.bits(c, m_codeSize);
        return *this;
    }
    ShrinkWriter& text(std::string_view literals)
    {
        for (const char c : literals)
            code(static_cast<unsigned char>(c));
        return *this;
    }
    ShrinkWriter& increase()
    {
        code(256).code(1);
        ++m_codeSize;
        return *this;
    }
    ShrinkWriter& partialClear() { return code(256).code(2); }
    Bytes bytes() const { return m_bits.bytes(); }

private:
    BitWriter m_bits;
    unsigned m_codeSize = 9;
};

// A shrunk stream and the text it expands to.
struct ShrunkCase
{
    Bytes stream;
    std::string expected;
};

// Entries 257 "ab", 258 "bc", 259 "cd", 260 "da", 261 "abe", then a partial clear: it keeps 257
// (261 uses it) and frees 258..261; new entries take them in ascending order, then go on at 262,
// the old head of the free list.
inline ShrunkCase partialClearAfterEntries()
{
    ShrinkWriter w;
    w.text("abcd").code(257).text("e").partialClear().text("fg");
    for (const unsigned code : {258, 259, 257, 260, 261, 262})
        w.code(code);
    return {w.bytes(), "abcd"
                       "ab"
                       "e"
                       "f"
                       "g"
                       "ef"
                       "fg"
                       "ab"
                       "ge"
                       "eff"
                       "fga"};
}

// 7,937 literals in 13-bit codes fill entries 257..8192 (entry c is the literals c-257 and
// c-256); code 8191 and "z" then add nothing, until a partial clear frees every entry (no
// entry is another's prefix) and "y" takes 257 again.
inline ShrunkCase fullDictionary()
{
    std::string literals;
    for (int k = 0; k < 7937; ++k)
        literals += static_cast<char>('a' + k % 26);
    ShrinkWriter w;
    w.text(literals.substr(0, 1));
    for (int k = 0; k < 4; ++k)
        w.increase();
    w.text(literals.substr(1)).code(8191).text("z").partialClear().text("y").code(257).code(258);
    return {w.bytes(), literals + literals.substr(7934, 2) + "z" + "y" + "zy" + "yz"};
}

} // namespace unzip_test
