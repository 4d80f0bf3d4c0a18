// Corrupted copies of real members (bytes flipped, cut short, sizes or flags wrong) decode to
// one of the documented results, with the output bounded and, under the sanitizers, without a
// read or write outside any buffer.

#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "memory_decoding.h"
#include "support/temp_dir.h"
#include "unzip/unzip_archive.h"
#include "zip_directory.h"
#include "zip_format.h"

using namespace unzip;
using testing_support::testDataDir;

namespace {

struct Seed
{
    MemberFormat format;
    std::vector<std::uint8_t> data;
};

// The members of every fixture archive with their data, as the local headers give them.
std::vector<Seed> fixtureMembers()
{
    std::vector<Seed> seeds;
    for (const auto& file : std::filesystem::directory_iterator(testDataDir() / "zip")) {
        if (file.path().extension() != ".zip")
            continue;
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        ZipDirEntry entry;
        for (std::int32_t r = OpenZipDirectory(file.path().string(), entry); r == 0;
             r = NextZipEntry(entry)) {
            using namespace zip_format;
            const std::size_t local = entry.localHeaderOffset;
            if (local + lfh::kSize > bytes.size() || entry.compressedSize < 0)
                continue;
            const std::size_t start = local + lfh::kSize + le16(&bytes[local + lfh::kNameLength]) +
                                      le16(&bytes[local + lfh::kExtraLength]);
            const auto size = static_cast<std::size_t>(entry.compressedSize);
            if (start + size > bytes.size())
                continue;
            Seed seed;
            seed.format.method = entry.method;
            seed.format.flags = le16(&bytes[local + lfh::kFlags]);
            seed.format.compressedSize = entry.compressedSize;
            seed.format.uncompressedSize = entry.uncompressedSize;
            seed.data.assign(bytes.begin() + static_cast<long>(start),
                             bytes.begin() + static_cast<long>(start + size));
            seeds.push_back(std::move(seed));
        }
    }
    return seeds;
}

TEST(CorruptStreams, DecodeToADocumentedResult)
{
    const std::vector<Seed> seeds = fixtureMembers();
    ASSERT_GT(seeds.size(), 50u);
    std::mt19937 random(2404);
    constexpr std::size_t kOutputLimit = 1 << 20;
    for (int round = 0; round < 1500; ++round) {
        Seed s = seeds[random() % seeds.size()];
        if (s.data.empty())
            continue;
        switch (random() % 4) {
        case 0: // flip a few bytes
            for (unsigned k = 0, n = 1 + random() % 8; k < n; ++k)
                s.data[random() % s.data.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            break;
        case 1: // cut short
            s.data.resize(random() % s.data.size());
            break;
        case 2: // the wrong method, flags or sizes for the data
            s.format.method = std::array<std::uint16_t, 4>{0, 1, 6, 8}[random() % 4];
            s.format.flags = static_cast<std::uint16_t>(random() & 0x000E);
            s.format.uncompressedSize = random() % 2 ? 2147483647 : random() % 100000;
            break;
        default: // garbage after a valid start
            for (std::size_t k = s.data.size() / 2; k < s.data.size(); ++k)
                s.data[k] = static_cast<std::uint8_t>(random());
            break;
        }
        s.format.compressedSize =
            random() % 8 == 0 ? 2147483647 : static_cast<std::int64_t>(s.data.size());
        const MemoryDecodeResult r = decodeFromMemory(s.format, s.data, kOutputLimit);
        const std::int32_t c = r.result;
        EXPECT_TRUE(c == 0 || c == kOutputFailed || c == kPrematureEnd || c == kInvalidData ||
                    c == kUnsupportedMethod || c == 1)
            << "round " << round << ": " << c;
        EXPECT_LE(r.output.size(), kOutputLimit);
    }
}

} // namespace
