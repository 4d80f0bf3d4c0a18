#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "sample_update_site.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::SampleUpdateSite;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

struct Outcome
{
    int status = -1;
    std::string output; // standard output and standard error together
};

// Runs a shell command with no display in its environment.
Outcome shell(const std::string& command)
{
    const std::string full =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM sh -c '" + command + "' 2>&1";
    Outcome outcome;
    std::FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe)
        return outcome;
    std::array<char, 4096> buffer;
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        outcome.output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// A path in double quotes, for the commands that shell() runs inside single quotes.
std::string quoted(const fs::path& path)
{
    return "\"" + path.string() + "\"";
}

bool toolExists(const std::string& name)
{
    return shell("command -v " + name + " >/dev/null").status == 0;
}

// The package, made once for all the tests of this file.
struct BuiltPackage
{
    TempDir dir;
    fs::path deb;
    std::string failure;
};

class PackageTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_package = std::make_unique<BuiltPackage>();
        const Outcome made = shell(std::string(KAVOR_CPACK) + " -G DEB --config " +
                                   KAVOR_CPACK_CONFIG + " -B " + quoted(s_package->dir.path()));
        const std::string architecture = shell("dpkg --print-architecture").output;
        s_package->deb =
            s_package->dir.path() / ("kavor-updater_" KAVOR_PROJECT_VERSION "_" +
                                     architecture.substr(0, architecture.find('\n')) + ".deb");
        if (made.status != 0 || !fs::exists(s_package->deb))
            s_package->failure = "cpack made no " + s_package->deb.string() + ":\n" + made.output;
    }
    static void TearDownTestSuite() { s_package.reset(); }

    void SetUp() override
    {
        ASSERT_EQ(s_package->failure, "");
        const Outcome unpacked = shell("dpkg-deb -x " + quoted(deb()) + " " + quoted(root()));
        ASSERT_EQ(unpacked.status, 0) << unpacked.output;
    }

    static const fs::path& deb() { return s_package->deb; }
    // Where this test unpacked the package.
    fs::path root() const { return m_dir.path() / "root"; }
    // An absolute path of the installation, inside the unpacked root.
    fs::path installed(const fs::path& path) const { return root() / path.relative_path(); }
    fs::path programDir() const { return installed(KAVOR_PROGRAM_DIR); }

    static std::unique_ptr<BuiltPackage> s_package;
    TempDir m_dir;
};

std::unique_ptr<BuiltPackage> PackageTest::s_package;

// nginx on 127.0.0.1 with nothing but the server block of a file the package ships, moved to a
// free port and with the program directory moved to where the test unpacked it.
class ShippedNginxSite : public testing_support::ServerProcess
{
public:
    ShippedNginxSite(const fs::path& serverBlock, const std::string& programDir)
    {
        const fs::path run = runDirectory();
        fs::create_directories(run / "tmp");
        const std::string block = readFile(serverBlock);
        startWithRetries("nginx", [&] {
            const std::uint16_t port = testing_support::freeLoopbackPort();
            std::string site = block;
            replace(site, "listen 8080;", "listen 127.0.0.1:" + std::to_string(port) + ";");
            replace(site, KAVOR_PROGRAM_DIR "/", programDir + "/");
            writeFile(run / "site.conf", site);
            // The workers run as root: a test's directories are private to it.
            writeFile(run / "nginx.conf",
                      "user root;\nworker_processes 1;\npid " + (run / "nginx.pid").string() +
                          ";\nerror_log " + (run / "error.log").string() +
                          ";\nevents { worker_connections 64; }\nhttp {\n"
                          "    include /etc/nginx/mime.types;\n    access_log " +
                          (run / "access.log").string() + ";\n    client_body_temp_path " +
                          (run / "tmp").string() + ";\n    proxy_temp_path " +
                          (run / "tmp").string() + ";\n    include " +
                          (run / "site.conf").string() + ";\n}\n");
            fs::remove(run / "nginx.pid");
            setPort(port);
            spawn({"nginx", "-p", run.string() + "/", "-e", (run / "error.log").string(), "-c",
                   (run / "nginx.conf").string(), "-g", "daemon off;"});
            return waitUntilListening(port, std::chrono::seconds(10),
                                      [&] { return fs::exists(run / "nginx.pid"); });
        });
    }
    ~ShippedNginxSite() { stop(); }

private:
    static void replace(std::string& text, const std::string& from, const std::string& to)
    {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
};

// The width and height of a PNG file, from its IHDR chunk.
std::pair<unsigned, unsigned> pngSize(const fs::path& path)
{
    const std::string bytes = readFile(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return {0, 0};
    auto be32 = [&](std::size_t at) {
        unsigned value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    return {be32(16), be32(20)};
}

TEST_F(PackageTest, HoldsTheProgramDirectoryAndTheSystemPlacesAndStartsNothing)
{
    for (const char* program : {"kavor-updater", "kavor-unzip", "kavor-get"}) {
        struct stat st
        {};
        ASSERT_EQ(::stat((programDir() / program).c_str(), &st), 0) << program;
        EXPECT_EQ(st.st_mode & 0777, 0755u) << program;
    }
    EXPECT_TRUE(fs::is_regular_file(programDir() / "config.ini.example"));
    EXPECT_TRUE(fs::is_directory(programDir() / "basa")) << "the default archive directory";
    EXPECT_FALSE(fs::exists(programDir() / "config.ini")) << "the administrator's, not ours";
    for (const char* file :
         {"/usr/share/applications/kavor-updater.desktop", "/usr/share/man/man1/kavor-updater.1.gz",
          "/lib/systemd/system/kavor-updater.service", "/lib/systemd/system/kavor-updater.timer"})
        EXPECT_TRUE(fs::is_regular_file(installed(file))) << file;
    for (const unsigned size : {16u, 32u, 48u, 256u}) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const auto actual =
            pngSize(installed("/usr/share/icons/hicolor/" + name + "/apps/kavor-updater.png"));
        EXPECT_EQ(actual, std::make_pair(size, size)) << name;
    }

    // The dependencies come from the binaries' libraries, not from a list kept by hand.
    const std::string depends = shell("dpkg-deb -f " + quoted(deb()) + " Depends").output;
    for (const char* library : {"libc6", "libstdc++6", "libqt6widgets6", "libssl3"})
        EXPECT_NE(depends.find(library), std::string::npos) << depends;
    const Outcome fields = shell("dpkg-deb -f " + quoted(deb()) + " Package Version");
    EXPECT_EQ(fields.output, "Package: kavor-updater\nVersion: " KAVOR_PROJECT_VERSION "\n");

    const fs::path control = m_dir.path() / "control";
    ASSERT_EQ(shell("dpkg-deb -e " + quoted(deb()) + " " + quoted(control)).status, 0);
    for (const char* script : {"preinst", "postinst", "prerm", "postrm", "config"})
        EXPECT_FALSE(fs::exists(control / script)) << script;
}

TEST_F(PackageTest, TheUnpackedProgramUpdatesFromTheSampleSite)
{
    SampleUpdateSite site;
    const std::string daily = site.addArchive("DAILY", "daily signatures");
    const std::string base001 = site.addArchive("BASE001", "base signatures");
    site.addArchive("KAVOR32", "the program itself");
    site.writePage({"DAILY", "BASE001", "KAVOR32"});
    const fs::path kavor = m_dir.path() / "kavor";
    fs::create_directory(kavor);
    const fs::path basa = programDir() / "basa";
    writeFile(programDir() / "config.ini", "[MAIN]\nupdatepath=" + site.pageUrl() +
                                               "\nkvopath=" + kavor.string() +
                                               "\narchpath=" + basa.string() + "\nunpack=1\n");

    const Outcome run = shell("cd / && " + quoted(programDir() / "kavor-updater") + " -U");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readFile(basa / "DAILY.ZIP"), daily);
    EXPECT_EQ(readFile(basa / "BASE001.ZIP"), base001);
    EXPECT_FALSE(fs::exists(basa / "KAVOR32.ZIP"));
    EXPECT_EQ(readFile(kavor / "daily.vdb"), "daily signatures");
    EXPECT_EQ(readFile(kavor / "base001.vdb"), "base signatures");

    const Outcome version = shell(quoted(programDir() / "kavor-updater") + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "kavor-updater " KAVOR_PROJECT_VERSION "\n");
}

// Many machines, one fetch from the vendor: the first machine's archive directory, served as a
// listing with the example the package ships, is the update page of a second one, which gets
// the same archives byte for byte.
TEST_F(PackageTest, TheArchiveDirectoryServedAsAListingUpdatesOtherMachines)
{
    SampleUpdateSite vendor;
    vendor.addArchive("DAILY", "daily signatures");
    vendor.addArchive("BASE001", "base signatures");
    vendor.writePage({"DAILY", "BASE001"});
    const fs::path basa = programDir() / "basa";
    fs::create_directory(m_dir.path() / "kavor1");
    writeFile(programDir() / "config.ini",
              "[MAIN]\nupdatepath=" + vendor.pageUrl() + "\nkvopath=" +
                  (m_dir.path() / "kavor1").string() + "\narchpath=" + basa.string() + "\n");
    const Outcome first = shell("cd / && " + quoted(programDir() / "kavor-updater") + " -U");
    ASSERT_EQ(first.status, 0) << first.output;

    const ShippedNginxSite mirror(installed("/usr/share/doc/kavor-updater/examples/nginx-mirror.conf"),
                                  programDir().string());
    const fs::path second = m_dir.path() / "second";
    for (const char* dir : {"", "basa", "kavor"})
        fs::create_directories(second / dir);
    fs::copy_file(programDir() / "kavor-updater", second / "kavor-updater");
    writeFile(second / "config.ini", "[MAIN]\nupdatepath=" + mirror.url("/kavor/") +
                                         "\nkvopath=" + (second / "kavor").string() +
                                         "\narchpath=" + (second / "basa").string() +
                                         "\nunpack=1\n");
    const Outcome run = shell("cd / && " + quoted(second / "kavor-updater") + " -U");

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Файлов для обновления: 2\n"), std::string::npos) << run.output;
    for (const char* name : {"DAILY.ZIP", "BASE001.ZIP"})
        EXPECT_EQ(readFile(second / "basa" / name), readFile(basa / name)) << name;
    EXPECT_EQ(readFile(second / "kavor" / "daily.vdb"), "daily signatures");
    EXPECT_FALSE(fs::exists(second / "basa" / "KAVOR-UPDATER.LOCK"));
}

TEST_F(PackageTest, TheDesktopEntryValidatesAndNamesTheProgramAndItsIcon)
{
    const fs::path entry = installed("/usr/share/applications/kavor-updater.desktop");
    const std::string text = readFile(entry);
    for (const std::string line :
         {"Exec=" KAVOR_PROGRAM_DIR "/kavor-updater\n", "Icon=kavor-updater\n",
          "Categories=Utility;\n", "Name[ru]=", "Comment[ru]="})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    if (!toolExists("desktop-file-validate"))
        GTEST_SKIP() << "desktop-file-validate is not installed";
    const Outcome validated = shell("desktop-file-validate " + quoted(entry));
    EXPECT_EQ(validated.status, 0);
    EXPECT_EQ(validated.output, "");
}

TEST_F(PackageTest, TheUnitsVerifyAndTheTimerStartsTheSilentRun)
{
    const fs::path units = installed("/lib/systemd/system");
    const std::string service = readFile(units / "kavor-updater.service");
    const std::string timer = readFile(units / "kavor-updater.timer");
    EXPECT_NE(service.find("\nType=oneshot\n"), std::string::npos);
    EXPECT_NE(service.find("\nExecStart=" KAVOR_PROGRAM_DIR "/kavor-updater -U\n"),
              std::string::npos);
    EXPECT_EQ(service.find("[Install]"), std::string::npos) << "started by the timer only";
    for (const char* line : {"\nOnCalendar=*-*-* 00/4:00:00\n", "\nRandomizedDelaySec=1h\n",
                             "\nPersistent=true\n", "\nWantedBy=timers.target\n"})
        EXPECT_NE(timer.find(line), std::string::npos) << line;
    if (!toolExists("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed";
    // systemd-analyze checks that the program exists where ExecStart says, and that the man page
    // of Documentation= is found: both are looked for in the unpacked root.
    const fs::path copies = m_dir.path() / "units";
    fs::create_directory(copies);
    const std::string programDirText = KAVOR_PROGRAM_DIR;
    std::string relocated = service;
    relocated.replace(relocated.find(programDirText), programDirText.size(), programDir().string());
    writeFile(copies / "kavor-updater.service", relocated);
    writeFile(copies / "kavor-updater.timer", timer);
    const Outcome verified = shell(
        "MANPATH=" + quoted(installed("/usr/share/man")) + " systemd-analyze verify " +
        quoted(copies / "kavor-updater.service") + " " + quoted(copies / "kavor-updater.timer"));
    EXPECT_EQ(verified.status, 0);
    EXPECT_EQ(verified.output, "");
}

TEST_F(PackageTest, TheManPageRendersWithoutWarnings)
{
    if (!toolExists("man"))
        GTEST_SKIP() << "man is not installed";
    const fs::path page = installed("/usr/share/man/man1/kavor-updater.1.gz");
    const Outcome warnings = shell("MANWIDTH=80 man --warnings -l " + quoted(page) + " >/dev/null");
    EXPECT_EQ(warnings.status, 0);
    EXPECT_EQ(warnings.output, "");
    const std::string text = shell("MANWIDTH=80 man -l " + quoted(page) + " | col -b").output;
    for (const char* part : {"EXIT STATUS", "STANDARD OUTPUT", "kavor-updater.lock", "proxy_pwd",
                             "SSL_CERT_FILE", KAVOR_PROGRAM_DIR "/config.ini"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

} // namespace
