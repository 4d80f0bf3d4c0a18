#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/archive_write_error.h"
#include "engine/updater.h"
#include "platform/code_page.h"
#include "platform/directory_lock.h"
#include "run_recording.h"
#include "support/as_nobody.h"
#include "support/file_size_limit.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"

using namespace engine;
using testing_support::FaultServer;
using testing_support::makeZip;
using testing_support::NginxServer;
using testing_support::readFile;
using testing_support::RecordingSink;
using testing_support::TempDir;
using testing_support::TinyProxy;
using testing_support::writeFile;

namespace {

// Also records the progress of each download: "file/files received/total".
class ProgressSink : public RecordingSink
{
public:
    void reportProgress(std::size_t fileNumber, std::size_t fileCount, std::int64_t received,
                        std::int64_t total) override
    {
        progress.push_back(std::to_string(fileNumber) + "/" + std::to_string(fileCount) + " " +
                           std::to_string(received) + "/" + std::to_string(total));
    }
    std::vector<std::string> progress;
};

// A sink that asks the run to stop as soon as the first file has been fetched.
class StoppingSink : public RecordingSink
{
public:
    explicit StoppingSink(std::atomic<bool>& stop) : m_stop(stop) {}
    void appendLine(std::string_view line) override
    {
        RecordingSink::appendLine(line);
        if (lines.back().ends_with(" - успех."))
            m_stop = true;
    }

private:
    std::atomic<bool>& m_stop;
};

class UpdateRunTest : public ::testing::Test
{
protected:
    UpdateRunTest() : updater(programDir.enginePath() + "\\")
    {
        std::filesystem::create_directory(archive());
        std::filesystem::create_directory(kavor());
        std::filesystem::create_directories(nginx.docroot() / "upd");
        Settings s = updater.settings();
        s.updatepath = nginx.url("/upd/index.html");
        s.archpath = archive().string();
        s.kvopath = kavor().string();
        updater.setSettings(s);
    }

    std::filesystem::path archive() const { return dirs.path() / "basa"; }
    std::filesystem::path kavor() const { return dirs.path() / "kavor"; }

    // The update page, linking each name under /upd/ with an absolute URL.
    void publishPage(const std::vector<std::string>& names)
    {
        std::string page = "<html><body>\n";
        for (const std::string& name : names)
            page += "<a href=\"" + nginx.url("/upd/" + name) + "\">" + name + "</a><br>\n";
        writeFile(nginx.docroot() / "upd" / "index.html", page + "</body></html>\n");
    }

    void changeSettings(const std::function<void(Settings&)>& change)
    {
        Settings s = updater.settings();
        change(s);
        updater.setSettings(s);
    }

    void useProxy(const TinyProxy& proxy, const std::string& user, const std::string& password)
    {
        changeSettings([&](Settings& s) {
            s.proxy = true;
            s.proxy_server = "127.0.0.1";
            s.proxy_port = proxy.port();
            s.proxy_username = user;
            s.proxy_pwd = password;
        });
    }

    std::vector<std::string> expectedLinesFor(const std::vector<std::string>& afterConnect) const
    {
        std::vector<std::string> expected{"Попытка соединения с " + nginx.url("/upd/index.html") +
                                              " ...",
                                          "Соединение успешно установлено."};
        expected.insert(expected.end(), afterConnect.begin(), afterConnect.end());
        return expected;
    }

    // What a run reports when the user is not root (and file permissions apply): its log lines,
    // then "error: " and the message of an error that escaped it, if one did. Skips the test
    // when root cannot be given up.
    std::vector<std::string> runAsNobody()
    {
        namespace fs = std::filesystem;
        for (const fs::path& dir : {dirs.path(), programDir.path()})
            fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
        const auto report = testing_support::runAsNobody([this] {
            RecordingSink child;
            std::string joined;
            try {
                updater.runUpdate(child);
            } catch (const std::exception& e) {
                child.lines.push_back(std::string("error: ") + e.what());
            }
            for (const std::string& line : child.lines)
                joined += line + "\n";
            return joined;
        });
        if (!report)
            return {};
        std::vector<std::string> lines;
        std::istringstream in(*report);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // One archive of these members on the page, to be fetched and unpacked.
    void publishArchiveToUnpack(const std::string& name,
                                const std::vector<std::pair<std::string, std::string>>& members)
    {
        makeZip(nginx.docroot() / "upd" / name, members);
        publishPage({name});
        changeSettings([](Settings& s) { s.unpack = true; });
    }

    // The log of a run that fetched and unpacked the one archive of that (upper-case) name.
    std::vector<std::string> unpackedOneArchive(const std::string& name) const
    {
        return expectedLinesFor({"Файлов для обновления: 1", "Забираем файл " + name + " ...",
                                 name + " - успех.", name + " - удачно распакован!"});
    }

    std::vector<std::string> unpackingStopped(const std::string& name) const
    {
        return expectedLinesFor({"Файлов для обновления: 1", "Забираем файл " + name + " ...",
                                 name + " - успех.", name + " - Разархивация остановлена!"});
    }

    // Every entry of a directory, to show that nothing half-written stayed.
    static std::vector<std::string> entriesOf(const std::filesystem::path& dir)
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    NginxServer nginx;
    TempDir programDir;
    TempDir dirs;
    Updater updater;
    RecordingSink sink;
};

TEST_F(UpdateRunTest, RefusedPageGivesTheAttemptTheFailureAndItsCause)
{
    const std::string url =
        "http://127.0.0.1:" + std::to_string(testing_support::freeLoopbackPort()) + "/upd/";
    changeSettings([&](Settings& s) { s.updatepath = url; });
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::PageFailed);
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{
                  "<clear>", "Попытка соединения с " + url + " ...", "Соединение не установлено...",
                  "      Socket Error # 10061 Connection refused.", "<idle>"}));
}

TEST_F(UpdateRunTest, HttpErrorOnThePageEndsTheRunLikeARefusal)
{
    changeSettings([&](Settings& s) { s.updatepath = nginx.url("/upd/missing.html"); });
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::PageFailed);
    EXPECT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.lines[1], "Соединение не установлено...");
    EXPECT_EQ(sink.lines[2], "      404 Not Found");
}

TEST_F(UpdateRunTest, PageWithoutSelectableLinksReportsZeroFiles)
{
    changeSettings([](Settings& s) { s.unpack = true; });
    publishPage({"kavor32.zip", "readme.txt"});
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::Updated);
    EXPECT_EQ(sink.lines, expectedLinesFor({"Файлов для обновления: 0"}));
    EXPECT_EQ(sink.events.back(), "<idle>");
}

TEST_F(UpdateRunTest, FailedFileIsLoggedAndTheOthersAreWrittenByteForByte)
{
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>((i * 7) & 0xFF); // CR, LF and NUL bytes included
    writeFile(nginx.docroot() / "upd" / "kvo1.zip", binary);
    writeFile(nginx.docroot() / "upd" / "kvo3.zip", "third");
    writeFile(archive() / "KVO2.ZIP", "kept from an earlier run");
    publishPage({"kvo1.zip", "kvo2.zip", "kvo3.zip"});

    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::FilesFailed);

    EXPECT_EQ(sink.lines,
              expectedLinesFor({"Файлов для обновления: 3", "Забираем файл KVO1.ZIP ...",
                                "KVO1.ZIP - успех.", "Забираем файл KVO2.ZIP ...", "      Неудача!",
                                "      404 Not Found", "Забираем файл KVO3.ZIP ...",
                                "KVO3.ZIP - успех."}));
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), binary);
    EXPECT_EQ(readFile(archive() / "KVO2.ZIP"), "kept from an earlier run");
    EXPECT_EQ(readFile(archive() / "KVO3.ZIP"), "third");
    // One connection served the page and all three files.
    EXPECT_TRUE(nginx.waitForAccessLog("GET /upd/kvo3.zip"));
    EXPECT_NE(nginx.accessLog().find("n=4"), std::string::npos) << nginx.accessLog();
}

TEST_F(UpdateRunTest, InstalledDatabasesAndSettingsDecideWhatIsFetched)
{
    writeFile(kavor() / "kvo44301.vdb", "installed");
    writeFile(kavor() / "kvotoday.vdb", "installed, but fetched every day");
    for (const char* name :
         {"kvo44301.zip", "kvo44302.zip", "kvotoday.zip", "nasty.zip", "risky.zip"})
        writeFile(nginx.docroot() / "upd" / name, name);
    publishPage({"kvo44301.zip", "kvo44302.zip", "kvotoday.zip", "nasty.zip", "risky.zip"});
    changeSettings([](Settings& s) { s.risk = false; });

    updater.runUpdate(sink);

    EXPECT_EQ(sink.lines[2], "Файлов для обновления: 3");
    for (const char* name : {"KVO44302.ZIP", "KVOTODAY.ZIP", "NASTY.ZIP"})
        EXPECT_TRUE(std::filesystem::exists(archive() / name)) << name;
    EXPECT_FALSE(std::filesystem::exists(archive() / "KVO44301.ZIP"));
    EXPECT_FALSE(std::filesystem::exists(archive() / "RISKY.ZIP"));
}

TEST_F(UpdateRunTest, MissingArchiveDirectoryEndsTheRunAfterTheFirstFile)
{
    for (const char* name : {"kvo1.zip", "kvo2.zip"})
        writeFile(nginx.docroot() / "upd" / name, name);
    publishPage({"kvo1.zip", "kvo2.zip"});
    const std::string missing = (dirs.path() / "absent").string();
    changeSettings([&](Settings& s) {
        s.archpath = missing;
        s.unpack = true;
    });

    try {
        updater.runUpdate(sink);
        FAIL() << "no error escaped the run";
    } catch (const ArchiveWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing + "\\KVO1.ZIP");
    }
    EXPECT_EQ(sink.lines, expectedLinesFor({"Файлов для обновления: 2",
                                            "Забираем файл KVO1.ZIP ...", "KVO1.ZIP - успех."}));
    EXPECT_EQ(sink.events.back(), "<idle>");
    EXPECT_FALSE(nginx.accessLog().find("kvo2.zip") != std::string::npos);
}

TEST_F(UpdateRunTest, FullDiskKeepsThePreviousArchiveWhole)
{
    writeFile(nginx.docroot() / "upd" / "kvo1.zip", std::string(64 * 1024, 'n'));
    writeFile(archive() / "KVO1.ZIP", "the previous archive");
    publishPage({"kvo1.zip"});

    {
        testing_support::FileSizeLimit limit(16 * 1024);
        EXPECT_THROW(updater.runUpdate(sink), ArchiveWriteError);
    }
    EXPECT_EQ(sink.lines.back(), "KVO1.ZIP - успех.");
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "the previous archive");
    EXPECT_EQ(entriesOf(archive()), (std::vector<std::string>{"KVO1.ZIP", "kavor-updater.lock"}));
}

// Each way a download can break fails that file with its cause, keeps nothing of it, and leaves
// an archive of that name from an earlier run as it was.
TEST_F(UpdateRunTest, BrokenDownloadsAreNeverWritten)
{
    FaultServer faults;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/reset-mid-body?kvo1.zip", "Socket Error # 10054 Connection reset by peer."},
        {"/truncated-body?kvo2.zip", "Body cut short: 40 of 100 bytes received"},
        {"/chunked-truncated?kvo3.zip", "Connection Closed Gracefully."},
        {"/huge-length?kvo4.zip", "Response body exceeds 2147483647 bytes"},
        {"/empty-body?kvo5.zip", "Empty body"},
    };
    std::string page;
    std::vector<std::string> expected{"Файлов для обновления: 5"};
    for (const auto& [path, cause] : cases) {
        page += "<a href=\"" + faults.url(path) + "\"></a>";
        const std::string name = platform::asciiUpper(path.substr(1));
        writeFile(archive() / name, "earlier " + name);
        expected.insert(expected.end(),
                        {"Забираем файл " + name + " ...", "      Неудача!", "      " + cause});
    }
    writeFile(nginx.docroot() / "upd" / "index.html", page);

    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::FilesFailed);

    EXPECT_EQ(sink.lines, expectedLinesFor(expected));
    for (const auto& [path, cause] : cases) {
        const std::string name = platform::asciiUpper(path.substr(1));
        EXPECT_EQ(readFile(archive() / name), "earlier " + name);
    }
    EXPECT_EQ(entriesOf(archive()).size(), cases.size() + 1); // and the lock file
}

// A server that answers every request with "Connection: close" (keep-alive off) serves whole
// files, and so does one that ends its bodies by closing the connection.
TEST_F(UpdateRunTest, ClosedConnectionsAfterWholeBodiesFetchEveryFile)
{
    for (const char* name : {"kvo1.zip", "kvo2.zip", "kvo3.zip"})
        writeFile(nginx.docroot() / "upd" / name, std::string("body of ") + name);
    writeFile(nginx.docroot() / "upd" / "index.html",
              "<a href=\"" + nginx.url("/close/upd/kvo1.zip") + "\"></a><a href=\"" +
                  nginx.url("/close/upd/kvo2.zip") + "\"></a><a href=\"" +
                  nginx.url("/eof/upd/kvo3.zip") + "\"></a>");
    changeSettings([&](Settings& s) { s.updatepath = nginx.url("/close/upd/index.html"); });

    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::Updated);

    EXPECT_EQ(sink.lines[1], "Соединение успешно установлено.");
    for (const char* name : {"KVO1.ZIP", "KVO2.ZIP", "KVO3.ZIP"}) {
        EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), std::string(name) + " - успех."),
                  sink.lines.end())
            << name;
    }
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "body of kvo1.zip");
    EXPECT_EQ(readFile(archive() / "KVO3.ZIP"), "body of kvo3.zip");
}

// A server that goes silent, before its answer or in the middle of a body, costs that file the
// read limit and no more; the run goes on with the next one.
TEST_F(UpdateRunTest, SilentServersFailTheirFileAfterTheLimitAndTheRunGoesOn)
{
    using namespace std::chrono_literals;
    FaultServer faults;
    writeFile(nginx.docroot() / "upd" / "kvo3.zip", "third");
    writeFile(nginx.docroot() / "upd" / "index.html",
              "<a href=\"" + faults.url("/hang?kvo1.zip") + "\"></a><a href=\"" +
                  faults.url("/hang-mid-body?kvo2.zip") + "\"></a><a href=\"" +
                  nginx.url("/upd/kvo3.zip") + "\"></a>");
    updater.setNetworkTimeouts(300ms, 300ms);

    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::FilesFailed);

    EXPECT_EQ(sink.lines,
              expectedLinesFor({"Файлов для обновления: 3", "Забираем файл HANG?KVO1.ZIP ...",
                                "      Неудача!", "      Read Timeout",
                                "Забираем файл HANG-MID-BODY?KVO2.ZIP ...", "      Неудача!",
                                "      Read Timeout", "Забираем файл KVO3.ZIP ...",
                                "KVO3.ZIP - успех."}));
    EXPECT_EQ(readFile(archive() / "KVO3.ZIP"), "third");
}

// Each download reports where it starts and where it ends (and, for a long one, a few times a
// second in between); the page and failed requests' error bodies report nothing.
TEST_F(UpdateRunTest, DownloadsReportTheirProgress)
{
    writeFile(nginx.docroot() / "upd" / "kvo1.zip", std::string(70000, '1'));
    writeFile(nginx.docroot() / "upd" / "kvo3.zip", "333");
    publishPage({"kvo1.zip", "kvo2.zip", "kvo3.zip"}); // kvo2.zip: 404
    ProgressSink progress;

    updater.runUpdate(progress);

    EXPECT_EQ(progress.progress,
              (std::vector<std::string>{"1/3 0/70000", "1/3 70000/70000", "3/3 0/3", "3/3 3/3"}));
}

// The page is scanned in memory, so a page beyond any real one is refused, with its cause.
TEST_F(UpdateRunTest, AnOversizedPageIsRefused)
{
    writeFile(nginx.docroot() / "upd" / "index.html", std::string((16 << 20) + 1, 'p'));
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::PageFailed);
    EXPECT_EQ(sink.lines.back(), "      Response body exceeds 16777216 bytes");
}

// Two runs on one archive directory (a scheduled run while the window runs one): the second
// touches nothing and asks nothing.
TEST_F(UpdateRunTest, ARunFindingTheArchiveDirectoryLockedDoesNothing)
{
    writeFile(nginx.docroot() / "upd" / "kvo1.zip", "new");
    publishPage({"kvo1.zip"});
    const platform::DirectoryLock first(archive());
    ASSERT_EQ(first.state(), platform::DirectoryLock::State::Held);

    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::AlreadyRunning);

    EXPECT_EQ(sink.events,
              (std::vector<std::string>{
                  "<clear>", "Обновление уже выполняется: каталог архивов занят другим запуском.",
                  "<idle>"}));
    EXPECT_EQ(nginx.accessLog(), "");
    EXPECT_EQ(entriesOf(archive()), std::vector<std::string>{"kavor-updater.lock"});
}

// A run killed mid-write leaves temporary files; the next one removes them, and only them.
TEST_F(UpdateRunTest, TemporaryFilesOfAKilledRunAreRemovedAndNothingElse)
{
    publishPage({});
    const std::vector<std::filesystem::path> leftovers = {archive() / "KVO1.ZIP.kavor-tmp-12345-0",
                                                          kavor() / "KVO1.VDB.kavor-tmp-99-3",
                                                          kavor() / "sub" / "X.VDB.kavor-tmp-1-2"};
    const std::vector<std::filesystem::path> kept = {
        archive() / "KVO1.ZIP", archive() / "notes.kavor-tmp-1-2.txt",
        kavor() / "KVO1.VDB.kavor-tmp-", kavor() / "sub" / "X.VDB"};
    std::filesystem::create_directory(kavor() / "sub");
    for (const auto& file : leftovers)
        writeFile(file, "half written");
    for (const auto& file : kept)
        writeFile(file, "keep me");

    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::Updated);

    for (const auto& file : leftovers)
        EXPECT_FALSE(std::filesystem::exists(file)) << file;
    for (const auto& file : kept)
        EXPECT_EQ(readFile(file), "keep me") << file;
}

TEST_F(UpdateRunTest, StopRequestIsHonouredBetweenFiles)
{
    for (const char* name : {"kvo1.zip", "kvo2.zip"})
        writeFile(nginx.docroot() / "upd" / name, name);
    publishPage({"kvo1.zip", "kvo2.zip"});
    std::atomic<bool> stop{false};
    StoppingSink stopping(stop);

    updater.runUpdate(stopping, stop);

    EXPECT_EQ(stopping.lines.back(), "KVO1.ZIP - успех.");
    EXPECT_FALSE(std::filesystem::exists(archive() / "KVO2.ZIP"));
    EXPECT_EQ(stopping.events.back(), "<idle>");
}

TEST_F(UpdateRunTest, EveryRunClearsTheLogFirst)
{
    publishPage({});
    updater.runUpdate(sink);
    updater.runUpdate(sink);
    EXPECT_EQ(std::count(sink.events.begin(), sink.events.end(), "<clear>"), 2);
    EXPECT_EQ(sink.events[sink.events.size() - 5], "<clear>");
}

TEST_F(UpdateRunTest, UnpacksLastToFirstSoTheFirstArchiveOnThePageWins)
{
    makeZip(nginx.docroot() / "upd" / "a.zip", {{"SHARED.VDB", "from a"}, {"A.VDB", "a"}});
    makeZip(nginx.docroot() / "upd" / "b.zip", {{"SHARED.VDB", "from b"}});
    writeFile(nginx.docroot() / "upd" / "page.zip", "<html>404 Not Found</html>");
    publishPage({"a.zip", "missing.zip", "b.zip", "page.zip"});
    changeSettings([](Settings& s) { s.unpack = true; });

    updater.runUpdate(sink);

    const std::vector<std::string> tail(sink.lines.end() - 3, sink.lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"PAGE.ZIP - Файл не найден или это не zip-архив!",
                                              "B.ZIP - удачно распакован!",
                                              "A.ZIP - удачно распакован!"}));
    EXPECT_EQ(readFile(kavor() / "SHARED.VDB"), "from a");
    EXPECT_EQ(readFile(kavor() / "A.VDB"), "a");
    // The archives stay where they were downloaded.
    EXPECT_TRUE(std::filesystem::exists(archive() / "A.ZIP"));
}

// Each way an archive can fail to unpack has its own line; none of them ends the run.
TEST_F(UpdateRunTest, EveryUnpackFailureIsNamedInTheLog)
{
    const auto fixture = [](const char* name) {
        return readFile(testing_support::testDataDir() / "zip" / name);
    };
    // A stored member whose local header puts its sizes after the data (flag bit 3): it is
    // copied up to the end of the data its directory entry declares, and ends early there.
    std::string cutShort = fixture("stored.zip");
    cutShort[6] = '\x08'; // general-purpose flags of the first local header
    writeFile(nginx.docroot() / "upd" / "short.zip", cutShort);
    writeFile(nginx.docroot() / "upd" / "crc.zip", fixture("bad_crc_stored.zip"));
    writeFile(nginx.docroot() / "upd" / "noend.zip", fixture("bad_no_end_record.zip"));
    writeFile(nginx.docroot() / "upd" / "html.zip", fixture("not_zip_html_page.zip"));
    publishPage({"short.zip", "crc.zip", "noend.zip", "html.zip"});
    changeSettings([](Settings& s) { s.unpack = true; });

    updater.runUpdate(sink);

    const std::vector<std::string> tail(sink.lines.end() - 4, sink.lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"HTML.ZIP - Файл не найден или это не zip-архив!",
                                              "NOEND.ZIP - Ошибка в структуре архива",
                                              "CRC.ZIP - Разархивация остановлена!",
                                              "SHORT.ZIP - Ошибка чтения zip-архива!"}));
    EXPECT_EQ(sink.events.back(), "<idle>");
}

TEST_F(UpdateRunTest, UnpackOffLeavesTheKavorDirectoryAlone)
{
    makeZip(nginx.docroot() / "upd" / "a.zip", {{"A.VDB", "a"}});
    publishPage({"a.zip"});
    updater.runUpdate(sink);
    EXPECT_EQ(sink.lines.back(), "A.ZIP - успех.");
    EXPECT_FALSE(std::filesystem::exists(kavor() / "A.VDB"));
}

TEST_F(UpdateRunTest, ProxyWithBasicAuthorizationCarriesTheRun)
{
    TinyProxy proxy("kavor", "s3cret");
    writeFile(nginx.docroot() / "upd" / "kvo1.zip", "through the proxy");
    publishPage({"kvo1.zip"});
    useProxy(proxy, "kavor", "s3cret");

    updater.runUpdate(sink);

    EXPECT_EQ(sink.lines.back(), "KVO1.ZIP - успех.");
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "through the proxy");
    // The proxy saw absolute URLs; nginx saw the proxy's requests.
    EXPECT_TRUE(proxy.waitForLog("GET " + nginx.url("/upd/kvo1.zip")));
}

TEST_F(UpdateRunTest, ProxyRefusingTheCredentialsEndsTheRunAtThePage)
{
    TinyProxy proxy("kavor", "s3cret");
    publishPage({});
    useProxy(proxy, "kavor", "wrong");
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::PageFailed);
    EXPECT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.lines[1], "Соединение не установлено...");
    EXPECT_EQ(sink.lines[2], "      401 Unauthorized"); // tinyproxy's answer to wrong ones
}

// Directories and files that refuse to be written, for a user who is not root.
namespace fs = std::filesystem;
constexpr fs::perms kReadOnlyDirectory = fs::perms::owner_read | fs::perms::owner_exec |
                                         fs::perms::group_read | fs::perms::group_exec |
                                         fs::perms::others_read | fs::perms::others_exec;
constexpr fs::perms kReadOnlyFile =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

TEST_F(UpdateRunTest, ReadOnlyArchiveDirectoryEndsTheRunAndKeepsThePreviousArchive)
{
    writeFile(nginx.docroot() / "upd" / "kvo1.zip", "new archive");
    writeFile(archive() / "KVO1.ZIP", "previous archive");
    publishPage({"kvo1.zip"});
    fs::permissions(archive(), kReadOnlyDirectory);

    const std::vector<std::string> lines = runAsNobody();
    if (lines.empty())
        GTEST_SKIP() << "root cannot be given up here";
    EXPECT_EQ(lines,
              expectedLinesFor({"Файлов для обновления: 1", "Забираем файл KVO1.ZIP ...",
                                "KVO1.ZIP - успех.",
                                "error: Cannot create file " + archive().string() + "\\KVO1.ZIP"}));
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "previous archive");
    EXPECT_EQ(entriesOf(archive()), std::vector<std::string>{"KVO1.ZIP"});
}

// A member that cannot be placed stops the archive's unpacking, and the log says so; the
// installed databases stay as they were.
TEST_F(UpdateRunTest, ReadOnlyKavorDirectoryKeepsTheInstalledDatabases)
{
    publishArchiveToUnpack("upd1.zip", {{"KVOBASE.VDB", "new database"}});
    writeFile(kavor() / "KVOBASE.VDB", "installed database");
    fs::permissions(archive(), fs::perms::all);
    fs::permissions(kavor(), kReadOnlyDirectory);

    const std::vector<std::string> lines = runAsNobody();
    if (lines.empty())
        GTEST_SKIP() << "root cannot be given up here";
    EXPECT_EQ(lines, unpackingStopped("UPD1.ZIP"));
    EXPECT_EQ(readFile(kavor() / "KVOBASE.VDB"), "installed database");
    EXPECT_EQ(entriesOf(kavor()), std::vector<std::string>{"KVOBASE.VDB"});
}

TEST_F(UpdateRunTest, ReadOnlyFilesAreReplacedWhereTheirDirectoryAllowsIt)
{
    publishArchiveToUnpack("upd2.zip", {{"OLD.VDB", "new database"}});
    writeFile(archive() / "UPD2.ZIP", "previous archive");
    writeFile(kavor() / "OLD.VDB", "installed database");
    fs::permissions(archive() / "UPD2.ZIP", kReadOnlyFile);
    fs::permissions(kavor() / "OLD.VDB", kReadOnlyFile);
    fs::permissions(archive(), fs::perms::all);
    fs::permissions(kavor(), fs::perms::all);

    const std::vector<std::string> lines = runAsNobody();
    if (lines.empty())
        GTEST_SKIP() << "root cannot be given up here";
    EXPECT_EQ(lines, unpackedOneArchive("UPD2.ZIP"));
    EXPECT_EQ(readFile(kavor() / "OLD.VDB"), "new database");
    EXPECT_EQ(entriesOf(kavor()), std::vector<std::string>{"OLD.VDB"});
    EXPECT_EQ(entriesOf(archive()), (std::vector<std::string>{"UPD2.ZIP", "kavor-updater.lock"}));
    EXPECT_NE(readFile(archive() / "UPD2.ZIP"), "previous archive");
}

// The disk fills while the databases are unpacked: the member that does not fit leaves nothing
// behind, the database it would have replaced stays, and the log says the unpacking stopped
// rather than that the archive was unpacked.
TEST_F(UpdateRunTest, FullDiskWhileUnpackingKeepsTheInstalledDatabases)
{
    publishArchiveToUnpack("c.zip",
                           {{"SMALL.VDB", "fits"}, {"BIG.VDB", std::string(256 * 1024, '0')}});
    writeFile(kavor() / "BIG.VDB", "installed database");

    {
        testing_support::FileSizeLimit limit(16 * 1024); // the archive fits, BIG.VDB does not
        updater.runUpdate(sink);
    }
    EXPECT_EQ(sink.lines, unpackingStopped("C.ZIP"));
    EXPECT_EQ(readFile(kavor() / "BIG.VDB"), "installed database");
    EXPECT_EQ(readFile(kavor() / "SMALL.VDB"), "fits");
    EXPECT_EQ(entriesOf(kavor()), (std::vector<std::string>{"BIG.VDB", "SMALL.VDB"}));
}

} // namespace
