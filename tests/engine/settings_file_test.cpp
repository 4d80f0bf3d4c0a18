#include <functional>
#include <set>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/settings_file.h"
#include "platform/ini_file.h"
#include "support/as_nobody.h"
#include "support/temp_dir.h"

using namespace engine;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class SettingsFileTest : public ::testing::Test
{
protected:
    std::string programDir() const { return dir.enginePath() + "\\"; }
    std::filesystem::path configPath() const { return dir.path() / "config.ini"; }

    TempDir dir;
};

TEST_F(SettingsFileTest, FirstStartGivesEveryDefaultAndCreatesNoFile)
{
    const LoadedSettings loaded = loadSettings(programDir());
    EXPECT_FALSE(loaded.error);
    const Settings& s = loaded.settings;
    EXPECT_EQ(s.updatepath, kDefaultUpdatePage);
    EXPECT_TRUE(s.updatepath.starts_with("http://"));
    EXPECT_TRUE(s.updatepath.ends_with("/download/update/"));
    EXPECT_EQ(s.kvopath, "");
    EXPECT_EQ(s.archpath, programDir() + "basa");
    EXPECT_EQ(s.unpackline, "");
    EXPECT_FALSE(s.unpack);
    EXPECT_TRUE(s.nasty);
    EXPECT_TRUE(s.risk);
    EXPECT_FALSE(s.proxy);
    EXPECT_EQ(s.proxy_username, "user");
    EXPECT_EQ(s.proxy_server, "server");
    EXPECT_EQ(s.proxy_port, 0);
    EXPECT_EQ(s.proxy_pwd, "");
    EXPECT_FALSE(std::filesystem::exists(configPath()));
}

TEST_F(SettingsFileTest, SaveAndLoadRoundTripEveryField)
{
    Settings s;
    s.updatepath = "http://mirror.example:8080/upd/";
    s.kvopath = "C:\\AV\\";
    s.archpath = "D:\\arch\\\\";
    s.unpackline = "pkunzip -o";
    s.unpack = true;
    s.nasty = false;
    s.risk = false;
    s.proxy = true;
    s.proxy_username = "\xC8\xE2\xE0\xED"; // Cyrillic, CP1251
    s.proxy_server = "proxy.example";
    s.proxy_port = 3128;
    s.proxy_pwd = "p@ss w0rd \"quoted\" \\";

    saveSettings(programDir(), s);
    // One trailing backslash is stripped, in the record as well.
    EXPECT_EQ(s.kvopath, "C:\\AV");
    EXPECT_EQ(s.archpath, "D:\\arch\\");

    const LoadedSettings loaded = loadSettings(programDir());
    EXPECT_FALSE(loaded.error);
    EXPECT_EQ(loaded.settings, s);
}

TEST_F(SettingsFileTest, WritesTheKeysInOrderAndFlagsAsDigits)
{
    Settings s = defaultSettings(programDir());
    s.kvopath = "";
    s.archpath = "";
    saveSettings(programDir(), s);
    EXPECT_EQ(readFile(configPath()), std::string("[MAIN]\n") +
                                          "updatepath=" + std::string(kDefaultUpdatePage) +
                                          "\n"
                                          "kvopath=\n"
                                          "archpath=\n"
                                          "unpackline=\n"
                                          "unpack=0\n"
                                          "nasty=1\n"
                                          "risk=1\n"
                                          "proxy=0\n"
                                          "proxy_username=user\n"
                                          "proxy_server=server\n"
                                          "proxy_port=0\n"
                                          "proxy_pwd=\n");
}

TEST_F(SettingsFileTest, SaveKeepsForeignKeysAndSections)
{
    writeFile(configPath(), "; written by hand\r\n[MAIN]\r\nproxy_port=1\r\nmine=kept\r\n"
                            "[OTHER]\r\nupdatepath=not ours\r\n");
    Settings s = defaultSettings(programDir());
    s.proxy_port = 8080;
    saveSettings(programDir(), s);

    const std::string saved = readFile(configPath());
    EXPECT_TRUE(
        saved.starts_with("; written by hand\r\n[MAIN]\r\nproxy_port=8080\r\nmine=kept\r\n"))
        << saved;
    EXPECT_TRUE(saved.ends_with("[OTHER]\r\nupdatepath=not ours\r\n")) << saved;
    EXPECT_EQ(saved.find('\n') - 1, saved.find('\r')); // CRLF kept
}

TEST_F(SettingsFileTest, ReadsValuesByTheProfileRules)
{
    writeFile(configPath(), "[MAIN]\n"
                            "unpack=yes\n"
                            "nasty=2\n"
                            "risk=0\n"
                            "proxy_port=0x50\n"
                            "kvopath=  \"C:\\Kavor\\\"  \n"
                            "archpath=C:\\arch\\\n");
    const Settings s = loadSettings(programDir()).settings;
    EXPECT_FALSE(s.unpack); // not a number: the default
    EXPECT_TRUE(s.nasty);
    EXPECT_FALSE(s.risk);
    EXPECT_EQ(s.proxy_port, 80);
    EXPECT_EQ(s.kvopath, "C:\\Kavor\\"); // quotes and blanks go, the backslash stays on load
    EXPECT_EQ(s.archpath, "C:\\arch\\");
}

TEST_F(SettingsFileTest, BadStoredPasswordIsReportedAndEverythingElseLoads)
{
    writeFile(configPath(),
              "[MAIN]\nproxy_server=p.example\nproxy_port=81\nproxy_pwd=99107x105910aSRQD\n");
    const LoadedSettings loaded = loadSettings(programDir());
    ASSERT_TRUE(loaded.error);
    EXPECT_EQ(*loaded.error, "'01x7' is not a valid integer value");
    EXPECT_EQ(loaded.settings.proxy_pwd, "");
    EXPECT_EQ(loaded.settings.proxy_server, "p.example");
    EXPECT_EQ(loaded.settings.proxy_port, 81);
}

TEST_F(SettingsFileTest, PrintablePasswordsSurviveTheFile)
{
    std::string printable;
    for (char c = ' '; c <= '~'; ++c)
        printable += c;
    for (const std::string& password :
         {printable, std::string(" leading"), std::string("trailing "), std::string("\"q\""),
          std::string("x")}) {
        Settings s = defaultSettings(programDir());
        s.proxy_pwd = password;
        saveSettings(programDir(), s);
        EXPECT_EQ(loadSettings(programDir()).settings.proxy_pwd, password);
    }
}

TEST_F(SettingsFileTest, TwoSavesOfOnePasswordNormallyDiffer)
{
    Settings s = defaultSettings(programDir());
    s.proxy_pwd = "secret";
    std::set<std::string> stored;
    for (int i = 0; i < 5; ++i) {
        saveSettings(programDir(), s);
        stored.insert(readFile(configPath()));
    }
    EXPECT_GT(stored.size(), 1u);
}

TEST_F(SettingsFileTest, UnwritableConfigIsReportedWithItsPath)
{
    const std::string missingDir = dir.enginePath() + "\\absent\\";
    Settings s = defaultSettings(missingDir);
    s.kvopath = "X\\";
    try {
        saveSettings(missingDir, s);
        FAIL() << "no exception";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + missingDir + "config.ini");
    }
    EXPECT_EQ(s.kvopath, "X"); // the record keeps the new values
}

// A config.ini the user made read-only, or one in a read-only directory, is not written; for
// root permissions mean nothing, so the save runs as nobody.
TEST_F(SettingsFileTest, ReadOnlyConfigIsReportedAndLeftAsItWas)
{
    namespace fs = std::filesystem;
    const fs::perms readable =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms traversable =
        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    writeFile(configPath(), "[MAIN]\nkvopath=C:\\OLD\n");
    for (const bool readOnlyDirectory : {false, true}) {
        SCOPED_TRACE(readOnlyDirectory ? "read-only directory" : "read-only file");
        const fs::perms writable =
            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        fs::permissions(configPath(), readOnlyDirectory ? readable | writable : readable);
        fs::permissions(dir.path(), readOnlyDirectory ? readable | traversable : fs::perms::all);
        const auto outcome = testing_support::runAsNobody([this] {
            Settings s = defaultSettings(programDir());
            s.kvopath = "C:\\NEW";
            try {
                saveSettings(programDir(), s);
                return std::string("saved");
            } catch (const SettingsWriteError& e) {
                return std::string(e.what());
            }
        });
        if (!outcome)
            GTEST_SKIP() << "root cannot be given up here";
        EXPECT_EQ(*outcome, "Unable to write to " + programDir() + "config.ini");
        EXPECT_EQ(readFile(configPath()), "[MAIN]\nkvopath=C:\\OLD\n");
    }
}

std::filesystem::perms permissionsOf(const std::filesystem::path& path)
{
    return std::filesystem::status(path).permissions();
}

// The options dialog's save must not undo an administrator's chmod, nor leave a new file that
// holds the (trivially unscrambled) proxy password readable by every local user.
TEST_F(SettingsFileTest, SavingKeepsTheFilesProtectionAndANewFileWithAPasswordIsPrivate)
{
    namespace fs = std::filesystem;
    writeFile(configPath(), "[MAIN]\nproxy_pwd=\n");
    fs::permissions(configPath(), fs::perms::owner_read | fs::perms::owner_write);
    Settings s = defaultSettings(programDir());
    s.proxy_pwd = "secret";
    saveSettings(programDir(), s);
    EXPECT_EQ(permissionsOf(configPath()), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(loadSettings(programDir()).settings.proxy_pwd, "secret");

    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct Case
    {
        const char* password;
        fs::perms expected;
    };
    for (const Case& c : {Case{"", static_cast<fs::perms>(0666 & ~mask)},
                          Case{"secret", fs::perms::owner_read | fs::perms::owner_write}}) {
        fs::remove(configPath());
        s.proxy_pwd = c.password;
        saveSettings(programDir(), s);
        EXPECT_EQ(permissionsOf(configPath()), c.expected) << "password: " << c.password;
    }
}

TEST_F(SettingsFileTest, ALinkedConfigIsSavedWhereTheLinkLeads)
{
    namespace fs = std::filesystem;
    TempDir etc;
    writeFile(etc.path() / "kavor.ini", "; kept\n[MAIN]\nkvopath=/old\n");
    fs::create_symlink(etc.path() / "kavor.ini", configPath());
    Settings s = loadSettings(programDir()).settings;
    EXPECT_EQ(s.kvopath, "/old");
    s.kvopath = "/new";
    saveSettings(programDir(), s);
    EXPECT_TRUE(fs::is_symlink(configPath()));
    EXPECT_TRUE(readFile(etc.path() / "kavor.ini").starts_with("; kept\n[MAIN]\nkvopath=/new\n"));
    EXPECT_EQ(loadSettings(programDir()).settings.kvopath, "/new");
}

// Whatever "config.ini" holds, the program starts: what cannot be read takes its default.
TEST_F(SettingsFileTest, WhatCannotBeReadTakesItsDefault)
{
    using namespace std::string_literals;
    std::string filler;
    while (filler.size() <= platform::IniFile::kMaxReadBytes)
        filler += "; " + std::string(1000, '-') + "\n";
    struct Case
    {
        const char* name;
        std::string contents;
        std::function<void(Settings&)> readable; // what differs from the defaults
        bool passwordError;
    };
    const Case cases[] = {
        {"binary noise around the section",
         "\0\xFF\xFE\r\n\x01=\x02\n[MAIN]\n\x7F\x80\nproxy_port=81\n\xFF\xFF"s,
         [](Settings& s) { s.proxy_port = 81; }, false},
        {"lines without an equals sign", "[MAIN]\nupdatepath\nkvopath=C:\\AV\nnasty\n"s,
         [](Settings& s) { s.kvopath = "C:\\AV"; }, false},
        {"a value with a NUL byte", "[MAIN]\nupdatepath=http://h/\0junk\nunpack=1\0\n"s,
         [](Settings& s) {
             s.updatepath = "http://h/";
             s.unpack = true;
         },
         false},
        {"keys beyond the first megabyte", "[MAIN]\nkvopath=C:\\AV\n" + filler + "proxy_port=81\n",
         [](Settings& s) { s.kvopath = "C:\\AV"; }, false},
        {"a stored password of control bytes", "[MAIN]\nproxy_port=81\nproxy_pwd=\x01\x02\n"s,
         [](Settings& s) { s.proxy_port = 81; }, true},
        {"a stored password shorter than it announces", "[MAIN]\nproxy_pwd=12Z\n"s,
         [](Settings&) {}, true},
        {"a stored password cut at a NUL byte",
         "[MAIN]\nproxy_pwd=9910\0"
         "7910aSRQD\n"s,
         [](Settings&) {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(configPath(), c.contents);
        const LoadedSettings loaded = loadSettings(programDir());
        Settings expected = defaultSettings(programDir());
        c.readable(expected);
        EXPECT_TRUE(loaded.settings == expected);
        EXPECT_EQ(loaded.error.has_value(), c.passwordError);
    }

    // A "file" that never ends.
    std::filesystem::remove(configPath());
    std::filesystem::create_symlink("/dev/zero", configPath());
    const LoadedSettings endless = loadSettings(programDir());
    EXPECT_TRUE(endless.settings == defaultSettings(programDir()));
    EXPECT_FALSE(endless.error);
}

} // namespace
