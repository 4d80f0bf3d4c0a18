#include <set>

#include <gtest/gtest.h>

#include "engine/settings_file.h"
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

} // namespace
