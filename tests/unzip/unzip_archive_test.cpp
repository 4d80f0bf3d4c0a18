#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "legacy_writers.h"
#include "member_extractor.h"
#include "platform/os_path.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "test_files.h"
#include "unzip/unzip_archive.h"
#include "zip_writer.h"

using namespace unzip;
using namespace unzip_test;
using testing_support::FileSizeLimit;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

namespace fs = std::filesystem;

class UnzipArchiveTest : public ::testing::Test
{
protected:
    std::string archive(const std::vector<CraftedEntry>& entries)
    {
        return writeArchive(m_dir, "test.zip", buildZip(entries));
    }
    std::string archiveBytes(const Bytes& bytes) { return writeArchive(m_dir, "test.zip", bytes); }
    std::int32_t unzip(const std::string& archivePath, std::string_view mask = {})
    {
        return UnzipArchive(archivePath, m_dir.enginePath() + "\\out", mask);
    }
    fs::path out(const std::string& relative = {}) const { return m_dir.path() / "out" / relative; }
    std::vector<std::string> extracted() const
    {
        return fs::exists(out()) ? treeOf(out()) : std::vector<std::string>{};
    }

    TempDir m_dir;
};

// One final stored deflate block holding the content.
Bytes storedBlockStream(std::string_view content)
{
    BitWriter w;
    deflate::blockHeader(w, true, 0);
    w.alignToByte();
    const auto length = static_cast<std::uint32_t>(content.size());
    w.bits(length, 16);
    w.bits(~length & 0xFFFF, 16);
    for (const char c : content)
        w.bits(static_cast<std::uint8_t>(c), 8);
    return w.bytes();
}

// Deflate data expanding to about size zero bytes: one literal, then matches of 258 bytes at
// distance 1, 13 bits of data for every 258 bytes of output.
Bytes zerosStream(std::size_t size)
{
    BitWriter w;
    deflate::blockHeader(w, true, 1);
    const auto& literals = deflate::fixedLiterals();
    literals.put(w, 0);
    for (std::size_t left = size - 1; left >= 258; left -= 258)
        deflate::match(w, literals, deflate::fixedDistances(), 258, 1);
    literals.put(w, 256);
    return w.bytes();
}

// A dynamic deflate block whose code-length repeat 16 runs past the lengths it fills.
Bytes repeatOverrunStream()
{
    BitWriter w;
    std::vector<deflate::CodeLengthSymbol> symbols(257 + 1 - 3, {8});
    symbols.push_back({16, 3}); // repeats 6 times where only 3 lengths are left
    deflate::dynamicHeader(w, true, 257, 1, symbols);
    return w.bytes();
}

TEST_F(UnzipArchiveTest, EmptyPathsAndNonArchivesAreRefusedAtOnce)
{
    const std::string zip = archive({storedEntry("a.txt", "a")});
    EXPECT_EQ(UnzipArchive("", m_dir.enginePath()), kEmptyPath);
    EXPECT_EQ(UnzipArchive(zip, ""), kEmptyPath);
    EXPECT_EQ(UnzipArchive(std::string_view("\0x.zip", 6), m_dir.enginePath()), kEmptyPath);
    EXPECT_EQ(unzip(writeArchive(m_dir, "page.zip", bytesOf("<html>404 Not Found</html>"))),
              kNotAZipArchive);
    EXPECT_EQ(unzip(writeArchive(m_dir, "setup.exe.zip", buildZip({storedEntry("a", "a")}))),
              kNotAZipArchive);
    EXPECT_EQ(unzip(m_dir.enginePath()), kNotAZipArchive); // a directory
    EXPECT_TRUE(extracted().empty());
}

TEST_F(UnzipArchiveTest, AnUnusableCentralDirectoryGivesMinus9)
{
    const CraftedEntry a = storedEntry("a.txt", "a");
    Bytes pointsAtEnd = localHeader(a);
    append(pointsAtEnd, a.data);
    append(pointsAtEnd, Bytes(30, 0));
    append(pointsAtEnd, endRecord(0, 0, static_cast<std::uint32_t>(pointsAtEnd.size())));
    EXPECT_EQ(unzip(archiveBytes(pointsAtEnd)), kBadCentralDirectory);

    Bytes truncated = buildZip({a, storedEntry("b.txt", std::string(3000, 'b'))});
    truncated.resize(1000);
    EXPECT_EQ(unzip(archiveBytes(truncated)), kBadCentralDirectory);
    EXPECT_TRUE(extracted().empty());
}

TEST_F(UnzipArchiveTest, ExtractsNestedPathsAndDirectoryEntries)
{
    const std::string zip = archive({
        directoryEntry("bases/"),
        storedEntry("sub/dir/file.vdb", "nested"),
        deflatedEntry("bases/daily.avc", "daily database"),
        storedEntry("empty.txt", ""),
    });
    EXPECT_EQ(UnzipArchive(zip, m_dir.path().string() + "/out"),
              4); // "/" separators, no trailing one
    EXPECT_EQ(extracted(), (std::vector<std::string>{"bases", "bases/daily.avc", "empty.txt", "sub",
                                                     "sub/dir", "sub/dir/file.vdb"}));
    EXPECT_EQ(readFile(out("sub/dir/file.vdb")), "nested");
    EXPECT_EQ(readFile(out("bases/daily.avc")), "daily database");
    EXPECT_EQ(readFile(out("empty.txt")), "");
}

TEST_F(UnzipArchiveTest, StoredMembersAroundTheWindowSize)
{
    std::vector<CraftedEntry> entries;
    for (const std::size_t size : {0u, 1u, 32767u, 32768u, 32769u, 100000u}) {
        std::string content(size, '\0');
        for (std::size_t k = 0; k < size; ++k)
            content[k] = static_cast<char>(k * 7 + k / 251);
        entries.push_back(storedEntry("s" + std::to_string(size), content));
    }
    EXPECT_EQ(unzip(archive(entries)), 6);
    for (const CraftedEntry& e : entries)
        EXPECT_EQ(bytesOf(readFile(out(e.name))), e.data) << e.name;
}

TEST_F(UnzipArchiveTest, MasksSelectMembersByTheirWholePath)
{
    const std::string zip = archive({storedEntry("main.vdb", "1"), storedEntry("main.vdb.bak", "2"),
                                     storedEntry("bases/x.vdb", "3"), storedEntry("README", "4")});
    struct Case
    {
        std::string mask;
        std::int32_t count;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"", 4, {"README", "bases", "bases/x.vdb", "main.vdb", "main.vdb.bak"}},
        {"*.*", 4, {"README", "bases", "bases/x.vdb", "main.vdb", "main.vdb.bak"}},
        {"*.VDB", 2, {"bases", "bases/x.vdb", "main.vdb"}},
        {"BASES\\*", 1, {"bases", "bases/x.vdb"}},
        {"read?e", 1, {"README"}},
        {"*.zip", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        fs::remove_all(out());
        EXPECT_EQ(unzip(zip, c.mask), c.count);
        EXPECT_EQ(extracted(), c.files);
    }
}

TEST_F(UnzipArchiveTest, MembersThatWouldLeaveTheTargetAreSkipped)
{
    const std::string zip = archive({
        storedEntry("../evil.txt", "x"),
        storedEntry("safe/../../evil2.txt", "x"),
        storedEntry("/etc/evil3.txt", "x"),
        storedEntry("C:/evil4.txt", "x"),
        storedEntry("c:evil5.txt", "x"),
        storedEntry(".../evil6.txt", "x"),
        storedEntry("safe/.. /evil7.txt", "x"),
        storedEntry(". ./evil8.txt", "x"),
        // Named like the extractor's own temporary files, which the next run would remove.
        storedEntry("KVO1.VDB.kavor-tmp-12-3", "x"),
        storedEntry("tmp.kavor-tmp-1-2/evil9.txt", "x"),
        storedEntry("safe/ok.txt", "ok"),
        storedEntry("safe/..name", "dots inside a name are fine"),
        storedEntry("safe/A.kavor-tmp-x", "a name near that pattern is fine"),
    });
    EXPECT_EQ(unzip(zip), 3);
    EXPECT_EQ(extracted(), (std::vector<std::string>{"safe", "safe/..name", "safe/A.kavor-tmp-x",
                                                     "safe/ok.txt"}));
    EXPECT_EQ(treeOf(m_dir.path()),
              (std::vector<std::string>{"out", "out/safe", "out/safe/..name",
                                        "out/safe/A.kavor-tmp-x", "out/safe/ok.txt", "test.zip"}));
}

TEST_F(UnzipArchiveTest, Utf8FlagDecidesHowNamesAreRead)
{
    CraftedEntry utf8 = storedEntry("Документы/тест.txt", "utf-8");
    utf8.flags = 0x0800;
    // "Привет.txt" in CP866.
    const CraftedEntry oem = storedEntry("\x8F\xE0\xA8\xA2\xA5\xE2.txt", "cp866");
    // The same UTF-8 bytes without the flag are CP866 text: "╨в╨╡..." with box-drawing signs,
    // which CP1251 cannot show.
    const CraftedEntry unflagged = storedEntry("тест", "unflagged");
    EXPECT_EQ(unzip(archive({utf8, oem, unflagged})), 3);
    const auto files = extracted();
    EXPECT_EQ(readFile(out("Документы/тест.txt")), "utf-8");
    EXPECT_EQ(readFile(out("Привет.txt")), "cp866");
    EXPECT_EQ(std::count(files.begin(), files.end(), "тест"), 0);
    EXPECT_EQ(files.size(), 4u);
}

TEST_F(UnzipArchiveTest, ReplacesExistingFilesReadOnlyOnesIncluded)
{
    fs::create_directories(out());
    writeFile(out("plain.vdb"), "old plain");
    writeFile(out("locked.vdb"), "old locked");
    fs::permissions(out("locked.vdb"), fs::perms::owner_read | fs::perms::group_read);
    CraftedEntry readOnly = storedEntry("ro.vdb", "read-only member");
    readOnly.externalAttributes = 0x21; // MS-DOS: read-only, archive
    CraftedEntry unixReadOnly = storedEntry("unix.vdb", "made elsewhere");
    unixReadOnly.hostSystem = 3;
    unixReadOnly.externalAttributes = 0x01;
    CraftedEntry readOnlyDir = directoryEntry("rodir/");
    readOnlyDir.externalAttributes = 0x11;

    EXPECT_EQ(unzip(archive({storedEntry("plain.vdb", "new plain"),
                             storedEntry("locked.vdb", "new locked"), readOnly, unixReadOnly,
                             readOnlyDir, storedEntry("rodir/inside.vdb", "inside")})),
              6);
    EXPECT_EQ(readFile(out("plain.vdb")), "new plain");
    EXPECT_EQ(readFile(out("locked.vdb")), "new locked");
    const auto writable = [](const fs::path& p) {
        return (fs::status(p).permissions() & fs::perms::owner_write) != fs::perms::none;
    };
    EXPECT_FALSE(writable(out("ro.vdb")));
    EXPECT_TRUE(writable(out("unix.vdb"))); // attributes of other hosts mean nothing
    EXPECT_TRUE(writable(out("locked.vdb")));
    EXPECT_TRUE(writable(out("rodir"))); // a directory stays usable
    EXPECT_EQ(readFile(out("rodir/inside.vdb")), "inside");
}

TEST_F(UnzipArchiveTest, AFailingMemberKeepsTheEarlierFileAndEndsTheCall)
{
    CraftedEntry badCrc = storedEntry("base.vdb", "new contents");
    badCrc.crc ^= 1;
    CraftedEntry badData = rawEntry("base.vdb", 8, Bytes{0xFF, 0xFF, 0xFF}, "x"); // block type 3
    CraftedEntry badHeader = storedEntry("base.vdb", "x");
    struct Case
    {
        const char* what;
        Bytes zip;
        std::int32_t expected;
    };
    Bytes movedHeader = buildZip({storedEntry("first.txt", "1"), badHeader});
    movedHeader[localHeader(storedEntry("first.txt", "1")).size() + 1] =
        0; // second "PK\3\4" broken
    std::vector<Case> cases;
    cases.push_back({"crc", buildZip({storedEntry("first.txt", "1"), badCrc}), kInvalidData});
    cases.push_back({"data", buildZip({storedEntry("first.txt", "1"), badData}), kInvalidData});
    cases.push_back({"header", movedHeader, kInvalidData});
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out());
        fs::create_directories(out());
        writeFile(out("base.vdb"), "old contents");
        EXPECT_EQ(unzip(archiveBytes(c.zip)), c.expected);
        EXPECT_EQ(readFile(out("base.vdb")), "old contents");
        EXPECT_EQ(extracted(), (std::vector<std::string>{"base.vdb", "first.txt"}));
    }
}

TEST_F(UnzipArchiveTest, TruncatedMemberDataGivePrematureEnd)
{
    // The second member's deflate data are cut short by its declared compressed size: the
    // reader stops there, inside a stored block, and the first member stays extracted.
    const std::string content(5000, 'z');
    CraftedEntry second = rawEntry("second.txt", 8, storedBlockStream(content), content);
    second.compressedSize = 2000;
    EXPECT_EQ(unzip(archive({storedEntry("first.txt", "first"), second})), kPrematureEnd);
    EXPECT_EQ(extracted(), std::vector<std::string>{"first.txt"});
}

// What each bound refuses, and that the refusal leaves the target as it was: an earlier file of
// the refused member's name keeps its contents, and no other file appears. Each of these
// archives wrote gigabytes or ran for seconds before the sizes it declares were held to.
TEST_F(UnzipArchiveTest, ExtractionIsBoundedByWhatTheArchiveDeclares)
{
    struct Case
    {
        const char* what;
        Bytes zip;
        std::int32_t expected;
        std::vector<std::string> extractedBefore; // members that were sound, before the refused one
    };
    std::vector<Case> cases;

    {
        // Five shrunk bytes, 400 bytes declared, and a local header that announces 0x80000105
        // compressed bytes: Unshrink would decode 2 GiB of filler.
        CraftedEntry e =
            rawEntry("base.vdb", 1, ShrinkWriter().text("abcd").bytes(), std::string(400, 'a'));
        e.localCompressedSize = 0x80000105;
        Bytes zip = buildZip({e}, std::string(258, 'c'));
        EXPECT_EQ(e.data.size(), 5u);
        EXPECT_EQ(zip.size(), 377u);
        cases.push_back({"local header announcing 2 GiB of shrunk data", zip, kInvalidData, {}});
    }
    {
        CraftedEntry e = deflatedEntry("base.vdb", "new");
        e.localUncompressedSize = e.uncompressedSize + 1;
        cases.push_back({"local uncompressed size differs", buildZip({e}), kInvalidData, {}});
    }
    for (const std::uint32_t size : {0x7FFFFFFFu, 0x80000105u, 0xFFFFFFFFu}) {
        CraftedEntry e = storedEntry("base.vdb", "new");
        e.compressedSize = size;
        cases.push_back({"compressed size beyond the archive", buildZip({e}), kInvalidData, {}});
    }
    {
        CraftedEntry e = deflatedEntry("base.vdb", "new");
        e.compressedSize += 10;
        cases.push_back(
            {"data reaching into the central directory", buildZip({e}), kInvalidData, {}});
    }
    {
        // The second member's local header and data stand behind the end record.
        const CraftedEntry first = storedEntry("first.txt", "first");
        const CraftedEntry second = storedEntry("base.vdb", "new");
        Bytes zip = localHeader(first);
        append(zip, first.data);
        const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
        const auto secondOffset = static_cast<std::uint32_t>(
            directoryOffset + 2 * 46 + first.name.size() + second.name.size() + 22);
        Bytes directory = centralEntry(first, 0);
        append(directory, centralEntry(second, secondOffset));
        append(zip, directory);
        append(zip, endRecord(2, static_cast<std::uint32_t>(directory.size()), directoryOffset));
        EXPECT_EQ(zip.size(), secondOffset);
        append(zip, localHeader(second));
        append(zip, second.data);
        cases.push_back({"data behind the central directory", zip, kInvalidData, {"first.txt"}});
    }
    {
        // 4 MB of zeros from 26 KB of deflate data, where the directory declares 1000 bytes.
        CraftedEntry e = rawEntry("base.vdb", 8, zerosStream(4 << 20), std::string(1000, '\0'));
        cases.push_back({"output beyond the declared size", buildZip({e}), kInvalidData, {}});
        e.flags = 0x0008;
        e.localCompressedSize = 0;
        e.localUncompressedSize = 0;
        cases.push_back({"output beyond the directory's size, sizes after the data",
                         buildZip({e}),
                         kInvalidData,
                         {}});
    }
    {
        const std::string content(5000, 'z');
        CraftedEntry e = rawEntry("base.vdb", 8, storedBlockStream(content), content);
        e.compressedSize = 2000;
        e.flags = 0x0008;
        e.localCompressedSize = 0;
        e.localUncompressedSize = 0;
        cases.push_back({"input beyond the directory's size, sizes after the data",
                         buildZip({e}),
                         kPrematureEnd,
                         {}});
    }
    {
        // Two directory entries share one local header and its data.
        const CraftedEntry first = deflatedEntry("first.txt", "shared");
        CraftedEntry again = first;
        again.name = "base.vdb";
        Bytes zip = localHeader(first);
        append(zip, first.data);
        const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
        Bytes directory = centralEntry(first, 0);
        append(directory, centralEntry(again, 0));
        append(zip, directory);
        append(zip, endRecord(2, static_cast<std::uint32_t>(directory.size()), directoryOffset));
        cases.push_back({"two members of one local header", zip, kInvalidData, {"first.txt"}});
    }
    {
        // A member's local header lies inside the data of the member before it.
        const CraftedEntry inner = storedEntry("base.vdb", "new");
        Bytes innerRecord = localHeader(inner);
        append(innerRecord, inner.data);
        const CraftedEntry outer = rawEntry("first.txt", 0, innerRecord, textOf(innerRecord));
        Bytes zip = localHeader(outer);
        append(zip, outer.data);
        const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
        Bytes directory = centralEntry(outer, 0);
        append(directory,
               centralEntry(inner, static_cast<std::uint32_t>(localHeader(outer).size())));
        append(zip, directory);
        append(zip, endRecord(2, static_cast<std::uint32_t>(directory.size()), directoryOffset));
        cases.push_back({"a member inside another's data", zip, kInvalidData, {"first.txt"}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out());
        fs::create_directories(out());
        writeFile(out("base.vdb"), "old contents");
        const std::string zip = archiveBytes(c.zip);
        std::int32_t result = 0;
        {
            // Files far below what the unbounded extraction wrote: a write beyond the limit
            // fails (kOutputFailed), so each case shows that the work stopped early.
            FileSizeLimit limit(1 << 20);
            result = unzip(zip);
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(readFile(out("base.vdb")), "old contents");
        std::vector<std::string> files = c.extractedBefore;
        files.insert(files.begin(), "base.vdb");
        EXPECT_EQ(extracted(), files);
    }
}

TEST_F(UnzipArchiveTest, LocalHeaderBeyondTheEndOfTheArchive)
{
    const CraftedEntry a = storedEntry("a.txt", "a");
    Bytes zip = localHeader(a);
    append(zip, a.data);
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    const Bytes directory = centralEntry(a, 1000000);
    append(zip, directory);
    append(zip, endRecord(1, static_cast<std::uint32_t>(directory.size()), directoryOffset));
    EXPECT_EQ(unzip(archiveBytes(zip)), kPrematureEnd);
}

TEST_F(UnzipArchiveTest, DataDescriptorsWorkForDeflateButNotForStoredMembers)
{
    CraftedEntry deflated = deflatedEntry("deflated.txt", "sizes follow the data");
    deflated.flags = 0x0008;
    deflated.localCompressedSize = 0;
    CraftedEntry stored = storedEntry("stored.txt", "sizes follow the data");
    stored.flags = 0x0008;
    stored.localCompressedSize = 0;
    EXPECT_EQ(unzip(archive({deflated, stored})), kPrematureEnd);
    EXPECT_EQ(extracted(), std::vector<std::string>{"deflated.txt"});
    EXPECT_EQ(readFile(out("deflated.txt")), "sizes follow the data");
}

TEST_F(UnzipArchiveTest, UnsupportedMembersEndTheWalkWithTheCountSoFar)
{
    CraftedEntry method9 = storedEntry("third.txt", "x");
    method9.method = 9;
    CraftedEntry encrypted = storedEntry("secret.txt", "x");
    encrypted.flags = 0x0001;
    const CraftedEntry overrun = rawEntry("overrun.txt", 8, repeatOverrunStream(), "");
    struct Case
    {
        const char* what;
        std::vector<CraftedEntry> entries;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"method 9 third",
         {storedEntry("1", "1"), storedEntry("2", "2"), method9, storedEntry("4", "4")},
         2},
        {"encrypted first", {encrypted, storedEntry("2", "2")}, 0},
        {"inflate result 1", {storedEntry("1", "1"), overrun, storedEntry("3", "3")}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(out());
        EXPECT_EQ(unzip(archive(c.entries)), c.expected);
        EXPECT_EQ(extracted().size(), static_cast<std::size_t>(c.expected));
    }
}

TEST_F(UnzipArchiveTest, TheMethodIsCheckedBeforeEncryption)
{
    CraftedEntry both = storedEntry("both.txt", "x");
    both.method = 9;
    both.flags = 0x0001;
    CraftedEntry encrypted = storedEntry("enc.txt", "x");
    encrypted.flags = 0x0001;
    const std::string zip = archive({both, encrypted});
    MemberExtractor extractor(platform::toOsPath(zip));
    MemberJob job;
    job.outputPath = out("both.txt");
    EXPECT_EQ(extractor.ExtractMember(job), kUnsupportedMethod);
    job.localHeaderOffset = static_cast<std::uint32_t>(localHeader(both).size() + both.data.size());
    EXPECT_EQ(extractor.ExtractMember(job), kEncrypted);
    EXPECT_FALSE(fs::exists(out()));
}

TEST_F(UnzipArchiveTest, OutputThatCannotBePlacedEndsTheCall)
{
    // "blocker" is a file where the next member needs a directory.
    EXPECT_EQ(unzip(archive({storedEntry("blocker", "file"), storedEntry("blocker/x.txt", "x"),
                             storedEntry("later.txt", "never")})),
              kOutputFailed);
    EXPECT_EQ(extracted(), std::vector<std::string>{"blocker"});

    // A non-empty directory stands where the file must go: the rename fails.
    fs::remove_all(out());
    fs::create_directories(out("taken"));
    writeFile(out("taken/keep"), "keep");
    EXPECT_EQ(unzip(archive({storedEntry("taken", "x"), storedEntry("later.txt", "never")})),
              kOutputFailed);
    EXPECT_EQ(extracted(), (std::vector<std::string>{"taken", "taken/keep"}));

    // A directory entry whose name a file holds.
    fs::remove_all(out());
    fs::create_directories(out());
    writeFile(out("dir"), "file");
    EXPECT_EQ(unzip(archive({directoryEntry("dir/"), storedEntry("later.txt", "never")})),
              kOutputFailed);
}

TEST_F(UnzipArchiveTest, AFailedWriteKeepsTheEarlierFile)
{
    fs::create_directories(out());
    writeFile(out("big.vdb"), "old");
    const std::string zip = archive({storedEntry("small.vdb", "small"),
                                     storedEntry("big.vdb", std::string(100000, 'b')),
                                     storedEntry("later.vdb", "never")});
    std::int32_t result = 0;
    {
        FileSizeLimit limit(10000);
        result = unzip(zip);
    }
    EXPECT_EQ(result, kOutputFailed);
    EXPECT_EQ(readFile(out("big.vdb")), "old");
    EXPECT_EQ(extracted(), (std::vector<std::string>{"big.vdb", "small.vdb"}));
}

TEST_F(UnzipArchiveTest, AnArchiveThatCannotBeOpenedAgainGivesMinus14)
{
    const std::string zip = archive({storedEntry("a.txt", "a")});
    const std::string target = m_dir.enginePath() + "\\out";
    // In a child: the descriptor limit leaves room for the directory walk's file only.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int first = open("/dev/null", O_RDONLY);
        const int second = open("/dev/null", O_RDONLY);
        close(first);
        close(second);
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(second);
        setrlimit(RLIMIT_NOFILE, &limit);
        const std::int32_t result = UnzipArchive(zip, target);
        _exit(result == kCannotReopenArchive ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(out("a.txt")));
}

TEST_F(UnzipArchiveTest, OutputPathsLongerThan259CharactersWork)
{
    const std::string deep = std::string(118, 'd') + "/" + std::string(118, 'e') + "/";
    const std::string name = deep + std::string(15, 'f') + ".vdb";
    ASSERT_LE(name.size(), 259u);
    EXPECT_EQ(unzip(archive({storedEntry(name, "deep")})), 1);
    EXPECT_GT(out(name).string().size(), 259u);
    EXPECT_EQ(readFile(out(name)), "deep");
}

TEST(KavorUnzipTool, PrintsTheResultAndExitsByItsSign)
{
    TempDir dir;
    writeArchive(dir, "t.zip", buildZip({storedEntry("a.txt", "a")}));
    const std::string zip = (dir.path() / "t.zip").string();
    const std::string tool = KAVOR_UNZIP_TOOL;
    const auto run = [&](const std::string& args) {
        const std::string command = tool + " " + args + " > " + (dir.path() / "stdout").string();
        const int status = std::system(command.c_str());
        return std::make_pair(WEXITSTATUS(status), readFile(dir.path() / "stdout"));
    };
    EXPECT_EQ(run(zip + " " + (dir.path() / "out").string()),
              std::make_pair(0, std::string("1\n")));
    EXPECT_EQ(readFile(dir.path() / "out" / "a.txt"), "a");
    EXPECT_EQ(run(zip + " " + (dir.path() / "out").string() + " '*.vdb'"),
              std::make_pair(0, std::string("0\n")));
    EXPECT_EQ(run((dir.path() / "none.zip").string() + " " + dir.path().string()),
              std::make_pair(1, std::string("-12\n")));
}

} // namespace
