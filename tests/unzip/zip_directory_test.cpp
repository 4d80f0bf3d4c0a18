#include <gtest/gtest.h>

#include "match_mask.h"
#include "support/temp_dir.h"
#include "test_files.h"
#include "unzip/unzip_archive.h"
#include "zip_directory.h"
#include "zip_writer.h"

using namespace unzip;
using namespace unzip_test;
using testing_support::TempDir;
using testing_support::testDataDir;

namespace {

std::string fixture(const std::string& name)
{
    return (testDataDir() / "zip" / name).string();
}

// The names of all members a walk visits.
std::vector<std::string> walk(const std::string& archive, std::int32_t& openResult)
{
    std::vector<std::string> names;
    ZipDirEntry entry;
    openResult = OpenZipDirectory(archive, entry);
    for (std::int32_t r = openResult; r == 0; r = NextZipEntry(entry))
        names.push_back(entry.name);
    EXPECT_FALSE(entry.isOpen);
    return names;
}

TEST(IsZipFile, LooksAtTheNameFirstAndThenAtTheFirstFourBytes)
{
    TempDir dir;
    const Bytes zip = buildZip({storedEntry("a.txt", "a")});
    Bytes endFirst = endRecord(0, 0, 0);
    struct Case
    {
        std::string name;
        Bytes contents;
        bool expected;
    };
    const Case cases[] = {
        {"BASES", zip, false},          // no dot anywhere
        {"SETUP.exe.zip", zip, false},  // ".exe" anywhere
        {"A.EXE", zip, true},           // the ".exe" test minds case
        {"empty.zip", endFirst, false}, // an end record is not a local header
        {"short.zip", Bytes{0x50, 0x4B, 0x03}, false},
        {"page.zip", bytesOf("<html>404</html>"), false},
        {"good.zip", zip, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsZipFile(writeArchive(dir, c.name, c.contents)), c.expected);
    }
    std::filesystem::create_directory(dir.path() / "X.Y");
    EXPECT_FALSE(IsZipFile(dir.enginePath() + "\\X.Y"));
    EXPECT_FALSE(IsZipFile(dir.enginePath() + "\\absent.zip"));
    EXPECT_TRUE(IsZipFile(dir.enginePath() + "\\good.zip\\")); // one trailing "\" is dropped
    EXPECT_TRUE(IsZipFile(dir.path().string() + "/good.zip"));
}

TEST(OpenZipDirectory, RejectsFilesWithoutAUsableEndRecord)
{
    TempDir dir;
    Bytes tooEarly(30, 'x');
    append(tooEarly, endRecord(0, 0, 0)); // the end record at offset 30 < 46
    Bytes atEndRecord = buildZip({storedEntry("a.txt", "a")});
    const Bytes single = localHeader(storedEntry("a.txt", "a"));
    // A directory offset that points straight at the end record.
    Bytes pointsAtEnd = single;
    append(pointsAtEnd, bytesOf("a"));
    append(pointsAtEnd, Bytes(20, 0));
    append(pointsAtEnd, endRecord(0, 0, static_cast<std::uint32_t>(pointsAtEnd.size())));
    struct Case
    {
        std::string name;
        Bytes contents;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"empty.zip", {}, kArchiveUnreadable},
        {"short.zip", Bytes(21, 0), kArchiveUnreadable},
        {"noend.zip", Bytes(5000, 'x'), kArchiveUnreadable},
        {"early.zip", tooEarly, kEndRecordTooEarly},
        {"pointsatend.zip", pointsAtEnd, kNoFurtherEntry},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZipDirEntry entry;
        EXPECT_EQ(OpenZipDirectory(writeArchive(dir, c.name, c.contents), entry), c.expected);
        EXPECT_FALSE(entry.isOpen);
        EXPECT_FALSE(entry.archiveFile.isOpen());
    }
    ZipDirEntry entry;
    EXPECT_EQ(OpenZipDirectory(fixture("bad_cd_offset_past_end.zip"), entry), kEndRecordTooEarly);
    EXPECT_EQ(OpenZipDirectory(fixture("bad_no_end_record.zip"), entry), kArchiveUnreadable);
    EXPECT_EQ(OpenZipDirectory(dir.enginePath() + "\\absent.zip", entry), kArchiveUnreadable);
}

// The end record is searched in 4,096-byte windows from the end of the file, each window
// overlapping the next by 22 bytes; the comment length decides where the record lies.
TEST(OpenZipDirectory, FindsTheEndRecordBehindCommentsOfAnyLength)
{
    TempDir dir;
    for (const std::size_t comment :
         {0u, 1u, 4073u, 4074u, 4075u, 4076u, 4077u, 8148u, 8149u, 8150u, 10000u, 65535u}) {
        SCOPED_TRACE(comment);
        const Bytes zip = buildZip({storedEntry("m.txt", "m")}, std::string(comment, 'c'));
        std::int32_t result = 0;
        EXPECT_EQ(walk(writeArchive(dir, "c.zip", zip), result), std::vector<std::string>{"m.txt"});
        EXPECT_EQ(result, 0);
    }
    std::int32_t result = 0;
    EXPECT_EQ(walk(fixture("comment_10000.zip"), result),
              std::vector<std::string>{"commented.txt"});
}

TEST(OpenZipDirectory, TheEndRecordNearestTheEndWins)
{
    TempDir dir;
    const CraftedEntry a = storedEntry("a.txt", "a");
    const CraftedEntry b = storedEntry("b.txt", "b");
    Bytes zip = localHeader(a);
    append(zip, a.data);
    const auto offsetB = static_cast<std::uint32_t>(zip.size());
    append(zip, localHeader(b));
    append(zip, b.data);
    const auto directoryA = static_cast<std::uint32_t>(zip.size());
    append(zip, centralEntry(a, 0));
    append(zip, endRecord(1, 0, directoryA));
    const auto directoryB = static_cast<std::uint32_t>(zip.size());
    append(zip, centralEntry(b, offsetB));
    append(zip, endRecord(1, 0, directoryB));
    // A signature in the last 21 bytes has no room for a record and does not count.
    append(zip, Bytes{0x50, 0x4B, 0x05, 0x06, 1, 2, 3});

    std::int32_t result = 0;
    EXPECT_EQ(walk(writeArchive(dir, "two.zip", zip), result), std::vector<std::string>{"b.txt"});
}

TEST(NextZipEntry, ReadsTheFieldsOfEachEntry)
{
    TempDir dir;
    CraftedEntry dos = storedEntry("dir/sub/DOS.TXT", "dos");
    dos.externalAttributes = 0x21;
    CraftedEntry unix = storedEntry("unix.txt", "unix");
    unix.hostSystem = 3;
    unix.externalAttributes = 0x81A40021;
    CraftedEntry big = storedEntry("big.bin", "");
    big.compressedSize = 0xFFFFFFFF;
    big.uncompressedSize = 0x80000000;
    CraftedEntry nul = storedEntry(std::string("cut\0here.txt", 12), "");
    CraftedEntry longName = storedEntry(std::string(300, 'n'), "");

    ZipDirEntry entry;
    ASSERT_EQ(OpenZipDirectory(
                  writeArchive(dir, "f.zip", buildZip({dos, unix, big, nul, longName})), entry),
              0);
    EXPECT_EQ(entry.name, "dir\\sub\\DOS.TXT");
    EXPECT_EQ(entry.attributes, 0x21);
    EXPECT_EQ(entry.localHeaderOffset, 0u);
    EXPECT_EQ(entry.crc32, crcOf("dos"));
    EXPECT_EQ(entry.uncompressedSize, 3);
    ASSERT_EQ(NextZipEntry(entry), 0);
    EXPECT_EQ(entry.name, "unix.txt");
    EXPECT_EQ(entry.attributes, 0); // only MS-DOS attributes mean anything
    EXPECT_GT(entry.localHeaderOffset, 0u);
    ASSERT_EQ(NextZipEntry(entry), 0);
    EXPECT_EQ(entry.compressedSize, -1); // sign-extended 32-bit fields
    EXPECT_EQ(entry.uncompressedSize, -2147483648LL);
    ASSERT_EQ(NextZipEntry(entry), 0);
    EXPECT_EQ(entry.name, "cut");
    ASSERT_EQ(NextZipEntry(entry), 0);
    EXPECT_EQ(entry.name, std::string(kMaxMemberName, 'n'));
    EXPECT_EQ(NextZipEntry(entry), kNoFurtherEntry);
    EXPECT_FALSE(entry.isOpen);
    EXPECT_EQ(NextZipEntry(entry), kNoFurtherEntry);
    CloseZipDirectory(entry); // closing twice does nothing
}

TEST(NextZipEntry, AMalformedEntryEndsTheWalkAfterTheGoodOnes)
{
    TempDir dir;
    const CraftedEntry a = storedEntry("a.txt", "a");
    const CraftedEntry b = storedEntry("b.txt", "b");
    Bytes zip = localHeader(a);
    append(zip, a.data);
    const auto directory = static_cast<std::uint32_t>(zip.size());
    append(zip, centralEntry(a, 0));
    Bytes broken = centralEntry(b, 0);
    broken[28] = 0xFF; // a name length running past the directory
    append(zip, broken);
    append(zip, endRecord(2, 0, directory));

    std::int32_t result = 0;
    EXPECT_EQ(walk(writeArchive(dir, "m.zip", zip), result), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(result, 0);
}

TEST(MatchMask, MatchesWholeMemberPaths)
{
    struct Case
    {
        const char* mask;
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {"", "README", true},
        {"*.*", "README", true}, // "*.*" matches names without a dot too
        {"*.VDB", "main.vdb", true},
        {"*.VDB", "main.vdb.bak", false},
        {"MAI?.VDB", "MAIN.VDB", true},
        {"MAI?.VDB", "MAI.VDB", false},
        {"A*", "A", true},
        {"A**", "A", false}, // a trailing "**" needs one character
        {"A**", "AB", true},
        {"*", "", true},
        {"**", "", false},
        {"?", "", false},
        {"BASES\\*", "bases\\x.vdb", true},
        {"*X*", "X", true},
        {"A*B*C", "AxByC", true},
        {"A*B*C", "AxByCz", false},
        {"daily?.*", "DAILY1.AVC", true},
        {"\xC0*", "\xE0x", false}, // only ASCII letters ignore case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " ~ " + c.name);
        EXPECT_EQ(MatchMask(c.mask, c.name), c.expected);
    }
    EXPECT_TRUE(MatchMask(std::string_view("*.vdb\0junk", 10), "x.vdb")); // a mask ends at NUL
}

TEST(MatchMask, ManyStarsDoNotBacktrackForever)
{
    const std::string name(259, 'a');
    EXPECT_FALSE(MatchMask(std::string(40, '*') + "*a*a*a*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(MatchMask("*a*a*a*a*a*a*a*a*a*a*a*a*a", name));
}

} // namespace
