#include <random>

#include <gtest/gtest.h>

#include "legacy_writers.h"
#include "memory_decoding.h"
#include "stream_writer.h"
#include "unzip/unzip_archive.h"

using namespace unzip;
using namespace unzip_test;

namespace {

MemoryDecodeResult explode(const ImplodeWriter& w)
{
    return decodeFromMemory(w.format(), w.stream());
}

TEST(Explode, AllFourConfigurationsRoundTrip)
{
    for (const std::uint16_t flags :
         {std::uint16_t{0}, kEightK, kThreeTrees, std::uint16_t{kEightK | kThreeTrees}}) {
        SCOPED_TRACE(flags);
        std::mt19937 random(flags);
        ImplodeWriter w(flags);
        const unsigned window = (flags & kEightK) ? 8192 : 4096;
        const unsigned longest = w.minLength() + 63 + 255;
        while (w.expected().size() < 100000) {
            if (random() % 3 == 0)
                w.literal(static_cast<std::uint8_t>(random()));
            else
                w.match(w.minLength() + random() % (longest - w.minLength() + 1),
                        1 + random() % window);
        }
        const MemoryDecodeResult r = explode(w);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.output, w.expected());
    }
}

TEST(Explode, LengthCode63TakesEightMoreBits)
{
    struct Case
    {
        std::uint16_t flags;
        unsigned longest;
    };
    for (const Case c : {Case{kThreeTrees, 321}, Case{0, 320}}) {
        ImplodeWriter w(c.flags);
        w.literal('x');
        w.match(c.longest, 1);
        w.match(w.minLength() + 63, 1); // code 63 with 0 extra
        const MemoryDecodeResult r = explode(w);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.output, Bytes(1 + c.longest + w.minLength() + 63, 'x')) << c.longest;
    }
}

TEST(Explode, ReferencesBeforeTheStartReadZerosUntilTheFirstFullWindow)
{
    ImplodeWriter w(kEightK | kThreeTrees);
    w.match(10, 100); // nothing written yet: zeros
    while (w.expected().size() < 32768 + 5)
        w.literal(static_cast<std::uint8_t>('a' + w.expected().size() % 23));
    w.match(10, 100); // the same reference now reads the output
    const MemoryDecodeResult r = explode(w);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(Bytes(r.output.begin(), r.output.begin() + 10), Bytes(10, 0));
    EXPECT_EQ(r.output, w.expected());
    EXPECT_NE(Bytes(r.output.end() - 10, r.output.end()), Bytes(10, 0));
}

TEST(Explode, TreesThatDoNotDescribeACompleteCode)
{
    const auto withTrees = [](const Bytes& trees) {
        Bytes stream = trees;
        stream.resize(stream.size() + 16, 0);
        MemberFormat f;
        f.method = 6;
        f.compressedSize = static_cast<std::int64_t>(stream.size());
        f.uncompressedSize = 10;
        return decodeFromMemory(f, stream).result;
    };
    const Bytes good = implodeTree(std::vector<unsigned>(64, 6));
    const auto two = [](const Bytes& a, const Bytes& b) {
        Bytes out = a;
        out.insert(out.end(), b.begin(), b.end());
        return out;
    };
    std::vector<unsigned> incomplete(64, 7);
    std::vector<unsigned> overSubscribed(64, 5);
    struct Case
    {
        const char* what;
        Bytes trees;
    };
    const Case cases[] = {
        {"63 lengths", two(implodeTree(std::vector<unsigned>(63, 6)), good)},
        {"65 lengths", two(Bytes{4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05}, good)},
        {"incomplete length tree", two(implodeTree(incomplete), good)},
        {"over-subscribed distance tree", two(good, implodeTree(overSubscribed))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(withTrees(c.trees), kInvalidData) << c.what;
    EXPECT_EQ(withTrees(two(good, good)), 0);
}

// The distance tree's root is 8 bits wide above 200,000 compressed bytes, else 7. The widths
// show in how far the decoder looks ahead: with the stream ending 7 bits after a distance
// decode, an 8-bit look finds the input exhausted.
TEST(Explode, DistanceRootWidthSwitchesAbove200000CompressedBytes)
{
    std::vector<unsigned> distances(64, 8);
    distances[0] = 1;
    for (unsigned s = 1; s <= 21; ++s)
        distances[s] = 6;
    distances[22] = distances[23] = 7;
    ImplodeWriter w(0, distances);
    w.literal('a');
    w.literal('b');
    w.match(3, 2); // distance code 0 (1 bit) then a 6-bit length code
    ASSERT_EQ(w.bitCount() % 8, 0u);
    EXPECT_EQ(decodeFromMemory(w.format(200000), w.stream()).result, 0);
    const MemoryDecodeResult wide = decodeFromMemory(w.format(200001), w.stream());
    EXPECT_EQ(wide.result, kPrematureEnd);
    EXPECT_EQ(textOf(wide.output), "ababa");
}

TEST(Explode, SizesInADataDescriptorDecodeUntilTheInputEnds)
{
    ImplodeWriter w(kThreeTrees);
    for (const char c : std::string("no sizes in the local header"))
        w.literal(static_cast<std::uint8_t>(c));
    MemberFormat f = w.format();
    f.compressedSize = f.uncompressedSize = 2147483647;
    const MemoryDecodeResult r = decodeFromMemory(f, w.stream());
    EXPECT_EQ(r.result, kPrematureEnd);
    ASSERT_GE(r.output.size(), w.expected().size()); // written before the end was noticed
    EXPECT_EQ(Bytes(r.output.begin(), r.output.begin() + static_cast<long>(w.expected().size())),
              w.expected());
}

TEST(Explode, TheLastMatchMayOvershootAndTruncatedInputEndsEarly)
{
    ImplodeWriter w(kEightK);
    w.literal('z');
    w.match(50, 1);
    MemberFormat f = w.format();
    f.uncompressedSize = 20;
    const MemoryDecodeResult over = decodeFromMemory(f, w.stream());
    EXPECT_EQ(over.result, 0);
    EXPECT_EQ(over.output, Bytes(51, 'z'));

    ImplodeWriter longer(kEightK);
    for (int k = 0; k < 5000; ++k)
        longer.literal(static_cast<std::uint8_t>(k));
    Bytes cut = longer.stream();
    cut.resize(cut.size() / 2);
    EXPECT_EQ(decodeFromMemory(longer.format(), cut).result, kPrematureEnd);
    EXPECT_EQ(decodeFromMemory(longer.format(), longer.stream(), 100).result, kOutputFailed);
}

} // namespace
