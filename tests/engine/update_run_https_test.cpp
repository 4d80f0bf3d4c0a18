// Update runs against an https update site: nginx on the test PKI, directly, through redirects
// and through tinyproxy's CONNECT tunnel.

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/updater.h"
#include "platform/code_page.h"
#include "run_recording.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"
#include "support/tls_servers.h"

using namespace engine;
using testing_support::NginxTlsServer;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::TinyProxy;
using testing_support::writeFile;

using testing_support::makeZip;
using testing_support::RecordingSink;

namespace {

class HttpsUpdateRun : public ::testing::Test
{
protected:
    HttpsUpdateRun() : updater(programDir.enginePath() + "\\")
    {
        std::filesystem::create_directory(archive());
        std::filesystem::create_directory(kavor());
        std::filesystem::create_directories(server.docroot() / "upd");
        changeSettings([&](Settings& s) {
            s.updatepath = server.httpsUrl("/upd/index.html");
            s.archpath = archive().string();
            s.kvopath = kavor().string();
        });
    }

    std::filesystem::path archive() const { return dirs.path() / "basa"; }
    std::filesystem::path kavor() const { return dirs.path() / "kavor"; }

    void changeSettings(const std::function<void(Settings&)>& change)
    {
        Settings s = updater.settings();
        change(s);
        updater.setSettings(s);
    }
    void publishPage(const std::vector<std::string>& links)
    {
        std::string page = "<html><body>\n";
        for (const std::string& link : links)
            page += "<a href=\"" + link + "\">x</a>\n";
        writeFile(server.docroot() / "upd" / "index.html", page + "</body></html>\n");
    }
    std::vector<std::string> fetchedLines(const std::vector<std::string>& names) const
    {
        std::vector<std::string> lines{"Соединение успешно установлено.",
                                       "Файлов для обновления: " + std::to_string(names.size())};
        for (const std::string& name : names) {
            lines.push_back("Забираем файл " + name + " ...");
            lines.push_back(name + " - успех.");
        }
        return lines;
    }
    std::vector<std::string> afterTheFirstLine() const
    {
        return std::vector<std::string>(sink.lines.begin() + 1, sink.lines.end());
    }

    NginxTlsServer server;
    TempDir programDir;
    TempDir dirs;
    Updater updater;
    RecordingSink sink;
};

TEST_F(HttpsUpdateRun, FetchesAndUnpacksEverySelectedFileOverTls)
{
    makeZip(server.docroot() / "upd" / "kvo44302.zip", {{"KVO44302.VDB", "database two"}});
    makeZip(server.docroot() / "kvo44303.zip", {{"KVO44303.VDB", "database three"}});
    publishPage({server.httpsUrl("/upd/kvo44302.zip"), "/kvo44303.zip"});
    changeSettings([](Settings& s) { s.unpack = true; });

    updater.runUpdate(sink);

    std::vector<std::string> expected = fetchedLines({"KVO44302.ZIP", "KVO44303.ZIP"});
    expected.push_back("KVO44303.ZIP - удачно распакован!");
    expected.push_back("KVO44302.ZIP - удачно распакован!");
    EXPECT_EQ(afterTheFirstLine(), expected);
    EXPECT_EQ(readFile(kavor() / "KVO44302.VDB"), "database two");
    EXPECT_EQ(readFile(kavor() / "KVO44303.VDB"), "database three");
    // The page and both files came over one TLS connection.
    ASSERT_TRUE(server.waitForAccessLog("GET /kvo44303.zip"));
    EXPECT_NE(server.accessLog().find(" n=3 "), std::string::npos) << server.accessLog();
}

TEST_F(HttpsUpdateRun, DirectoryListingServesAsTheUpdatePage)
{
    writeFile(server.docroot() / "kvo1.zip", "one");
    writeFile(server.docroot() / "kvo2.zip", "two");
    writeFile(server.docroot() / "readme.txt", "not an archive");
    // Reached over a redirect from http, so the links are resolved against the final URL.
    changeSettings([&](Settings& s) { s.updatepath = server.url("/to-https/listing/"); });

    updater.runUpdate(sink);

    EXPECT_EQ(afterTheFirstLine(), fetchedLines({"KVO1.ZIP", "KVO2.ZIP"}));
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "one");
    EXPECT_EQ(readFile(archive() / "KVO2.ZIP"), "two");
    EXPECT_TRUE(server.waitForAccessLog("https \"GET /listing/kvo2.zip"));
}

TEST_F(HttpsUpdateRun, RelativeLinksFollowThePageAndNamesFollowTheLinks)
{
    std::filesystem::create_directories(server.docroot() / "db");
    std::filesystem::create_directories(server.docroot() / "moved-to");
    writeFile(server.docroot() / "upd" / "kvo1.zip", "same directory");
    writeFile(server.docroot() / "db" / "kvo2.zip", "one up");
    writeFile(server.docroot() / "moved-to" / "new-kvo3.zip", "renamed by a redirect");
    publishPage({"kvo1.zip", "../db/kvo2.zip", "/moved/kvo3.zip"});

    updater.runUpdate(sink);

    EXPECT_EQ(afterTheFirstLine(), fetchedLines({"KVO1.ZIP", "KVO2.ZIP", "KVO3.ZIP"}));
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "same directory");
    EXPECT_EQ(readFile(archive() / "KVO2.ZIP"), "one up");
    EXPECT_EQ(readFile(archive() / "KVO3.ZIP"), "renamed by a redirect");
    EXPECT_FALSE(std::filesystem::exists(archive() / "NEW-KVO3.ZIP"));
}

TEST_F(HttpsUpdateRun, BadCertificatesFailWithoutWritingAnything)
{
    writeFile(server.docroot() / "kvo1.zip", "served by every port");
    writeFile(archive() / "KVO1.ZIP", "from an earlier run");
    publishPage({server.httpsUrl("/kvo1.zip", server.expiredPort()),
                 server.httpsUrl("/kvo1.zip", server.selfSignedPort()),
                 "https://localhost:" + std::to_string(server.wrongHostPort()) + "/kvo1.zip"});

    updater.runUpdate(sink);

    EXPECT_EQ(
        afterTheFirstLine(),
        (std::vector<std::string>{"Соединение успешно установлено.", "Файлов для обновления: 3",
                                  "Забираем файл KVO1.ZIP ...", "      Неудача!",
                                  "      certificate verify failed: certificate has expired",
                                  "Забираем файл KVO1.ZIP ...", "      Неудача!",
                                  "      certificate verify failed: self-signed certificate",
                                  "Забираем файл KVO1.ZIP ...", "      Неудача!",
                                  "      certificate verify failed: hostname mismatch"}));
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "from an earlier run");

    // A page behind a bad certificate ends the run at the page.
    changeSettings([&](Settings& s) {
        s.updatepath = server.httpsUrl("/upd/index.html", server.expiredPort());
    });
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::PageFailed);
    EXPECT_EQ(sink.lines.size(), 3u);
    EXPECT_EQ(sink.lines[1], "Соединение не установлено...");
    EXPECT_EQ(sink.lines[2], "      certificate verify failed: certificate has expired");
    EXPECT_EQ(server.accessLog().find("GET /kvo1.zip"), std::string::npos);
}

TEST_F(HttpsUpdateRun, ProxyTunnelsTheWholeRun)
{
    TinyProxy proxy("kavor", "s3cret", {server.goodPort()});
    writeFile(server.docroot() / "upd" / "kvo1.zip", "through the tunnel");
    publishPage({"kvo1.zip"});
    changeSettings([&](Settings& s) {
        s.proxy = true;
        s.proxy_server = "127.0.0.1";
        s.proxy_port = proxy.port();
        s.proxy_username = "kavor";
        s.proxy_pwd = "s3cret";
    });

    updater.runUpdate(sink);

    EXPECT_EQ(afterTheFirstLine(), fetchedLines({"KVO1.ZIP"}));
    EXPECT_EQ(readFile(archive() / "KVO1.ZIP"), "through the tunnel");
    EXPECT_TRUE(proxy.waitForLog("CONNECT 127.0.0.1:" + std::to_string(server.goodPort())));

    // Without the credentials the tunnel, and so the page, is refused.
    changeSettings([](Settings& s) { s.proxy_pwd = "wrong"; });
    EXPECT_EQ(updater.runUpdate(sink), RunOutcome::PageFailed);
    EXPECT_EQ(sink.lines[1], "Соединение не установлено...");
    // tinyproxy answers wrong credentials with 401, not 407
    EXPECT_EQ(sink.lines.back(), "      Proxy refused CONNECT: 401 Unauthorized");
}

TEST_F(HttpsUpdateRun, RedirectsFromHttpsToHttpAreRefused)
{
    writeFile(server.docroot() / "kvo1.zip", "only over http");
    writeFile(server.docroot() / "kvo2.zip", "five hops away");
    publishPage({"/to-http/kvo1.zip", "/hops/5/kvo2.zip", "/hops/6/kvo2.zip"});

    updater.runUpdate(sink);

    EXPECT_EQ(afterTheFirstLine(),
              (std::vector<std::string>{
                  "Соединение успешно установлено.", "Файлов для обновления: 3",
                  "Забираем файл KVO1.ZIP ...", "      Неудача!",
                  "      Redirect from https to http refused", "Забираем файл KVO2.ZIP ...",
                  "KVO2.ZIP - успех.", "Забираем файл KVO2.ZIP ...", "      Неудача!",
                  "      Too many redirects (more than 5)"}));
    EXPECT_FALSE(std::filesystem::exists(archive() / "KVO1.ZIP"));
    EXPECT_EQ(readFile(archive() / "KVO2.ZIP"), "five hops away");
    EXPECT_EQ(server.accessLog().find(" http \"GET /kvo1.zip"), std::string::npos);
}

} // namespace
