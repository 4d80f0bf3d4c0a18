#include <gtest/gtest.h>

#include "legacy_writers.h"
#include "memory_decoding.h"
#include "stream_writer.h"
#include "unshrink.h"
#include "unzip/unzip_archive.h"

using namespace unzip;
using namespace unzip_test;

namespace {

MemoryDecodeResult unshrink(const Bytes& stream, std::size_t outputLimit = SIZE_MAX)
{
    MemberFormat f;
    f.method = 1;
    f.compressedSize = static_cast<std::int64_t>(stream.size());
    return decodeFromMemory(f, stream, outputLimit);
}

TEST(Unshrink, DecodesDictionaryCodes)
{
    struct Case
    {
        const char* what;
        Bytes stream;
        std::string output;
    };
    const Case cases[] = {
        {"a code that is free when read", ShrinkWriter().text("a").code(257).bytes(), "aaa"},
        {"a partial clear before any entry",
         ShrinkWriter().text("a").partialClear().text("b").code(257).bytes(), "abab"},
        {"a partial clear after entries", partialClearAfterEntries().stream,
         partialClearAfterEntries().expected},
        {"codes of 10 to 13 bits",
         ShrinkWriter()
             .text("a")
             .increase()
             .text("b")
             .code(257)
             .increase()
             .increase()
             .text("c")
             .increase()
             .code(258)
             .code(259)
             .bytes(),
         "a"
         "b"
         "ab"
         "c"
         "ba"
         "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MemoryDecodeResult r = unshrink(c.stream);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(textOf(r.output), c.output);
    }
}

TEST(Unshrink, InvalidControlSequencesAndCorruptChains)
{
    ShrinkWriter tooWide;
    tooWide.text("a");
    for (int k = 0; k < 4; ++k)
        tooWide.increase();
    tooWide.code(256).code(1); // beyond 13 bits
    struct Case
    {
        const char* what;
        Bytes stream;
    };
    const Case cases[] = {
        {"control code 3", ShrinkWriter().text("ab").code(256).code(3).text("c").bytes()},
        {"a code size beyond 13", tooWide.text("b").bytes()},
        // 258 is read while free but is not the next entry, so "b" then makes 258 its own
        // prefix: decoding it again would never end.
        {"a circular prefix chain",
         ShrinkWriter().text("a").code(258).text("b").code(258).text("c").bytes()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(unshrink(c.stream).result, kInvalidData) << c.what;
}

TEST(Unshrink, AFullDictionaryAddsNothingUntilAPartialClear)
{
    const ShrunkCase full = fullDictionary();
    const MemoryDecodeResult r = unshrink(full.stream);
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(r.output.size(), full.expected.size());
    EXPECT_TRUE(textOf(r.output) == full.expected);
}

TEST(Unshrink, WritesPiecesOf767Bytes)
{
    ShrinkWriter w;
    w.text(std::string(767, 'q'));
    const MemoryDecodeResult exact = unshrink(w.bytes());
    EXPECT_EQ(exact.result, 0);
    EXPECT_EQ(exact.writeSizes, std::vector<std::size_t>{767});

    w.text("r");
    EXPECT_EQ(unshrink(w.bytes(), 767).result, kOutputFailed);
    EXPECT_EQ(unshrink(w.bytes(), 766).result, kOutputFailed);
}

TEST(Unshrink, TheBitBudgetComesFromTheCompressedSize)
{
    // "a", "b" in 18 bits: the six bits left over in the third byte are ignored, ones or not.
    Bytes stream = ShrinkWriter().text("ab").bytes();
    stream.back() |= 0xFC;
    EXPECT_EQ(textOf(unshrink(stream).output), "ab");
    // Bytes beyond the compressed size are never decoded.
    Bytes longer = ShrinkWriter().text("abcdef").bytes();
    MemberFormat f;
    f.method = 1;
    f.compressedSize = 3;
    EXPECT_EQ(textOf(decodeFromMemory(f, longer).output), "ab");
    f.compressedSize = 0; // not even one code
    const MemoryDecodeResult empty = decodeFromMemory(f, longer);
    EXPECT_EQ(empty.result, 0);
    EXPECT_TRUE(empty.output.empty());
    f.compressedSize = 2147483647; // sizes in a data descriptor
    EXPECT_EQ(decodeFromMemory(f, longer).result, kUnsupportedMethod);
}

TEST(Unshrink, DataEndingBeforeTheCompressedSizeEndDecoding)
{
    // The bit budget reaches beyond the data: decoding stops where they end instead of running
    // on filler (for 0x80000105 bytes, 2 GiB of it). The output limit only keeps a decoder that
    // runs on from filling the memory.
    const Bytes stream = ShrinkWriter().text("abcd").bytes();
    for (const std::int64_t size :
         {std::int64_t{6}, std::int64_t{4097}, std::int64_t{0x80000105}}) {
        SCOPED_TRACE(size);
        MemberFormat f;
        f.method = 1;
        f.compressedSize = size;
        EXPECT_EQ(decodeFromMemory(f, stream, 1 << 20).result, kPrematureEnd);
    }
}

// Unshrink copies strings from its recent output where their codes' chains cannot have changed
// since they were defined; everywhere else it spells them out. Long streams of codes drawn at
// random must come out exactly as the plain decoder, which always spells them out, gives them:
// without partial clears (every code read is defined, or the one being defined), and with them
// (the codes drawn then include free ones and ones the clears gave to new strings).
TEST(Unshrink, CopiedStringsReadAsTheirChainsSpellThem)
{
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    };
    for (int stream = 0; stream < 12; ++stream) {
        const bool clears = stream % 2 == 1;
        SCOPED_TRACE(stream);
        ShrinkWriter w;
        unsigned codeSize = 9;
        unsigned head = 257; // the next code to be defined, while nothing was cleared
        w.text("x");
        for (int k = 0; k < 30000; ++k) {
            if (head == (1u << codeSize) && codeSize < 13) {
                w.increase();
                ++codeSize;
            }
            if (clears && next(500) == 0)
                w.partialClear();
            if (next(3) == 0)
                w.code(next(256));
            else
                w.code(257 + next(std::min(head, 8191u) - 256));
            head = std::min(head + 1, 8192u);
        }
        const Bytes bytes = w.bytes();
        const MemoryDecodeResult fast = unshrink(bytes);
        MemorySource source(bytes);
        MemorySink sink;
        BitInput in(source, static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(UnshrinkByChains(in, sink, static_cast<std::int64_t>(bytes.size())), fast.result);
        EXPECT_TRUE(sink.bytes() == fast.output);
        EXPECT_EQ(sink.writeSizes(), fast.writeSizes);
        if (!clears) {
            EXPECT_EQ(fast.result, 0);
            EXPECT_GT(fast.output.size(), 50000u); // the ring goes round
        }
    }
}

} // namespace
