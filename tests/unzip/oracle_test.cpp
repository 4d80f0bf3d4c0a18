// Archives and raw deflate streams written at test time by independent encoders (Python's
// zipfile and zlib with every strategy, Info-ZIP zip) must expand to what went in.

#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "memory_decoding.h"
#include "sha256.h"
#include "support/temp_dir.h"
#include "unzip/unzip_archive.h"

using namespace unzip;
using namespace unzip_test;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

struct Expected
{
    std::string member;
    std::string sha256;
};

TEST(IndependentEncoders, EverythingTheyWriteExpandsToItsInput)
{
    TempDir dir;
    const std::string command = std::string("python3 ") + KAVOR_UNZIP_TEST_DIR +
                                "/make_test_archives.py " + dir.path().string();
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::map<std::string, std::vector<Expected>> expected;
    std::ifstream in(dir.path() / "EXPECTED.tsv");
    for (std::string line; std::getline(in, line);) {
        std::stringstream fields(line);
        std::string file, member, digest;
        std::getline(fields, file, '\t');
        std::getline(fields, member, '\t');
        std::getline(fields, digest, '\t');
        expected[file].push_back({member, digest});
    }
    ASSERT_GT(expected.size(), 70u);

    for (const auto& [file, members] : expected) {
        SCOPED_TRACE(file);
        const std::filesystem::path path = dir.path() / file;
        if (members.front().member == "-") {
            const std::string stream = readFile(path);
            MemberFormat format;
            format.method = 8;
            format.compressedSize = static_cast<std::int64_t>(stream.size());
            const MemoryDecodeResult r = decodeFromMemory(
                format,
                std::span(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()));
            EXPECT_EQ(r.result, 0);
            EXPECT_EQ(sha256Hex(std::string(r.output.begin(), r.output.end())),
                      members.front().sha256);
            continue;
        }
        const std::filesystem::path target = dir.path() / ("out_" + file);
        EXPECT_GE(UnzipArchive(path.string(), target.string()),
                  static_cast<std::int32_t>(members.size()));
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(target))
            files += entry.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, members.size());
        for (const Expected& e : members) {
            const std::filesystem::path out =
                target / std::filesystem::path(std::u8string(e.member.begin(), e.member.end()));
            ASSERT_TRUE(std::filesystem::is_regular_file(out)) << e.member;
            EXPECT_EQ(sha256Hex(readFile(out)), e.sha256) << e.member;
        }
    }
}

} // namespace
