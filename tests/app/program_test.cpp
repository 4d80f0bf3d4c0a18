#include <algorithm>
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
    std::string output;   // what it wrote to standard output
    std::string errors;   // what it wrote to standard error
    bool isolated = true; // false: a network namespace was asked for and refused
};

// The program running as a child of the test, without any display, its standard output and
// error read by the test. With isolateNetwork it runs in a network namespace of its own, where
// no address at all (loopback included) is reachable and no name can be resolved. The child is
// killed if the test lets go of it early.
class ProgramProcess
{
public:
    ProgramProcess(const fs::path& program, const std::vector<std::string>& arguments,
                   const fs::path& workingDirectory, bool isolateNetwork = false)
        : m_isolateNetwork(isolateNetwork)
    {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            throw std::runtime_error("pipe() failed");
        m_child = fork();
        if (m_child == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            for (const int fd : {out[0], out[1], err[0], err[1]})
                close(fd);
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
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~ProgramProcess()
    {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            wait();
        }
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // Reads the program's output until it holds needle; false when the program ended first or
    // the time limit passed.
    bool waitForOutput(std::string_view needle)
    {
        while (m_result.output.find(needle) == std::string::npos) {
            if (!readSome())
                return false;
        }
        return true;
    }

    void killNow() { kill(m_child, SIGKILL); }

    // Reads everything the program writes, then waits for its end.
    ProgramResult wait()
    {
        while (readSome()) {
        }
        for (const int fd : {m_out, m_err}) {
            if (fd >= 0)
                close(fd);
        }
        m_out = m_err = -1;
        int status = 0;
        waitpid(m_child, &status, 0);
        m_child = -1;
        m_result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        m_result.isolated = !(m_isolateNetwork && m_result.status == kCannotIsolate);
        return m_result;
    }

private:
    // One read from whichever stream has something; false once both are at their end.
    bool readSome()
    {
        pollfd streams[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (m_out < 0 && m_err < 0)
            return false;
        if (poll(streams, 2, kTimeLimitMs) <= 0) {
            ADD_FAILURE() << "the program did not end in time";
            kill(m_child, SIGKILL);
            return false;
        }
        std::string* const targets[2] = {&m_result.output, &m_result.errors};
        int* const fds[2] = {&m_out, &m_err};
        for (int i = 0; i < 2; ++i) {
            if (!(streams[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t got = read(*fds[i], buffer, sizeof buffer);
            if (got <= 0) {
                close(*fds[i]);
                *fds[i] = -1;
            } else {
                targets[i]->append(buffer, static_cast<std::size_t>(got));
            }
        }
        return true;
    }

    bool m_isolateNetwork;
    pid_t m_child = -1;
    int m_out = -1;
    int m_err = -1;
    ProgramResult m_result;
};

ProgramResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                         const fs::path& workingDirectory, bool isolateNetwork = false)
{
    ProgramProcess process(program, arguments, workingDirectory, isolateNetwork);
    return process.wait();
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

// The page cannot be fetched: status 2, and the log on standard output says why.
TEST_F(ProgramTest, BothSpellingsOfTheSilentRunReportAnUnreachablePageAndLeaveTheSettingsAlone)
{
    const std::string page = unreachablePage();
    const std::string ini = "[MAIN]\nupdatepath=" + page + "\n";
    writeFile(programDirectory() / "config.ini", ini);
    for (const char* option : {"-U", "-u"}) {
        const ProgramResult result = runProgram(program(), {option, "ignored"}, elsewhere());
        EXPECT_EQ(result.status, 2) << option;
        EXPECT_EQ(result.errors, "") << option;
        EXPECT_EQ(result.output, "Попытка соединения с " + page +
                                     " ...\nСоединение не установлено...\n"
                                     "      Socket Error # 10061 Connection refused.\n");
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
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "kavor-updater: '01x7' is not a valid integer value\n");
}

TEST_F(ProgramTest, AFirstStartWithoutSettingsCreatesNoConfigFile)
{
    // The default update page is on the vendor's host: run where no network is reachable.
    const ProgramResult result = runProgram(program(), {"-u"}, elsewhere(), true);
    if (!result.isolated)
        GTEST_SKIP() << "this system refuses a network namespace of our own";
    EXPECT_EQ(result.status, 2) << result.errors;
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

    // One selected file is missing: status 3, and the log says which and why.
    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.errors, "");
    EXPECT_NE(result.output.find("Забираем файл MISSING.ZIP ...\n      Неудача!\n"
                                 "      404 Not Found\nЗабираем файл BASE001.ZIP ...\n"),
              std::string::npos)
        << result.output;
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
    m_site.writePage({"DAILY", "BASE001", "BASE002"});
    fs::create_directory(basa());
    writeConfig(basa(), true);

    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_TRUE(result.output.ends_with("DAILY.ZIP - удачно распакован!\n")) << result.output;
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

// Bytes that deflate cannot shrink, so an archive of them is as large as they are.
std::string incompressible(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

// Nothing needs updating: still a success.
TEST_F(ProgramUpdateTest, ARunWithNothingToFetchEndsWithZero)
{
    m_site.addArchive("BASE002", "installed already");
    m_site.writePage({"BASE002"});
    fs::create_directory(basa());
    writeConfig(basa(), true);
    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("Файлов для обновления: 0\n"), std::string::npos) << result.output;
}

// An archive that does not unpack counts as a file that failed.
TEST_F(ProgramUpdateTest, AnArchiveThatDoesNotUnpackEndsWithThree)
{
    fs::create_directories(m_site.server().docroot() / "update");
    writeFile(m_site.server().docroot() / "update" / "DAILY.ZIP", "<html>not an archive</html>");
    m_site.writePage({"DAILY"});
    fs::create_directory(basa());
    writeConfig(basa(), true);
    const ProgramResult result = runProgram(program(), {"-U"}, elsewhere());
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(result.output.ends_with("DAILY.ZIP - Файл не найден или это не zip-архив!\n"))
        << result.output;
}

// A scheduled run that starts while another one is at work: it ends at once with status 4,
// without a request, and the first run is not disturbed.
TEST_F(ProgramUpdateTest, ASecondRunWhileTheFirstHoldsTheArchiveDirectoryEndsWithFour)
{
    m_site.addArchive("DAILY", incompressible(24 * 1024)); // three seconds at 8 KB/s
    m_site.writePage({"DAILY"}, "/slow/update/");
    fs::create_directory(basa());
    writeConfig(basa(), false);

    ProgramProcess first(program(), {"-U"}, elsewhere());
    ASSERT_TRUE(first.waitForOutput("Забираем файл DAILY.ZIP ...\n"));
    const ProgramResult second = runProgram(program(), {"-u"}, elsewhere());
    const ProgramResult firstResult = first.wait();

    EXPECT_EQ(second.status, 4);
    EXPECT_EQ(second.output,
              "Обновление уже выполняется: каталог архивов занят другим запуском.\n");
    EXPECT_EQ(firstResult.status, 0) << firstResult.output;
    EXPECT_TRUE(fs::exists(basa() / "DAILY.ZIP"));
    const std::string log = m_site.server().accessLog();
    EXPECT_EQ(log.find("GET /update/ "), log.rfind("GET /update/ ")) << "one page request: " << log;
}

// A run killed in the middle of a download blocks nothing: the next run takes the lock,
// removes what the killed one left half-written, and leaves only the real archives.
TEST_F(ProgramUpdateTest, AfterARunKilledMidDownloadTheNextOneSucceeds)
{
    const std::string daily = m_site.addArchive("DAILY", incompressible(64 * 1024));
    m_site.writePage({"DAILY"}, "/slow/update/");
    fs::create_directory(basa());
    writeConfig(basa(), true);
    writeFile(basa() / "DAILY.ZIP.kavor-tmp-4242-0", "what an earlier killed run left");
    {
        ProgramProcess first(program(), {"-U"}, elsewhere());
        ASSERT_TRUE(first.waitForOutput("Забираем файл DAILY.ZIP ...\n"));
        first.killNow();
        EXPECT_EQ(first.wait().status, 128 + SIGKILL);
    }
    m_site.writePage({"DAILY"});
    const ProgramResult next = runProgram(program(), {"-U"}, elsewhere());

    EXPECT_EQ(next.status, 0) << next.output;
    EXPECT_EQ(readFile(basa() / "DAILY.ZIP"), daily);
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(basa()))
        entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"DAILY.ZIP", "kavor-updater.lock"}));
}

} // namespace
