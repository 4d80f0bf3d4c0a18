#include <functional>

#include <gtest/gtest.h>

#include "inflate.h"
#include "memory_decoding.h"
#include "output_window.h"
#include "stream_writer.h"
#include "unzip/unzip_archive.h"

using namespace unzip;
using namespace unzip_test;
using namespace unzip_test::deflate;

namespace {

MemoryDecodeResult inflate(const Bytes& stream, std::size_t outputLimit = SIZE_MAX)
{
    MemberFormat format;
    format.method = 8;
    format.compressedSize = static_cast<std::int64_t>(stream.size());
    return decodeFromMemory(format, stream, outputLimit);
}

// What a stream of literals and (length, distance) references expands to, each reference
// copied byte by byte; references before the start read zero bytes.
struct Lz77
{
    Bytes out;
    void literal(std::uint8_t b) { out.push_back(b); }
    void reference(unsigned length, unsigned distance)
    {
        for (unsigned k = 0; k < length; ++k)
            out.push_back(out.size() >= distance ? out[out.size() - distance] : 0);
    }
};

// Fixed-code blocks written alongside the expansion they must give.
struct FixedBlockWriter
{
    BitWriter bits;
    Lz77 expected;
    void begin(bool last) { blockHeader(bits, last, 1); }
    void literal(std::uint8_t b)
    {
        fixedLiterals().put(bits, b);
        expected.literal(b);
    }
    void reference(unsigned length, unsigned distance)
    {
        match(bits, fixedLiterals(), fixedDistances(), length, distance);
        expected.reference(length, distance);
    }
    void end() { fixedLiterals().put(bits, 256); }
};

TEST(Inflate, BlocksOfEveryType)
{
    BitWriter w;
    blockHeader(w, false, 0); // an empty stored block...
    w.alignToByte();
    w.bits(0, 16);
    w.bits(0xFFFF, 16);
    blockHeader(w, false, 0); // ...then one with data
    w.alignToByte();
    w.bits(3, 16);
    w.bits(0xFFFC, 16);
    for (const char c : std::string("sto"))
        w.bits(static_cast<unsigned char>(c), 8);
    blockHeader(w, false, 1);
    for (const char c : std::string("fixed"))
        fixedLiterals().put(w, static_cast<unsigned char>(c));
    fixedLiterals().put(w, 256);
    // A dynamic block: 'd', 'y' and end-of-block, one distance code.
    std::vector<unsigned> literalLengths(257, 0);
    literalLengths['d'] = 1;
    literalLengths['y'] = 2;
    literalLengths[256] = 2;
    dynamicHeader(w, true, literalLengths, {1});
    const PrefixCode literals(literalLengths);
    literals.put(w, 'd');
    literals.put(w, 'y');
    literals.put(w, 256);
    const Bytes stream = w.bytes();

    const MemoryDecodeResult r = inflate(stream);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(textOf(r.output), "stofixeddy");
}

TEST(Inflate, InvalidStreams)
{
    struct Case
    {
        const char* what;
        Bytes stream;
        std::int32_t result;
    };
    std::vector<Case> cases;
    const auto fixedWith = [](auto&& body) {
        BitWriter w;
        blockHeader(w, true, 1);
        fixedLiterals().put(w, 'a');
        body(w);
        fixedLiterals().put(w, 256);
        return w.bytes();
    };
    {
        BitWriter w;
        blockHeader(w, true, 3);
        cases.push_back({"block type 3", w.bytes(), kInvalidData});
    }
    {
        BitWriter w;
        blockHeader(w, true, 0);
        w.alignToByte();
        w.bits(5, 16);
        w.bits(0xFFFB ^ 0x0100, 16);
        cases.push_back({"stored length and complement disagree", w.bytes(), kInvalidData});
    }
    for (const unsigned symbol : {286u, 287u}) {
        cases.push_back({"fixed length code 286/287",
                         fixedWith([&](BitWriter& w) { fixedLiterals().put(w, symbol); }),
                         kInvalidData});
    }
    for (const unsigned code : {30u, 31u}) {
        cases.push_back({"fixed distance code 30/31", fixedWith([&](BitWriter& w) {
                             fixedLiterals().put(w, 257);
                             fixedDistances().put(w, code);
                         }),
                         kInvalidData});
    }
    {
        // Incomplete literal/length code: 'a' and end-of-block with 2 bits each.
        std::vector<unsigned> lengths(257, 0);
        lengths['a'] = 2;
        lengths[256] = 2;
        BitWriter w;
        dynamicHeader(w, true, lengths, {1});
        cases.push_back({"incomplete literal/length code", w.bytes(), kInvalidData});
    }
    {
        std::vector<unsigned> lengths(257, 1);
        BitWriter w;
        dynamicHeader(w, true, lengths, {1});
        cases.push_back({"over-subscribed literal/length code", w.bytes(), kInvalidData});
    }
    {
        std::vector<unsigned> lengths(257, 0);
        BitWriter w;
        dynamicHeader(w, true, lengths, {0});
        cases.push_back({"a literal/length code without codes", w.bytes(), kInvalidData});
    }
    {
        BitWriter w;
        blockHeader(w, true, 2);
        w.bits(0, 5);
        w.bits(0, 5);
        w.bits(0, 4);
        w.bits(0, 12); // four code-length code lengths, all 0
        cases.push_back({"a code-length code without codes", w.bytes(), kInvalidData});
    }
    // Literals 'a' and end-of-block, a length code (3), then the distance code as given.
    const auto matchWith = [](std::vector<unsigned> distanceLengths, unsigned distanceBits) {
        std::vector<unsigned> lengths(258, 0);
        lengths['a'] = 1;
        lengths[256] = 2;
        lengths[257] = 2;
        BitWriter w;
        dynamicHeader(w, true, lengths, distanceLengths);
        const PrefixCode literals(lengths);
        literals.put(w, 'a');
        literals.put(w, 257);
        w.bits(distanceBits, 8);
        return w.bytes();
    };
    cases.push_back({"a length code without distance codes", matchWith({0}, 0), kInvalidData});
    // One distance code of one bit: "0" decodes, "1" is invalid.
    cases.push_back({"the unused one-bit distance code", matchWith({1}, 1), kInvalidData});
    const auto repeatPast = [](unsigned symbol, unsigned extra) {
        BitWriter w;
        std::vector<CodeLengthSymbol> symbols(257 + 1 - 2, {8});
        symbols.push_back({symbol, extra});
        dynamicHeader(w, true, 257, 1, symbols);
        return w.bytes();
    };
    cases.push_back({"repeat 16 past the end", repeatPast(16, 0), kInflateRepeatOverrun});
    cases.push_back({"repeat 17 past the end", repeatPast(17, 0), kInflateRepeatOverrun});
    cases.push_back({"repeat 18 past the end", repeatPast(18, 0), kInvalidData});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(inflate(c.stream).result, c.result);
    }
}

TEST(Inflate, TheOnlyCodeMayBeEndOfBlock)
{
    std::vector<unsigned> lengths(257, 0);
    lengths[256] = 1;
    BitWriter w;
    dynamicHeader(w, true, lengths, {0});
    w.bits(0, 1);
    const MemoryDecodeResult r = inflate(w.bytes());
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.output.empty());
}

TEST(Inflate, IncompleteDistanceCodeDecodes)
{
    std::vector<unsigned> lengths(258, 0);
    lengths['a'] = 1;
    lengths[256] = 2;
    lengths[257] = 2; // length 3
    std::vector<CodeLengthSymbol> symbols;
    for (const unsigned l : lengths)
        symbols.push_back({l});
    symbols.push_back({16, 0});
    BitWriter w;
    dynamicHeader(w, true, 258, 3, symbols);
    // A code-length repeat runs on from the literal/length lengths into the distance lengths:
    // 2, 2, 2, an incomplete code ("11" is unused), which decodes.
    const PrefixCode literals(lengths);
    const PrefixCode distances({2, 2, 2});
    literals.put(w, 'a');
    literals.put(w, 'a');
    literals.put(w, 257);
    distances.put(w, 1); // distance 2
    literals.put(w, 256);
    const MemoryDecodeResult r = inflate(w.bytes());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(textOf(r.output), "aaaaa");
}

TEST(Inflate, ReferencesRepeatWrapAndReadZerosBeforeTheStart)
{
    FixedBlockWriter f;
    f.begin(true);
    f.reference(5, 3); // before any output: zero bytes
    f.literal('x');
    f.reference(258, 1); // one byte repeated
    for (unsigned k = 0; k < 40; ++k)
        f.literal(static_cast<std::uint8_t>('A' + k % 26));
    while (f.expected.out.size() < 32768 - 100)
        f.reference(258, 40);
    f.reference(258, 37);        // across the end of the window
    f.reference(200, 32768);     // the byte exactly one window back
    f.reference(258, 32768 - 7); // into the previous pass of the window, wrapping
    for (int k = 0; k < 200; ++k)
        f.reference(258, 1000 + 97 * static_cast<unsigned>(k));
    f.end();

    const MemoryDecodeResult r = inflate(f.bits.bytes());
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(r.output.size(), f.expected.out.size());
    EXPECT_EQ(r.output, f.expected.out);
    EXPECT_EQ(Bytes(r.output.begin(), r.output.begin() + 5), Bytes(5, 0));
    // Full windows, then the rest.
    for (std::size_t k = 0; k + 1 < r.writeSizes.size(); ++k)
        EXPECT_EQ(r.writeSizes[k], 32768u);
}

TEST(Inflate, OutputOfExactlyOneWindowIsWrittenOnce)
{
    FixedBlockWriter f;
    f.begin(true);
    f.literal('q');
    for (unsigned left = 32767; left > 0;) {
        unsigned length = std::min(258u, left);
        if (left - length > 0 && left - length < 3)
            length = left - 3;
        f.reference(length, 1);
        left -= length;
    }
    f.end();
    const MemoryDecodeResult r = inflate(f.bits.bytes());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.writeSizes, std::vector<std::size_t>{32768});
    EXPECT_EQ(r.output, f.expected.out);
}

TEST(Inflate, InputEndingInsideABlock)
{
    FixedBlockWriter f;
    f.begin(true);
    for (int k = 0; k < 3000; ++k)
        f.literal('a');
    Bytes stream = f.bits.bytes();
    stream.resize(1000);
    EXPECT_EQ(inflate(stream).result, kPrematureEnd);

    BitWriter w;
    blockHeader(w, true, 0);
    w.alignToByte();
    w.bits(100, 16);
    w.bits(0xFFFF ^ 100, 16);
    w.bits(0x41, 8);
    EXPECT_EQ(inflate(w.bytes()).result, kPrematureEnd); // stored block cut short
}

// Every class of match copy (by length, and by distance: overlapping, word-apart, into the
// window's previous pass, wrapping, exactly one window back) through codes long enough to need
// the fast loop's sub-tables, decoded by both of its builds.
TEST(Inflate, BothFastLoopsCopyEveryKindOfMatch)
{
    // Literal/length: 'a', end of block and every length symbol of 5 bits, then literals of 6 to
    // 15 bits (complete). Distance: codes 0..27 of 5 bits, 28 of 6 and 29 of 15 (incomplete).
    std::vector<unsigned> literalLengths(286, 0);
    literalLengths['a'] = 5;
    for (unsigned symbol = 256; symbol < 286; ++symbol)
        literalLengths[symbol] = 5;
    const std::string longer = "bcdefghijkl";
    for (unsigned k = 0; k < 9; ++k)
        literalLengths[static_cast<unsigned char>(longer[k])] = 6 + k;
    literalLengths['k'] = literalLengths['l'] = 15;
    std::vector<unsigned> distanceLengths(30, 5);
    distanceLengths[28] = 6;
    distanceLengths[29] = 15;
    const PrefixCode literals(literalLengths);
    const PrefixCode distances(distanceLengths);

    BitWriter w;
    dynamicHeader(w, true, literalLengths, distanceLengths);
    Lz77 expected;
    const auto literal = [&](std::uint8_t b) {
        literals.put(w, b);
        expected.literal(b);
    };
    const auto reference = [&](unsigned length, unsigned distance) {
        match(w, literals, distances, length, distance);
        expected.reference(length, distance);
    };
    const std::string alphabet = "a" + longer;
    for (unsigned k = 0; k < 33000; ++k)
        literal(static_cast<std::uint8_t>(alphabet[(k * 7 + k / 13) % alphabet.size()]));
    const std::vector<unsigned> lengths = {3,  4,  5,  6,  7,  8,  9,  10, 11,  12,  13,
                                           14, 15, 16, 17, 18, 31, 32, 33, 100, 257, 258};
    const std::vector<unsigned> distanceList = {
        1,  2,  3,    4,     5,     7,     8,     9,     15,    16,    17,    31,
        32, 33, 1000, 24577, 32751, 32752, 32753, 32756, 32760, 32764, 32767, 32768};
    unsigned turn = 0;
    for (const unsigned length : lengths) {
        for (const unsigned distance : distanceList) {
            reference(length, distance);
            if (++turn % 3 == 0)
                literal('k');
        }
    }
    literals.put(w, 256);

    const Bytes stream = w.bytes();
    for (const bool portable : {false, true}) {
        SCOPED_TRACE(portable ? "portable" : "as chosen for this machine");
        MemorySource source(stream);
        MemorySink sink;
        OutputWindow window(sink);
        BitInput in(source, static_cast<std::int64_t>(stream.size()));
        EXPECT_EQ(portable ? InflatePortable(in, window) : Inflate(in, window), 0);
        ASSERT_EQ(sink.bytes().size(), expected.out.size());
        EXPECT_TRUE(sink.bytes() == expected.out);
    }
}

// Codes that must not occur, met where the fast loop decodes (plenty of input around them).
TEST(Inflate, InvalidCodesInTheMiddleOfLongStreams)
{
    struct Case
    {
        const char* what;
        std::function<void(BitWriter&)> put;
    };
    const std::vector<Case> cases = {
        {"length symbol 286", [](BitWriter& w) { fixedLiterals().put(w, 286); }},
        {"length symbol 287", [](BitWriter& w) { fixedLiterals().put(w, 287); }},
        {"distance code 30",
         [](BitWriter& w) {
             fixedLiterals().put(w, 257);
             w.bits(0x0F, 5); // 11110 written most significant bit first
         }},
        {"distance code 31",
         [](BitWriter& w) {
             fixedLiterals().put(w, 257);
             w.bits(0x1F, 5);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitWriter w;
        blockHeader(w, true, 1);
        for (int k = 0; k < 500; ++k)
            fixedLiterals().put(w, 'a' + k % 3);
        c.put(w);
        for (int k = 0; k < 500; ++k)
            fixedLiterals().put(w, 'a');
        fixedLiterals().put(w, 256);
        const Bytes stream = w.bytes();
        for (const bool portable : {false, true}) {
            MemorySource source(stream);
            MemorySink sink;
            OutputWindow window(sink);
            BitInput in(source, static_cast<std::int64_t>(stream.size()));
            EXPECT_EQ(portable ? InflatePortable(in, window) : Inflate(in, window), kInvalidData);
        }
    }
}

// The fast loop hands the last bytes of each window to steps that flush it; a match that would
// fill it exactly must be among them.
TEST(Inflate, AMatchEndingWhereTheWindowEnds)
{
    for (const unsigned before : {32510u, 32509u, 32511u}) {
        SCOPED_TRACE(before);
        FixedBlockWriter f;
        f.begin(true);
        f.literal('a');
        while (f.expected.out.size() + 258 < before)
            f.reference(258, 1);
        while (f.expected.out.size() < before)
            f.literal('c');
        f.reference(258, 300);
        for (int k = 0; k < 600; ++k)
            f.literal(static_cast<std::uint8_t>('d' + k % 7));
        f.end();
        const MemoryDecodeResult r = inflate(f.bits.bytes());
        EXPECT_EQ(r.result, 0);
        EXPECT_TRUE(r.output == f.expected.out);
    }
}

TEST(Inflate, FailingWritesGiveMinus2)
{
    FixedBlockWriter f;
    f.begin(true);
    f.literal('q');
    for (int k = 0; k < 200; ++k)
        f.reference(258, 1);
    f.end();
    for (const std::size_t limit : {std::size_t{0}, std::size_t{32768}})
        EXPECT_EQ(inflate(f.bits.bytes(), limit).result, kOutputFailed) << limit;
}

} // namespace
