// The imploded and shrunk streams the tests write, wrapped in archives, must expand to what the
// writers expect under Info-ZIP unzip and 7-Zip too; otherwise a test could agree with the
// decoder on a format that is not the real one.

#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "legacy_writers.h"
#include "memory_decoding.h"
#include "support/temp_dir.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace unzip_test;
using testing_support::TempDir;

namespace {

std::string commandOutput(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    pclose(pipe);
    return out;
}

struct Stream
{
    std::string name;
    std::uint16_t method;
    std::uint16_t flags;
    Bytes data;
    std::string expected;
    // Info-ZIP unzip refuses a shrunk stream that assigns the last entry, 8192 ("invalid
    // compressed data to unshrink"); 7-Zip and the format let the table fill up.
    bool fillsTheDictionary = false;
};

std::vector<Stream> craftedStreams()
{
    std::vector<Stream> streams;
    for (const std::uint16_t flags :
         {std::uint16_t{0}, kEightK, kThreeTrees, std::uint16_t{kEightK | kThreeTrees}}) {
        std::mt19937 random(flags + 7u);
        ImplodeWriter w(flags);
        const unsigned window = (flags & kEightK) ? 8192 : 4096;
        w.match(20, 300); // before the start: zero bytes
        w.match(w.minLength() + 63 + 255, 1);
        while (w.expected().size() < 40000) {
            if (random() % 3 == 0)
                w.literal(static_cast<std::uint8_t>(random()));
            else
                w.match(w.minLength() + random() % 319, 1 + random() % window);
        }
        streams.push_back({"implode" + std::to_string(flags) + ".bin", 6, flags, w.stream(),
                           textOf(w.expected())});
    }
    const ShrunkCase clear = partialClearAfterEntries();
    streams.push_back({"clear.txt", 1, 0, clear.stream, clear.expected});
    const ShrunkCase full = fullDictionary();
    streams.push_back({"full.txt", 1, 0, full.stream, full.expected, true});
    return streams;
}

TEST(LegacyStreamWriters, UnzipAnd7zReadTheCraftedStreamsAsExpected)
{
    TempDir dir;
    std::vector<CraftedEntry> entries;
    const std::vector<Stream> streams = craftedStreams();
    for (const Stream& s : streams) {
        CraftedEntry entry = rawEntry(s.name, s.method, s.data, s.expected);
        entry.flags = s.flags;
        entries.push_back(entry);
    }
    writeArchive(dir, "crafted.zip", buildZip(entries));
    const std::string zip = (dir.path() / "crafted.zip").string();
    for (const Stream& s : streams) {
        SCOPED_TRACE(s.name);
        const std::string unzipOutput =
            commandOutput("unzip -p " + zip + " " + s.name + " 2>/dev/null");
        EXPECT_EQ(unzipOutput == s.expected, !s.fillsTheDictionary);
        EXPECT_TRUE(commandOutput("7z x -so " + zip + " " + s.name + " 2>/dev/null") == s.expected);
        unzip::MemberFormat format;
        format.method = s.method;
        format.flags = s.flags;
        format.compressedSize = static_cast<std::int64_t>(s.data.size());
        format.uncompressedSize = static_cast<std::int64_t>(s.expected.size());
        EXPECT_TRUE(textOf(unzip::decodeFromMemory(format, s.data).output) == s.expected);
    }
}

} // namespace
