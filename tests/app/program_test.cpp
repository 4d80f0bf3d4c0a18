#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/window_display.h"
#include "qt_test_support.h"
#include "sample_update_site.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::freeLoopbackPort;
using testing_support::readFile;
using testing_support::SampleUpdateSite;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

constexpr int kCannotIsolate = 125;
constexpr int kTimeLimitMs = 60000;

struct ProgramResult
{
    int status = -1;      // exit status, or 128 + signal number
    std::string errors;   // what it wrote to standard error
    bool isolated = true; // false: a network namespace was asked for and refused
};

// Runs program with arguments from workingDirectory, without any display. With isolateNetwork
// it runs in a network namespace of its own, where no address at all (loopback included) is
// reachable and no name can be resolved.
ProgramResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                         const fs::path& workingDirectory, bool isolateNetwork = false)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        throw std::runtime_error("pipe() failed");
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            unsetenv(name);
        if (isolateNetwork && unshare(CLONE_NEWNET) != 0)
            _exit(kCannotIsolate);
        if (chdir(workingDirectory.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    ProgramResult result;
    pollfd readable{pipeEnds[0], POLLIN, 0};
    char buffer[4096];
    while (true) {
        if (poll(&readable, 1, kTimeLimitMs) <= 0) {
            ADD_FAILURE() << "the program did not end in time";
            kill(child, SIGKILL);
            break;
        }
        const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        result.errors.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.isolated = !(isolateNetwork && result.status == kCannotIsolate);
    return result;
}

// A copy of the program in a directory of its own, run from another directory.
class ProgramTest : public ::testing::Test
{
protected:
    ProgramTest()
    {
        fs::create_directory(programDirectory());
        fs::create_directory(elsewhere());
        fs::copy_file(KAVOR_UPDATER_EXE, program());
    }

    fs::path programDirectory() const { return m_dir.path() / "program"; }
    fs::path program() const { return programDirectory() / "kavor-updater"; }
    fs::path elsewhere() const { return m_dir.path() / "elsewhere"; }

    static std::string unreachablePage()
    {
        return "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/update/";
    }

    TempDir m_dir;
};

TEST_F(ProgramTest, BothSpellingsOfTheSilentRunEndWithZeroAndLeaveTheSettingsAlone)
{
    const std::string ini = "[MAIN]\nupdatepath=" + unreachablePage() + "\n";
    writeFile(programDirectory() / "config.ini", ini);
    for (const char* option : {"-U", "-u"}) {
        const ProgramResult result = runProgram(program(), {option, "ignored"}, elsewhere());
        EXPECT_EQ(result.status, 0) << option;
        EXPECT_EQ(result.errors, "") << option;
        EXPECT_EQ(readFile(programDirectory() / "config.ini"), ini);
    }
}

TEST_F(ProgramTest, TheSettingsAreReadBesideTheProgramNotInTheWorkingDirectory)
{
    writeFile(programDirectory() / "config.ini",
              "[MAIN]\nupdatepath=" + unreachablePage() + "\nproxy_pwd=99107x105910aSRQD\n");
    writeFile(elsewhere() / "config.ini",
              "[MAIN]\nupdatepath=" + unreachablePage() + "\nproxy_pwd=RQD\n");
    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "kavor-updater: '01x7' is not a valid integer value\n");
}

TEST_F(ProgramTest, AFirstStartWithoutSettingsCreatesNoConfigFile)
{
    // The default update page is on the vendor's host: run where no network is reachable.
    const ProgramResult result = runProgram(program(), {"-u"}, elsewhere(), true);
    if (!result.isolated)
        GTEST_SKIP() << "this system refuses a network namespace of our own";
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_FALSE(fs::exists(programDirectory() / "config.ini"));
    EXPECT_FALSE(fs::exists(elsewhere() / "config.ini"));
}

TEST_F(ProgramTest, AnyOtherFirstArgumentAsksForTheWindow)
{
    // Without a display the window cannot open, which tells the two modes apart.
    writeFile(programDirectory() / "config.ini", "[MAIN]\nupdatepath=" + unreachablePage() + "\n");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"/u"}, {"-x", "-u"}, {"--u"}, {}}) {
        const ProgramResult result = runProgram(program(), arguments, elsewhere());
        EXPECT_EQ(result.status, app::kNoDisplayStatus)
            << (arguments.empty() ? "(none)" : arguments.front());
        EXPECT_EQ(result.errors, app::noDisplayMessage());
    }
}

// The silent run against a real web server: a program directory with its Kavor and archive
// directories and a config.ini that points at the sample site.
class ProgramUpdateTest : public ProgramTest
{
protected:
    ProgramUpdateTest()
    {
        fs::create_directory(kavor());
        writeFile(kavor() / "base002.vdb", "installed already");
    }

    fs::path kavor() const { return programDirectory() / "kavor"; }
    fs::path basa() const { return programDirectory() / "basa"; }

    void writeConfig(const fs::path& archiveDirectory, bool unpack)
    {
        writeFile(programDirectory() / "config.ini", "[MAIN]\nupdatepath=" + m_site.pageUrl() +
                                                         "\nkvopath=" + kavor().string() +
                                                         "\narchpath=" + archiveDirectory.string() +
                                                         "\nunpack=" + (unpack ? "1" : "0") + "\n");
    }

    SampleUpdateSite m_site;
};

TEST_F(ProgramUpdateTest, TheSilentRunFetchesTheArchivesTheInstallationNeeds)
{
    const std::string daily = m_site.addArchive("DAILY", "daily signatures");
    const std::string base001 = m_site.addArchive("BASE001", "base signatures");
    m_site.addArchive("BASE002", "already installed");
    m_site.addArchive("KAVOR32", "the program itself");
    m_site.writePage({"DAILY", "MISSING", "BASE001", "BASE002", "KAVOR32"});
    fs::create_directory(basa());
    writeConfig(basa(), false);

    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(readFile(basa() / "DAILY.ZIP"), daily);
    EXPECT_EQ(readFile(basa() / "BASE001.ZIP"), base001);
    for (const char* skipped : {"MISSING.ZIP", "BASE002.ZIP", "KAVOR32.ZIP"})
        EXPECT_FALSE(fs::exists(basa() / skipped)) << skipped;
    EXPECT_FALSE(fs::exists(kavor() / "daily.vdb")) << "unpacking is off";
}

TEST_F(ProgramUpdateTest, TheSilentRunUnpacksWhatItFetchedIntoTheKavorDirectory)
{
    m_site.addArchive("DAILY", "daily signatures");
    m_site.addArchive("BASE001", "base signatures");
    m_site.addArchive("BASE002", "not wanted: installed already");
    m_site.writePage({"DAILY", "MISSING", "BASE001", "BASE002"});
    fs::create_directory(basa());
    writeConfig(basa(), true);

    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(readFile(kavor() / "daily.vdb"), "daily signatures");
    EXPECT_EQ(readFile(kavor() / "base001.vdb"), "base signatures");
    EXPECT_EQ(readFile(kavor() / "base002.vdb"), "installed already");
    EXPECT_FALSE(fs::exists(kavor() / "missing.vdb"));
}

TEST_F(ProgramUpdateTest, AMissingArchiveDirectoryEndsTheRunAtTheFirstFileWithStatusOne)
{
    m_site.addArchive("DAILY", "daily signatures");
    m_site.addArchive("BASE001", "base signatures");
    m_site.writePage({"DAILY", "BASE001"});
    writeConfig(basa(), true); // never created

    const ProgramResult result = runProgram(program(), {"-u"}, elsewhere());
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.errors.starts_with("kavor-updater: ")) << result.errors;
    EXPECT_NE(result.errors.find("DAILY.ZIP"), std::string::npos) << result.errors;
    EXPECT_FALSE(fs::exists(basa()));
    EXPECT_FALSE(fs::exists(kavor() / "daily.vdb"));
    EXPECT_TRUE(m_site.server().waitForAccessLog("DAILY.ZIP"));
    EXPECT_EQ(m_site.server().accessLog().find("BASE001.ZIP"), std::string::npos)
        << "no file is fetched after the one that could not be written";
}

} // namespace
