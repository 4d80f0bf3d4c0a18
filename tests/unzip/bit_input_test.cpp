#include <numeric>

#include <gtest/gtest.h>

#include "bit_input.h"
#include "copy_stored.h"
#include "memory_decoding.h"
#include "output_window.h"
#include "stream_writer.h"
#include "unzip/unzip_archive.h"

using namespace unzip;
using namespace unzip_test;

namespace {

Bytes counting(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t k = 0; k < size; ++k)
        bytes[k] = static_cast<std::uint8_t>(k * 31 + k / 256);
    return bytes;
}

TEST(BitInput, RefillsInBlocksUntilMoreThanTheCompressedSizePlusTwoWereTaken)
{
    // A member of 10,000 bytes in a longer archive: blocks at 0, 4096 and 8192, then refusal.
    const Bytes archive = counting(20000);
    MemorySource source(archive);
    BitInput in(source, 10000);
    for (std::size_t k = 0; k < 12288; ++k)
        ASSERT_EQ(in.ReadByte(), archive[k]) << k;
    EXPECT_EQ(in.bytesRead(), 12288);
    EXPECT_EQ(source.readCalls(), 3u);
    EXPECT_FALSE(in.endOfInput());
    // The refused refill hands out the old buffer again.
    EXPECT_EQ(in.ReadByte(), archive[8192]);
    EXPECT_TRUE(in.endOfInput());
    EXPECT_EQ(source.readCalls(), 3u);
}

TEST(BitInput, ShortReadsEndAndErrorsOfTheSource)
{
    const Bytes data = counting(300);
    {
        MemorySource source(data, 7); // at most 7 bytes per read
        BitInput in(source, 300);
        for (std::size_t k = 0; k < 300; ++k)
            ASSERT_EQ(in.ReadByte(), data[k]);
        EXPECT_FALSE(in.endOfInput());
        EXPECT_EQ(source.readCalls(), 43u);
    }
    for (const std::size_t failAfter : {std::size_t{300}, std::size_t{100}}) {
        // The end of the source, or an error after 100 bytes, ends the input.
        MemorySource source(data, 4096, failAfter == 300 ? SIZE_MAX : failAfter);
        BitInput in(source, 100000);
        for (std::size_t k = 0; k < std::min<std::size_t>(failAfter, 300); ++k)
            ASSERT_EQ(in.ReadByte(), data[k]);
        EXPECT_FALSE(in.endOfInput());
        in.ReadByte();
        EXPECT_TRUE(in.endOfInput());
    }
}

TEST(BitInput, BitsComeLeastSignificantFirstAndWholeBytesAtATime)
{
    const Bytes data = {0xB2, 0x5A, 0xFF, 0x01};
    MemorySource source(data);
    BitInput in(source, 4);
    in.NeedBits(3);
    EXPECT_EQ(in.bitCount(), 8u);
    EXPECT_EQ(in.bits() & 7, 0b010u);
    in.DropBits(3);
    EXPECT_EQ(in.bits() & 0x1F, 0b10110u);
    in.NeedBits(16); // 5 held: two more bytes
    EXPECT_EQ(in.bitCount(), 21u);
    in.DropBits(6);
    EXPECT_EQ(in.bitCount(), 15u);
    in.NeedBits(16); // 15 held: one more byte
    EXPECT_EQ(in.bitCount(), 23u);
    in.DropBits(7);
    in.NeedBits(16); // 16 held: none
    EXPECT_EQ(in.bitCount(), 16u);

    for (const auto& [held, left] : {std::pair{8u, 8u}, {0u, 0u}, {13u, 8u}}) {
        MemorySource again(data);
        BitInput bits(again, 4);
        bits.NeedBits(24);
        bits.DropBits(24 - held);
        bits.alignToByte();
        EXPECT_EQ(bits.bitCount(), left) << held;
    }
}

TEST(CopyStored, CopiesThroughTheWindowInPiecesOfAtMost32768)
{
    struct Case
    {
        std::size_t size;
        std::vector<std::size_t> writes;
    };
    const Case cases[] = {
        {0, {}}, {32768, {32768}}, {32769, {32768, 1}}, {70000, {32768, 32768, 4464}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes data = counting(c.size + 50); // the next header follows the data
        MemorySource source(data);
        MemorySink sink;
        OutputWindow window(sink);
        EXPECT_EQ(CopyStored(source, window, static_cast<std::int64_t>(c.size)), 0);
        EXPECT_EQ(sink.writeSizes(), c.writes);
        EXPECT_EQ(sink.bytes(), Bytes(data.begin(), data.begin() + static_cast<long>(c.size)));
    }
}

TEST(CopyStored, ShortSourcesAndFailingWrites)
{
    const Bytes data = counting(1000);
    {
        MemorySource source(data);
        MemorySink sink;
        OutputWindow window(sink);
        EXPECT_EQ(CopyStored(source, window, 1001), kPrematureEnd);
    }
    {
        MemorySource source(data, 4096, 500);
        MemorySink sink;
        OutputWindow window(sink);
        EXPECT_EQ(CopyStored(source, window, 1000), kPrematureEnd);
    }
    {
        MemorySource source(data);
        MemorySink sink(999);
        OutputWindow window(sink);
        EXPECT_EQ(CopyStored(source, window, 1000), kOutputFailed);
        EXPECT_TRUE(window.FlushOutput(0)); // nothing to write always works
    }
}

} // namespace
