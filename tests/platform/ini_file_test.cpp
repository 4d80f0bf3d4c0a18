#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "support/temp_dir.h"

using namespace platform;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

TEST(IniFile, ReadsTextValuesByTheProfileRules)
{
    struct Case
    {
        const char* line; // the one key line of section MAIN
        const char* expected;
    };
    const Case cases[] = {
        {"k=plain", "plain"},
        {"k=  padded \t", "padded"},
        {"  K  =  case and blanks in the key", "case and blanks in the key"},
        {"k=\"quoted value\"", "quoted value"},
        {"k= 'single' ", "single"},
        {"k=\"\"inner\"\"", "\"inner\""}, // only one pair goes
        {"k=\"unbalanced", "\"unbalanced"},
        {"k=\"", "\""},
        {"k=a=b", "a=b"}, // the first "=" splits
        {"k=", ""},
    };
    for (const auto& c : cases) {
        const auto ini = IniFile::parse(std::string("[MAIN]\n") + c.line + "\n");
        EXPECT_EQ(ini.readString("MAIN", "k", "default"), c.expected) << c.line;
    }
}

TEST(IniFile, FindsTheFirstMatchingSectionAndKeyIgnoringCase)
{
    const auto ini =
        IniFile::parse("; k=comment\n"
                       "[other]\nk=wrong section\n"
                       "[ main ]\nno equals sign here\n;k=commented\nK=first\nk=second\n"
                       "[MAIN]\nk=second section\n");
    EXPECT_EQ(ini.readString("MAIN", "k", "default"), "first");
    EXPECT_EQ(ini.readString("MAIN", "absent", "default"), "default");
    EXPECT_EQ(ini.readString("ABSENT", "k", "default"), "default");
}

TEST(IniFile, CutsValuesAt2047CharactersAndAtANulByte)
{
    const std::string longValue(3000, 'v');
    const auto ini = IniFile::parse("[MAIN]\nk=" + longValue + "\n");
    EXPECT_EQ(ini.readString("MAIN", "k", ""), longValue.substr(0, IniFile::kMaxValueLength));

    using namespace std::string_literals;
    const auto binary = IniFile::parse("[MAIN]\nk= \"path\0\xFF junk\" \nn=8\0"
                                       "0\n"s);
    EXPECT_EQ(binary.readString("MAIN", "k", ""), "path");
    EXPECT_EQ(binary.readInteger("MAIN", "n", 0), 8);
}

TEST(IniFile, ReadsIntegersAndFlags)
{
    struct Case
    {
        const char* value;
        std::int32_t integer; // with default 7
        bool flag;            // with default true
    };
    const Case cases[] = {
        {"80", 80, true},   {"0x50", 80, true}, {"$50", 80, true}, {"-3", -3, true},
        {"0", 0, false},    {"2", 2, true},     {"yes", 7, true},  {"\"12\"", 12, true},
        {" 12 ", 12, true}, {"", 7, true},      {"1x", 7, true},
    };
    for (const auto& c : cases) {
        const auto ini = IniFile::parse(std::string("[MAIN]\nk=") + c.value + "\n");
        EXPECT_EQ(ini.readInteger("MAIN", "k", 7), c.integer) << c.value;
        EXPECT_EQ(ini.readBool("MAIN", "k", true), c.flag) << c.value;
    }
    EXPECT_FALSE(IniFile::parse("[MAIN]\nk=yes\n").readBool("MAIN", "k", false));
    EXPECT_EQ(IniFile().readInteger("MAIN", "k", -5), -5);
}

TEST(IniFile, WritesInPlaceAndKeepsEverythingElse)
{
    struct Case
    {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        // replaced in place, the rest untouched
        {"; settings\n[MAIN]\nA=1\nk=old\nz=9\n[X]\nk=x\n",
         "; settings\n[MAIN]\nA=1\nk=new\nz=9\n[X]\nk=x\n"},
        // appended after the section's last line, before the blank line and the next section
        {"[MAIN]\nA=1\n\n[X]\nB=2\n", "[MAIN]\nA=1\nk=new\n\n[X]\nB=2\n"},
        // section created at the end
        {"[X]\nB=2\n", "[X]\nB=2\n\n[MAIN]\nk=new\n"},
        // CRLF files stay CRLF
        {"[MAIN]\r\nk=old\r\nq=1\r\n", "[MAIN]\r\nk=new\r\nq=1\r\n"},
        // every line keeps its own end; a new line takes the file's first
        {"; lf\n[X]\r\nB=2\r\n[MAIN]\r\nq=1\r\r\n[Y]\n",
         "; lf\n[X]\r\nB=2\r\n[MAIN]\r\nq=1\r\r\nk=new\n[Y]\n"},
        {"[MAIN]\nq=1\r", "[MAIN]\nq=1\nk=new\n"},
        // a file without a final line end gets one only where a line is appended
        {"[MAIN]\nk=old", "[MAIN]\nk=new"},
        {"[MAIN]\nq=1", "[MAIN]\nq=1\nk=new\n"},
        // new document: native line ends
        {"", "[MAIN]\nk=new\n"},
    };
    for (const auto& c : cases) {
        auto ini = IniFile::parse(c.before);
        ini.writeString("MAIN", "k", "new");
        EXPECT_EQ(ini.serialize(), c.after) << c.before;
    }
}

TEST(IniFile, SaveAndLoadRoundTripThroughTheFile)
{
    TempDir dir;
    const std::string path = dir.enginePath() + "\\config.ini";
    writeFile(dir.path() / "config.ini", "[MAIN]\r\nforeign=kept\r\n[OTHER]\r\nx=1\r\n");

    auto ini = IniFile::load(path);
    ini.writeInteger("MAIN", "port", -8080);
    ini.writeBool("MAIN", "flag", true);
    ASSERT_TRUE(ini.save(path));

    EXPECT_EQ(readFile(dir.path() / "config.ini"),
              "[MAIN]\r\nforeign=kept\r\nport=-8080\r\nflag=1\r\n[OTHER]\r\nx=1\r\n");
    const auto again = IniFile::load(path);
    EXPECT_EQ(again.readInteger("MAIN", "port", 0), -8080);
    EXPECT_TRUE(again.readBool("MAIN", "flag", false));
}

TEST(IniFile, MissingFileReadsAsEmptyAndSaveIntoMissingDirectoryFails)
{
    TempDir dir;
    const auto ini = IniFile::load(dir.enginePath() + "\\absent.ini");
    EXPECT_EQ(ini.readString("MAIN", "k", "d"), "d");
    EXPECT_FALSE(ini.save(dir.enginePath() + "\\no\\such\\dir\\config.ini"));
}

// A settings file is a few hundred bytes; a huge one must neither exhaust memory when it is read
// nor lose its unread part when it is saved.
TEST(IniFile, HugeFilesAreReadUpToTheLimitAndSavedWhole)
{
    TempDir dir;
    const std::string path = dir.enginePath() + "\\config.ini";
    const std::string comment = ";" + std::string(1022, 'c') + "\n";
    std::string original = "[MAIN]\nk=first\n";
    while (original.size() < IniFile::kMaxReadBytes + comment.size())
        original += comment;
    original += "late=beyond the limit\n";
    writeFile(dir.path() / "config.ini", original);

    auto ini = IniFile::load(path);
    EXPECT_EQ(ini.readString("MAIN", "k", "default"), "first");
    EXPECT_EQ(ini.readString("MAIN", "late", "default"), "default");
    ini.writeString("MAIN", "k", "second");
    ini.writeString("MAIN", "added", "yes");
    ASSERT_TRUE(ini.save(path));

    // The key replaced in place, the new one after the last line read (the first line that does
    // not end within the limit was not), the rest as it was.
    const std::size_t firstUnread = original.rfind('\n', IniFile::kMaxReadBytes - 1) + 1;
    const std::string expected = "[MAIN]\nk=second\n" + original.substr(15, firstUnread - 15) +
                                 "added=yes\n" + original.substr(firstUnread);
    const std::string saved = readFile(dir.path() / "config.ini");
    EXPECT_TRUE(saved == expected)
        << saved.size() << " bytes saved, " << expected.size() << " expected";
}

TEST(IniFile, FilesWithoutALineEndWithinTheLimitReadAsEmpty)
{
    TempDir dir;
    const std::string path = dir.enginePath() + "\\config.ini";
    const std::string noise(IniFile::kMaxReadBytes + 1, '\x01');
    writeFile(dir.path() / "config.ini", noise);
    auto ini = IniFile::load(path);
    EXPECT_EQ(ini.readString("MAIN", "k", "default"), "default");
    ini.writeString("MAIN", "k", "v");
    ASSERT_TRUE(ini.save(path));
    EXPECT_TRUE(readFile(dir.path() / "config.ini") == "[MAIN]\nk=v\n" + noise);

    // A file that never ends is read as far as the limit. (Only read: saving writes through a
    // link, and the test must never try that on a device of the machine.)
    std::filesystem::remove(dir.path() / "config.ini");
    std::filesystem::create_symlink("/dev/zero", dir.path() / "config.ini");
    auto endless = IniFile::load(path);
    EXPECT_EQ(endless.readString("MAIN", "k", "default"), "default");
}

// Saving writes through a link to the file it leads to; a link to anything but a regular file
// (a device, a directory) is refused, and what it leads to stays as it was.
TEST(IniFile, ALinkToSomethingOtherThanAFileIsNotReplaced)
{
    TempDir dir;
    const std::string path = dir.enginePath() + "\\config.ini";
    std::filesystem::create_directory(dir.path() / "not-a-file");
    std::filesystem::create_symlink(dir.path() / "not-a-file", dir.path() / "config.ini");
    auto ini = IniFile::load(path);
    ini.writeString("MAIN", "k", "v");
    EXPECT_FALSE(ini.save(path));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "config.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "not-a-file"));
}

} // namespace
