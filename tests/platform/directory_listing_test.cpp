#include <gtest/gtest.h>

#include "platform/directory_listing.h"
#include "support/temp_dir.h"

using namespace platform;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

TEST(WildcardMatch, Table)
{
    struct Case
    {
        const char* mask;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.vdb", "main.vdb", true},
        {"*.vdb", "MAIN.VDB", true},
        {"*.vdb", "main.vdb.bak", false},
        {"*.vdb", ".vdb", true},
        {"ma?n.*", "main.x", true},
        {"ma?n.*", "man.x", false},
        {"*", "", true},
        {"", "", true},
        {"", "a", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"***x", "yyx", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wildcardMatch(c.mask, c.name), c.match) << c.mask << " vs " << c.name;
}

TEST(WildcardMatch, HostileMaskStaysFast)
{
    const std::string name(20000, 'a');
    EXPECT_FALSE(wildcardMatch("*a*a*a*a*a*a*a*a*a*b", name));
}

TEST(ListMatching, ListsEveryKindOfEntrySortedIgnoringCase)
{
    TempDir dir;
    writeFile(dir.path() / "b.vdb", "");
    writeFile(dir.path() / "A.VDB", "");
    writeFile(dir.path() / ".hidden.vdb", "");
    writeFile(dir.path() / "c.vdb.part", "");
    writeFile(dir.path() / "notes.txt", "");
    std::filesystem::create_directory(dir.path() / "dir.vdb");

    const auto names = listMatching(dir.enginePath() + "\\*.vdb");
    EXPECT_EQ(names, (std::vector<std::string>{".hidden.vdb", "A.VDB", "b.vdb", "dir.vdb"}));
}

TEST(ListMatching, MissingDirectoryGivesNothing)
{
    TempDir dir;
    EXPECT_TRUE(listMatching(dir.enginePath() + "\\absent\\*.vdb").empty());
}

} // namespace
