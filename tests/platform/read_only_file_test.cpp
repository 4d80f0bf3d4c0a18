#include <gtest/gtest.h>

#include "platform/read_only_file.h"
#include "support/temp_dir.h"

using namespace platform;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

TEST(ReadOnlyFile, ReadsAtPositionsAndTellsTheEndFromAnError)
{
    TempDir dir;
    writeFile(dir.path() / "a.zip", "0123456789");
    ReadOnlyFile file;
    ASSERT_TRUE(file.open(dir.path() / "a.zip"));
    EXPECT_EQ(file.size(), 10);

    char buffer[16] = {};
    ASSERT_TRUE(file.seek(6));
    auto result = file.read(buffer, sizeof buffer); // a short read at the end is no error
    EXPECT_EQ(result.count, 4u);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(std::string(buffer, 4), "6789");

    ASSERT_TRUE(file.seek(1000)); // beyond the end: reads give nothing
    result = file.read(buffer, 1);
    EXPECT_EQ(result.count, 0u);
    EXPECT_FALSE(result.error);
    EXPECT_FALSE(file.seek(-1));
}

TEST(ReadOnlyFile, FailuresAreReported)
{
    TempDir dir;
    ReadOnlyFile file;
    EXPECT_FALSE(file.open(dir.path() / "absent.zip"));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.read(nullptr, 1).error);
    EXPECT_FALSE(file.size());

    // A directory opens for reading on POSIX systems, but reading it fails.
    ASSERT_TRUE(file.open(dir.path()));
    char byte;
    EXPECT_TRUE(file.read(&byte, 1).error);
}

TEST(ReadOnlyFile, MovingHandsTheOpenFileOver)
{
    TempDir dir;
    writeFile(dir.path() / "a.zip", "x");
    ReadOnlyFile first;
    ASSERT_TRUE(first.open(dir.path() / "a.zip"));
    ReadOnlyFile second = std::move(first);
    EXPECT_FALSE(first.isOpen());
    char byte = 0;
    EXPECT_EQ(second.read(&byte, 1).count, 1u);
    EXPECT_EQ(byte, 'x');
}

} // namespace
