#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/window_display.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::NginxServer;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

TEST(CommandLineTest, OnlyTheWholeFirstArgumentChoosesTheCommand)
{
    using app::Command;
    const struct
    {
        std::vector<const char*> arguments;
        Command command;
    } cases[] = {
        {{}, Command::Window},
        {{"-U"}, Command::Silent},
        {{"-u", "--help"}, Command::Silent},
        {{"--help"}, Command::Help},
        {{"--help", "-U"}, Command::Help},
        {{"--version"}, Command::Version},
        {{"-h"}, Command::Window},
        {{"--HELP"}, Command::Window},
        {{"-help"}, Command::Window},
        {{"--help "}, Command::Window},
        {{"--versions"}, Command::Window},
        {{"-x", "--help"}, Command::Window},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"kavor-updater"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        argv.push_back(nullptr);
        EXPECT_EQ(app::commandOf(static_cast<int>(argv.size()) - 1, argv.data()), c.command)
            << (c.arguments.empty() ? "(none)" : c.arguments.front());
    }
}

TEST(CommandLineTest, TheWindowNeedsADisplayOrAPlatformNamedOutright)
{
    const struct
    {
        const char* qtPlatform;
        const char* display;
        const char* wayland;
        bool named;
    } cases[] = {
        {nullptr, nullptr, nullptr, false},    {"", "", "", false},
        {nullptr, ":0", nullptr, true},        {nullptr, nullptr, "wayland-0", true},
        {"offscreen", nullptr, nullptr, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::windowDisplayNamed(c.qtPlatform, c.display, c.wayland), c.named)
            << (c.qtPlatform ? c.qtPlatform : "-") << " " << (c.display ? c.display : "-");
}

struct Outcome
{
    int status = -1; // exit status; 128 + signal number for a program killed by a signal
    std::string output;
    std::string errors;
};

// The real program, copied into a directory of its own and started from another one, with no
// display in its environment unless one is given.
class ProgramCommandLineTest : public ::testing::Test
{
protected:
    ProgramCommandLineTest()
    {
        fs::create_directory(programDirectory());
        fs::create_directory(elsewhere());
        fs::copy_file(KAVOR_UPDATER_EXE, programDirectory() / "kavor-updater");
    }

    fs::path programDirectory() const { return m_dir.path() / "program"; }
    fs::path elsewhere() const { return m_dir.path() / "elsewhere"; }

    Outcome run(const std::vector<std::string>& arguments, const std::string& display = "")
    {
        std::string command = "cd '" + elsewhere().string() +
                              "' && ulimit -c 0 && env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u "
                              "DISPLAY " +
                              (display.empty() ? "" : "DISPLAY=" + display + " ") + "'" +
                              (programDirectory() / "kavor-updater").string() + "'";
        for (const std::string& argument : arguments)
            command += " '" + argument + "'";
        command += " >'" + (m_dir.path() / "out").string() + "' 2>'" +
                   (m_dir.path() / "err").string() + "'";
        const int status = std::system(command.c_str());
        Outcome outcome;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.output = readFile(m_dir.path() / "out");
        outcome.errors = readFile(m_dir.path() / "err");
        return outcome;
    }

    TempDir m_dir;
};

TEST_F(ProgramCommandLineTest, HelpAndVersionPrintAndEndWithoutARunOrADisplay)
{
    NginxServer server;
    const std::string config = "[MAIN]\nupdatepath=" + server.url("/update/") +
                               "\narchpath=" + (programDirectory() / "basa").string() + "\n";
    writeFile(programDirectory() / "config.ini", config);

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"--help", "-U"}}) {
        const Outcome help = run(arguments);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.errors, "");
        // Where the settings are, for this copy of the program, and how to run without a window.
        EXPECT_NE(help.output.find((programDirectory() / "config.ini").string()), std::string::npos)
            << help.output;
        EXPECT_NE(help.output.find("-U"), std::string::npos);
        for (const char* status : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 "})
            EXPECT_NE(help.output.find(status), std::string::npos) << "exit status" << status;
    }

    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.errors, "");
    EXPECT_EQ(version.output, "kavor-updater " KAVOR_PROJECT_VERSION "\n");

    EXPECT_EQ(server.accessLog(), "") << "no update run";
    EXPECT_FALSE(fs::exists(programDirectory() / "basa"));
    EXPECT_EQ(readFile(programDirectory() / "config.ini"), config);
}

TEST_F(ProgramCommandLineTest, AWindowWithoutADisplaySaysSoInOneLineAndEndsWithoutACoreDump)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"-h"}, {"--HELP"}}) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, app::kNoDisplayStatus);
        EXPECT_EQ(outcome.errors, app::noDisplayMessage());
        EXPECT_EQ(outcome.output, "");
    }
    // A display that is named but cannot be reached: Qt gives up, and the program says why.
    const Outcome unreachable = run({}, ":4242");
    EXPECT_EQ(unreachable.status, app::kNoDisplayStatus) << unreachable.errors;
    EXPECT_TRUE(unreachable.errors.ends_with(app::noDisplayMessage())) << unreachable.errors;
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere()), {}), 0) << "a core file";
}

} // namespace
