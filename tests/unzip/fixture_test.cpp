// Every archive of the fixture set (tests/data/zip, MANIFEST.tsv) extracted whole: the members
// the walk reaches must match their digests, and the members it does not reach are extracted
// again on their own with a mask.

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "platform/os_path.h"
#include "sha256.h"
#include "support/temp_dir.h"
#include "test_files.h"
#include "unzip/unzip_archive.h"

using namespace unzip;
using namespace unzip_test;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::testDataDir;

namespace {

struct ManifestRow
{
    std::string member; // raw name bytes (CP866 unless plain ASCII)
    std::string sha256; // "-" for directories and members that must not be extracted
    std::string expect;
};

std::string unescape(const std::string& text)
{
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text.compare(k, 2, "\\x") == 0 && k + 4 <= text.size()) {
            out += static_cast<char>(std::stoi(text.substr(k + 2, 2), nullptr, 16));
            k += 3;
        } else {
            out += text[k];
        }
    }
    return out;
}

// Archives in manifest order, with their members in central-directory order.
std::vector<std::pair<std::string, std::vector<ManifestRow>>> readManifest()
{
    std::ifstream in(testDataDir() / "zip" / "MANIFEST.tsv");
    std::vector<std::pair<std::string, std::vector<ManifestRow>>> archives;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() != 7)
            throw std::runtime_error("bad manifest line: " + line);
        if (archives.empty() || archives.back().first != fields[0])
            archives.push_back({fields[0], {}});
        archives.back().second.push_back({unescape(fields[1]), fields[5], fields[6]});
    }
    return archives;
}

std::filesystem::path outputPathOf(const std::filesystem::path& target, const std::string& member)
{
    return target / platform::toOsPath(platform::cp866ToCp1251(member));
}

std::string maskFor(const std::string& member)
{
    std::string mask = platform::cp866ToCp1251(member);
    std::replace(mask.begin(), mask.end(), '/', '\\');
    return mask;
}

// The result of extracting the whole archive, and how many members the walk gets through.
std::int32_t expectedResult(const std::vector<ManifestRow>& rows, std::size_t& reached)
{
    reached = rows.size();
    const std::string& first = rows.front().expect;
    if (first == "not-zip")
        return kNotAZipArchive;
    if (first == "truncated" || first == "no-end-record" || first == "bad-offset")
        return kBadCentralDirectory;
    std::int32_t count = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const std::string& expect = rows[k].expect;
        if (expect == "ok") {
            ++count;
        } else if (expect == "bad-crc") {
            reached = k;
            return kInvalidData;
        } else if (expect == "encrypted" || expect == "unsupported-method") {
            reached = k;
            return count;
        } else if (expect != "traversal") {
            throw std::runtime_error("unknown expectation " + expect);
        }
    }
    return count;
}

void expectExtracted(const std::filesystem::path& target, const ManifestRow& row)
{
    const std::filesystem::path path = outputPathOf(target, row.member);
    if (row.member.back() == '/') {
        EXPECT_TRUE(std::filesystem::is_directory(path)) << row.member;
        return;
    }
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << row.member;
    EXPECT_EQ(sha256Hex(readFile(path)), row.sha256) << row.member;
}

std::size_t regularFilesBelow(const std::filesystem::path& root)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

TEST(Fixtures, EveryArchiveExtractsAsItsManifestSays)
{
    const auto archives = readManifest();
    ASSERT_GE(archives.size(), 30u);
    for (const auto& [archive, rows] : archives) {
        SCOPED_TRACE(archive);
        TempDir dir;
        const std::filesystem::path target = dir.path() / "target";
        const std::string archivePath = (testDataDir() / "zip" / archive).string();
        std::size_t reached = 0;
        const std::int32_t expected = expectedResult(rows, reached);

        EXPECT_EQ(UnzipArchive(archivePath, target.string()), expected);
        std::size_t files = 0;
        for (std::size_t k = 0; k < reached; ++k) {
            if (rows[k].expect != "ok")
                continue;
            expectExtracted(target, rows[k]);
            files += rows[k].member.back() == '/' ? 0 : 1;
        }
        if (std::filesystem::exists(target)) {
            EXPECT_EQ(regularFilesBelow(target), files); // nothing else, no temporary files
        }
        EXPECT_EQ(regularFilesBelow(dir.path()), files); // nothing outside the target

        for (std::size_t k = reached; k < rows.size(); ++k) {
            if (rows[k].expect != "ok" || expected == kBadCentralDirectory)
                continue;
            SCOPED_TRACE(rows[k].member);
            TempDir alone;
            EXPECT_EQ(UnzipArchive(archivePath, alone.enginePath(), maskFor(rows[k].member)), 1);
            expectExtracted(alone.path(), rows[k]);
        }
    }
}

TEST(Fixtures, Cp866NamesBecomeCyrillicFileNames)
{
    TempDir dir;
    EXPECT_EQ(UnzipArchive((testDataDir() / "zip" / "cp866_names.zip").string(), dir.enginePath()),
              3);
    EXPECT_EQ(treeOf(dir.path()),
              (std::vector<std::string>{"Документы", "Документы/отчёт за май.txt", "Привет.txt"}));
}

} // namespace
