#include <queue>
#include <random>

#include <gtest/gtest.h>

#include "huffman_table.h"
#include "memory_decoding.h"
#include "stream_writer.h"

using namespace unzip;
using namespace unzip_test;

namespace {

std::int32_t build(const std::vector<std::uint16_t>& lengths, HuffmanTable& table,
                   std::int32_t& bits)
{
    return BuildHuffmanTable(lengths, static_cast<std::uint16_t>(lengths.size()), nullptr, nullptr,
                             table, bits);
}

TEST(BuildHuffmanTable, ClassifiesCodesAndClampsTheRootWidth)
{
    struct Case
    {
        const char* what;
        std::vector<std::uint16_t> lengths;
        std::int32_t requestedBits;
        std::int32_t result;
        std::int32_t bits;
    };
    const Case cases[] = {
        {"complete", {2, 2, 2, 2}, 7, kCodeComplete, 2},
        {"complete, deep",
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15},
         9,
         kCodeComplete,
         9},
        {"root below the shortest code",
         {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
         2,
         kCodeComplete,
         4},
        {"incomplete", {1, 2}, 7, kCodeIncomplete, 2},
        {"one code of one bit counts as complete", {0, 1, 0}, 7, kCodeComplete, 1},
        {"over-subscribed", {1, 1, 1}, 7, kCodeBad, 1},
        {"longer than 16", {1, 17}, 7, kCodeBad, 0},
        {"no codes", {0, 0, 0}, 7, kCodeComplete, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HuffmanTable table;
        std::int32_t bits = c.requestedBits;
        EXPECT_EQ(build(c.lengths, table, bits), c.result);
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(table.empty(), c.result == kCodeBad || c.bits == 0);
        FreeHuffmanTable(table);
        EXPECT_TRUE(table.empty());
    }
}

// Code lengths of a Huffman code for random symbol weights, none longer than 15 bits.
std::vector<std::uint16_t> randomCodeLengths(std::mt19937& random, std::size_t symbols)
{
    for (;;) {
        using Node = std::pair<std::uint64_t, std::vector<std::size_t>>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
        for (std::size_t s = 0; s < symbols; ++s) {
            if (random() % 4 != 0) // some symbols get no code at all
                queue.push({random() % 1000 + 1, {s}});
        }
        std::vector<std::uint16_t> lengths(symbols, 0);
        if (queue.size() < 2)
            continue;
        while (queue.size() > 1) {
            Node a = queue.top();
            queue.pop();
            Node b = queue.top();
            queue.pop();
            for (const std::size_t s : a.second)
                ++lengths[s];
            for (const std::size_t s : b.second)
                ++lengths[s];
            a.second.insert(a.second.end(), b.second.begin(), b.second.end());
            queue.push({a.first + b.first, a.second});
        }
        if (*std::max_element(lengths.begin(), lengths.end()) <= 15)
            return lengths;
    }
}

// Encodes random symbols with canonical codes and decodes them again through the table walk,
// with codes stored plainly (inflate) and inverted (explode), at several root widths.
TEST(BuildHuffmanTable, TheWalkDecodesEveryCodeBackToItsSymbol)
{
    std::mt19937 random(1951);
    for (int round = 0; round < 200; ++round) {
        const std::size_t symbols = 2 + random() % 300;
        const std::vector<std::uint16_t> lengths = randomCodeLengths(random, symbols);
        const bool inverted = round % 2 == 1;
        const std::int32_t requested = static_cast<std::int32_t>(1 + random() % 10);
        HuffmanTable table;
        std::int32_t bits = requested;
        ASSERT_EQ(build(lengths, table, bits), kCodeComplete);

        const PrefixCode code(std::vector<unsigned>(lengths.begin(), lengths.end()));
        std::vector<unsigned> sent;
        BitWriter writer;
        for (int k = 0; k < 500; ++k) {
            const unsigned symbol = static_cast<unsigned>(random() % symbols);
            if (lengths[symbol] == 0)
                continue;
            sent.push_back(symbol);
            code.put(writer, symbol, inverted);
        }
        const Bytes stream = writer.bytes();
        MemorySource source(stream);
        BitInput in(source, static_cast<std::int64_t>(stream.size()));
        for (const unsigned symbol : sent) {
            const HuffEntry* e = inverted
                                     ? walkHuffmanTable(in, table, static_cast<unsigned>(bits),
                                                        [](std::uint64_t b, unsigned m) {
                                                            return static_cast<unsigned>(~b) & m;
                                                        })
                                     : walkHuffmanTable(in, table, static_cast<unsigned>(bits),
                                                        [](std::uint64_t b, unsigned m) {
                                                            return static_cast<unsigned>(b) & m;
                                                        });
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(e->value, symbol) << "round " << round;
        }
    }
}

TEST(BuildHuffmanTable, UnusedCodesOfAnIncompleteCodeAreInvalid)
{
    // Symbols 0 ("0") and 1 ("10"): the code "11" is unused.
    HuffmanTable table;
    std::int32_t bits = 7;
    ASSERT_EQ(build({1, 2}, table, bits), kCodeIncomplete);
    BitWriter writer;
    writer.code(0b11, 2);
    const Bytes stream = writer.bytes();
    MemorySource source(stream);
    BitInput in(source, 1);
    EXPECT_EQ(
        walkHuffmanTable(in, table, static_cast<unsigned>(bits),
                         [](std::uint64_t b, unsigned m) { return static_cast<unsigned>(b) & m; }),
        nullptr);
}

TEST(BuildHuffmanTable, SymbolsFromSOnTakeBasesAndExtras)
{
    const std::uint16_t bases[] = {100, 200};
    const std::uint16_t extras[] = {3, 0};
    HuffmanTable table;
    std::int32_t bits = 9;
    const std::vector<std::uint16_t> lengths(259, 9);
    std::vector<std::uint16_t> some = lengths;
    ASSERT_LE(BuildHuffmanTable(std::span(some.data(), 259), 257, bases, extras, table, bits),
              kCodeIncomplete);
    const HuffEntry* entries = table.entries();
    bool sawLiteral = false, sawEnd = false, sawBase = false;
    for (std::size_t k = 0; k < 512; ++k) {
        sawLiteral |= entries[k].op == kOpLiteral && entries[k].value < 256;
        sawEnd |= entries[k].op == kOpEndOfBlock && entries[k].value == 256;
        sawBase |= entries[k].op == 3 && entries[k].value == 100;
    }
    EXPECT_TRUE(sawLiteral && sawEnd && sawBase);
}

} // namespace
