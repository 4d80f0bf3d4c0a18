#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

using namespace platform;
using testing_support::FileSizeLimit;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

std::size_t entryCount(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(AtomicFile, CommitReplacesTheOldFileWhole)
{
    TempDir dir;
    const auto target = dir.path() / "KVO.ZIP";
    writeFile(target, "old contents");

    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("new", 3));
    EXPECT_EQ(readFile(target), "old contents"); // not visible before the commit
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(AtomicFile, AbandonedWriteLeavesTheOldFileAndNoTemporary)
{
    TempDir dir;
    const auto target = dir.path() / "KVO.ZIP";
    writeFile(target, "old contents");
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("partial", 7));
    }
    EXPECT_EQ(readFile(target), "old contents");
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(AtomicFile, MissingDirectoryFailsToOpen)
{
    TempDir dir;
    AtomicFile file(dir.path() / "absent" / "x.zip");
    EXPECT_FALSE(file.open());
    EXPECT_FALSE(file.write("x", 1));
    EXPECT_FALSE(file.commit());
}

TEST(AtomicFile, WriteBeyondTheFileSizeLimitFailsAndKeepsTheOldFile)
{
    TempDir dir;
    const auto target = dir.path() / "x.zip";
    writeFile(target, "old contents");
    const std::string big(1 << 20, 'x');
    bool written = true, committed = true;
    {
        FileSizeLimit limit(4096); // as a full disk would, writes past 4 KB fail
        AtomicFile file(target);
        ASSERT_TRUE(file.open());
        written = file.write(big.data(), big.size());
        committed = file.commit();
    }
    EXPECT_FALSE(written && committed);
    EXPECT_EQ(readFile(target), "old contents");
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

} // namespace
