#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/atomic_file.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

using namespace platform;
using testing_support::FileSizeLimit;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace fs = std::filesystem;

namespace {

mode_t permissionsOf(const fs::path& path)
{
    struct stat st
    {};
    if (::lstat(path.c_str(), &st) != 0)
        return 07777;
    return st.st_mode & 07777;
}

mode_t processUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Writes contents through an AtomicFile and commits.
bool replace(const fs::path& path, std::string_view contents,
             Replacement replacement = Replacement::KeepsTheFile,
             NewFileAccess access = NewFileAccess::Default)
{
    AtomicFile file(path, replacement, access);
    return file.open() && file.write(contents.data(), contents.size()) && file.commit();
}

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

TEST(AtomicFile, TheReplacementKeepsThePermissionsOfTheFileItReplaces)
{
    TempDir dir;
    const auto target = dir.path() / "config.ini";
    for (const mode_t mode : {0600, 0640, 0644, 0660, 0604}) {
        writeFile(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        ASSERT_TRUE(replace(target, "new"));
        EXPECT_EQ(readFile(target), "new");
        EXPECT_EQ(permissionsOf(target), mode) << std::oct << mode;
    }
}

TEST(AtomicFile, ANewFileTakesTheMaskOrIsTheOwnersOnly)
{
    TempDir dir;
    ASSERT_TRUE(replace(dir.path() / "shared", "x"));
    EXPECT_EQ(permissionsOf(dir.path() / "shared"), 0666 & ~processUmask());
    ASSERT_TRUE(
        replace(dir.path() / "secret", "x", Replacement::KeepsTheFile, NewFileAccess::OwnerOnly));
    EXPECT_EQ(permissionsOf(dir.path() / "secret"), 0600u);
    // OwnerOnly is for new files: one that exists keeps what its owner gave it.
    ASSERT_EQ(::chmod((dir.path() / "shared").c_str(), 0644), 0);
    ASSERT_TRUE(
        replace(dir.path() / "shared", "y", Replacement::KeepsTheFile, NewFileAccess::OwnerOnly));
    EXPECT_EQ(permissionsOf(dir.path() / "shared"), 0644u);
}

TEST(AtomicFile, TheReplacementKeepsTheOwnerWhereTheProcessMaySetIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    TempDir dir;
    const auto target = dir.path() / "config.ini";
    writeFile(target, "old");
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0); // nobody
    ASSERT_TRUE(replace(target, "new"));
    struct stat st
    {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST(AtomicFile, WritingThroughALinkReplacesItsTargetAndKeepsTheLink)
{
    TempDir dir;
    fs::create_directories(dir.path() / "etc");
    fs::create_directories(dir.path() / "program");
    const auto target = dir.path() / "etc" / "config.ini";
    const auto link = dir.path() / "program" / "config.ini";
    writeFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    // A relative link, through a second link: each is taken from the directory it lies in.
    fs::create_symlink("../etc/config.ini", dir.path() / "program" / "hop");
    fs::create_symlink("hop", link);

    ASSERT_TRUE(replace(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "hop");
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(permissionsOf(target), 0600u);
    EXPECT_EQ(entryCount(dir.path() / "etc"), 1u);
    EXPECT_EQ(entryCount(dir.path() / "program"), 2u);

    // A link whose target does not exist yet creates it.
    fs::remove(target);
    ASSERT_TRUE(replace(link, "created", Replacement::KeepsTheFile, NewFileAccess::OwnerOnly));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "created");
    EXPECT_EQ(permissionsOf(target), 0600u);
}

// Downloads and unpacked members are new files: nothing of what they replace carries over.
TEST(AtomicFile, AFreshReplacementKeepsNothingOfTheOldFileAndALinkLoopFails)
{
    TempDir dir;
    const auto old = dir.path() / "base.vdb";
    writeFile(old, "old");
    ASSERT_EQ(::chmod(old.c_str(), 0440), 0);
    ASSERT_TRUE(replace(old, "new", Replacement::Fresh));
    EXPECT_EQ(readFile(old), "new");
    EXPECT_EQ(permissionsOf(old), 0666 & ~processUmask());

    const auto target = dir.path() / "real.zip";
    const auto link = dir.path() / "KVO.ZIP";
    writeFile(target, "elsewhere");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink(target, link);
    ASSERT_TRUE(replace(link, "downloaded", Replacement::Fresh));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(readFile(link), "downloaded");
    EXPECT_EQ(permissionsOf(link), 0666 & ~processUmask()) << "nothing taken from the target";
    EXPECT_EQ(readFile(target), "elsewhere");

    fs::create_symlink("loop-b", dir.path() / "loop-a");
    fs::create_symlink("loop-a", dir.path() / "loop-b");
    AtomicFile looping(dir.path() / "loop-a", Replacement::KeepsTheFile);
    EXPECT_FALSE(looping.open());
    EXPECT_EQ(entryCount(dir.path()), 5u);
}

} // namespace
