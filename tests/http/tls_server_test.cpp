// https against real servers on 127.0.0.1: nginx with one TLS server per test certificate,
// tinyproxy tunnelling CONNECT to them, and a scripted TLS server for closes and alerts.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "fetch_outcome.h"
#include "http/id_exception_tls.h"
#include "http/id_http.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"
#include "support/tls_servers.h"

using namespace http;
using namespace testing_support;

namespace {

// The "conn=<c> n=<n>" of every access log line that holds needle.
std::vector<std::string> connectionsOf(const std::string& accessLog, const std::string& needle)
{
    std::vector<std::string> found;
    std::size_t begin = 0;
    while (begin < accessLog.size()) {
        const auto end = accessLog.find('\n', begin);
        const std::string line = accessLog.substr(begin, end - begin);
        begin = end == std::string::npos ? accessLog.size() : end + 1;
        if (line.find(needle) == std::string::npos)
            continue;
        const auto at = line.find("conn=");
        found.push_back(line.substr(at, line.find(' ', line.find(" n=", at) + 1) - at));
    }
    return found;
}

class TlsNginx : public ::testing::Test
{
protected:
    TlsNginx()
    {
        writeFile(server.docroot() / "a.bin", kBinary);
        writeFile(server.docroot() / "b.txt", "plain text\n");
    }

    const std::string kBinary = randomBytes(300000, 7);
    NginxTlsServer server;
    TIdHTTP client;
};

TEST_F(TlsNginx, ServesFilesOverOneKeptAliveTlsConnection)
{
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/a.bin")), kBinary));
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/b.txt")), "plain text\n"));
    const Outcome again = fetch(client, server.httpsUrl("/a.bin"));
    EXPECT_TRUE(delivered(again, kBinary));
    EXPECT_TRUE(again.connected);
    ASSERT_TRUE(server.waitForAccessLog(" n=3 ")) << server.accessLog();
    const auto used = connectionsOf(server.accessLog(), "tls=\"TLSv1.3\"");
    ASSERT_EQ(used.size(), 3u) << server.accessLog();
    const std::string first = used[0].substr(0, used[0].find(' '));
    EXPECT_EQ(used, (std::vector<std::string>{first + " n=1", first + " n=2", first + " n=3"}));
}

TEST_F(TlsNginx, SessionTheServerEndedWhileIdleIsReplaced)
{
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/brief/b.txt")), "plain text\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/a.bin")), kBinary));
    ASSERT_TRUE(server.waitForAccessLog("GET /a.bin"));
    const auto used = connectionsOf(server.accessLog(), "GET /");
    ASSERT_EQ(used.size(), 2u);
    EXPECT_NE(used[0].substr(0, used[0].find(' ')), used[1].substr(0, used[1].find(' ')));
    EXPECT_EQ(used[1].substr(used[1].find(' ')), " n=1");
}

TEST_F(TlsNginx, ManySessionsOneAfterTheOther)
{
    // Each answer closes its connection, so every fetch is a session of its own; more of them
    // than OpenSSL has BIO types to give out.
    int delivered = 0;
    for (int i = 0; i < 300; ++i)
        delivered += fetch(client, server.httpsUrl("/eof/b.txt")).text == "plain text\n" ? 1 : 0;
    EXPECT_EQ(delivered, 300);
}

TEST_F(TlsNginx, SendsTheServerNameForNamesOnly)
{
    const std::string byName = "https://localhost:" + std::to_string(server.goodPort());
    EXPECT_EQ(fetch(client, byName + "/tls-info").text.substr(0, 28),
              "sni=localhost protocol=TLSv1");
    EXPECT_EQ(fetch(client, server.httpsUrl("/tls-info")).text.substr(0, 18), "sni= protocol=TLSv");
}

TEST_F(TlsNginx, BodiesEndingWithTheConnection)
{
    const Outcome untilClose = fetch(client, server.httpsUrl("/eof/a.bin"));
    EXPECT_TRUE(delivered(untilClose, kBinary));
    EXPECT_FALSE(untilClose.connected);
    // The next request opens a new session.
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/b.txt")), "plain text\n"));

    TlsFaultServer faults;
    for (const char* path : {"/bare-close", "/notify-close"}) {
        const Outcome closed = fetch(client, faults.closeUrl(path));
        EXPECT_TRUE(delivered(closed, "close-delimited body over TLS\n")) << path;
        EXPECT_FALSE(closed.connected) << path;
    }
}

TEST_F(TlsNginx, RefusesEveryBadCertificateWithItsCause)
{
    struct Case
    {
        std::uint16_t port;
        const char* host;
        const char* cause;
    };
    const Case cases[] = {
        {server.wrongHostPort(), "127.0.0.1", "IP address mismatch"},
        {server.wrongHostPort(), "localhost", "hostname mismatch"},
        {server.expiredPort(), "127.0.0.1", "certificate has expired"},
        {server.selfSignedPort(), "localhost", "self-signed certificate"},
    };
    for (const Case& c : cases) {
        const std::string url = "https://" + std::string(c.host) + ":" + std::to_string(c.port);
        const Outcome refused = fetch(client, url + "/b.txt");
        EXPECT_EQ(refused.error, "EIdTLSCertificateError") << url;
        EXPECT_EQ(refused.message, std::string("certificate verify failed: ") + c.cause) << url;
        EXPECT_EQ(refused.text, "") << url;
        EXPECT_FALSE(refused.connected) << url;
    }
    // Not a request reached a server with a bad certificate.
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/b.txt")), "plain text\n"));
    ASSERT_TRUE(server.waitForAccessLog("GET /b.txt"));
    EXPECT_EQ(connectionsOf(server.accessLog(), "GET").size(), 1u) << server.accessLog();
}

TEST_F(TlsNginx, TrustsOnlyTheStoreItIsPointedAt)
{
    const std::string testCa = std::getenv("SSL_CERT_FILE");
    ::setenv("SSL_CERT_FILE", (server.runDirectory() / "no-such-store.pem").c_str(), 1);
    const Outcome untrusted = fetch(client, server.httpsUrl("/b.txt"));
    ::setenv("SSL_CERT_FILE", testCa.c_str(), 1);
    EXPECT_EQ(untrusted.message,
              "certificate verify failed: unable to get local issuer certificate");
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/b.txt")), "plain text\n"));
}

TEST_F(TlsNginx, PlainHttpServerOnAnHttpsPortIsNoTlsServer)
{
    const Outcome plain =
        fetch(client, "https://127.0.0.1:" + std::to_string(server.port()) + "/b.txt");
    EXPECT_EQ(plain.error, "EIdTLSHandshakeError");
    EXPECT_EQ(plain.message,
              "TLS handshake failed: the server does not speak TLS (wrong version number)");
    EXPECT_EQ(plain.text, "");
    EXPECT_FALSE(plain.connected);
}

TEST(TlsHandshake, ServerThatNeverSpeaksTlsTimesOut)
{
    testPki();
    std::uint16_t port = 0;
    const int listener = listenOnLoopback(4, port); // connects succeed, nothing ever answers
    TIdHTTP client;
    client.SetReadTimeout(300);
    const auto start = std::chrono::steady_clock::now();
    const Outcome silent = fetch(client, "https://127.0.0.1:" + std::to_string(port) + "/");
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(listener);
    EXPECT_EQ(silent.error, "EIdTLSHandshakeError");
    EXPECT_EQ(silent.message, "TLS handshake timed out");
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST(TlsAlerts, AnAlertFromTheServerIsNamed)
{
    TlsFaultServer faults;
    TIdHTTP client;
    // TLS 1.2: the alert ends the handshake. TLS 1.3: the client's handshake is through before
    // the server refuses it, so the alert arrives where the answer was expected: in a receive
    // that waits without limit, or in the wait for readable data when there is a limit.
    for (const std::int32_t readTimeout : {0, 5000}) {
        client.SetReadTimeout(readTimeout);
        for (const bool tls13 : {false, true}) {
            const Outcome alerted = fetch(client, faults.alertUrl(tls13));
            const std::string which = (tls13 ? "1.3, " : "1.2, ") + std::to_string(readTimeout);
            EXPECT_EQ(alerted.error, "EIdTLSAlert") << which;
            EXPECT_EQ(alerted.message.substr(0, 27), "TLS alert from the server: ") << which;
            EXPECT_NE(alerted.message.find("alert"), alerted.message.rfind("alert")) << which;
            EXPECT_EQ(alerted.text, "") << which;
            EXPECT_FALSE(alerted.connected) << which;
        }
    }
}

class TlsRedirects : public TlsNginx
{
protected:
    TlsRedirects()
    {
        client.HandleRedirects = true;
        client.RedirectMaximum = 5;
    }
};

TEST_F(TlsRedirects, FollowsUpToTheLimitAndNeverDowngrades)
{
    const std::string plain = server.url("");
    struct Case
    {
        std::string url;
        std::string error; // empty: delivers b.txt
        std::string message;
    };
    const Case cases[] = {
        {plain + "/to-https/b.txt", "", ""},
        {plain + "/to-https-302/b.txt", "", ""},
        {plain + "/to-https-307/b.txt", "", ""},
        {server.httpsUrl("/relative/b.txt"), "", ""},
        {server.httpsUrl("/up/down/here/b.txt"), "", ""},
        {server.httpsUrl("/hops/5/b.txt"), "", ""},
        {server.httpsUrl("/hops/6/b.txt"), "EIdTooManyRedirects",
         "Too many redirects (more than 5)"},
        {server.httpsUrl("/to-http/b.txt"), "EIdRedirectRefused",
         "Redirect from https to http refused"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = fetch(client, c.url);
        if (c.error.empty()) {
            EXPECT_TRUE(delivered(outcome, "plain text\n")) << c.url;
        } else {
            EXPECT_EQ(outcome.error, c.error) << c.url;
            EXPECT_EQ(outcome.message, c.message) << c.url;
            EXPECT_EQ(outcome.text, "") << c.url;
        }
    }
    // The refused downgrade never reached the plain server; the followed redirects each went
    // to the good server.
    EXPECT_EQ(
        connectionsOf(server.accessLog(), std::to_string(server.port()) + " http \"GET /b.txt")
            .size(),
        0u)
        << server.accessLog();
    EXPECT_EQ(connectionsOf(server.accessLog(), "https \"GET /b.txt").size(), 6u)
        << server.accessLog();
}

TEST_F(TlsNginx, WithoutRedirectHandlingARedirectStillRaises)
{
    const Outcome redirect = fetch(client, server.httpsUrl("/relative/b.txt"));
    EXPECT_EQ(redirect.error, "EIdHTTPProtocolException");
    EXPECT_EQ(redirect.message, "HTTP/1.1 302 Moved Temporarily");
}

class TlsProxy : public TlsNginx
{
protected:
    TlsProxy()
        : proxy("kavor", "s3cret",
                {server.goodPort(), server.wrongHostPort(), server.expiredPort(),
                 server.selfSignedPort()})
    {
        client.ProxyParams().SetProxyServer("127.0.0.1");
        client.ProxyParams().SetProxyPort(proxy.port());
    }
    void useCredentials(const std::string& password)
    {
        client.ProxyParams().SetBasicAuthentication(true);
        client.ProxyParams().SetProxyUsername("kavor");
        client.ProxyParams().SetProxyPassword(password);
    }

    TinyProxy proxy;
};

TEST_F(TlsProxy, TunnelCarriesTlsWithTheProxysAuthorization)
{
    useCredentials("s3cret");
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/a.bin")), kBinary));
    EXPECT_TRUE(delivered(fetch(client, server.httpsUrl("/b.txt")), "plain text\n"));
    const std::string connect =
        "CONNECT 127.0.0.1:" + std::to_string(server.goodPort()) + " HTTP/1.1";
    ASSERT_TRUE(proxy.waitForLog(connect)) << proxy.log();
    ASSERT_TRUE(server.waitForAccessLog("GET /b.txt"));
    // Origin-form requests inside the tunnel, the proxy's credentials never passed on; one
    // tunnel carried both.
    const auto used = connectionsOf(server.accessLog(), "https \"GET /");
    ASSERT_EQ(used.size(), 2u) << server.accessLog();
    EXPECT_EQ(used[1], used[0].substr(0, used[0].find(' ')) + " n=2");
    EXPECT_EQ(server.accessLog().find("proxy_auth=\"Basic"), std::string::npos);

    // http keeps the absolute-URI GET through the same proxy.
    EXPECT_TRUE(delivered(fetch(client, server.url("/b.txt")), "plain text\n"));
    EXPECT_TRUE(proxy.waitForLog("GET " + server.url("/b.txt") + " HTTP/1.1")) << proxy.log();
}

TEST_F(TlsProxy, RefusedTunnelsNameTheProxysAnswer)
{
    client.ProxyParams().SetProxyPassword("unused");
    const Outcome noCredentials = fetch(client, server.httpsUrl("/b.txt"));
    EXPECT_EQ(noCredentials.error, "EIdProxyConnectRefused");
    EXPECT_EQ(noCredentials.message, "Proxy refused CONNECT: 407 Proxy Authentication Required");
    EXPECT_EQ(client.ProxyParams().ProxyPassword(), ""); // as a 407 to a GET leaves it

    useCredentials("wrong");
    // This proxy version answers wrong credentials with 401 rather than 407.
    EXPECT_EQ(fetch(client, server.httpsUrl("/b.txt")).message,
              "Proxy refused CONNECT: 401 Unauthorized");

    useCredentials("s3cret");
    const Outcome notAllowed =
        fetch(client, "https://127.0.0.1:" + std::to_string(server.port()) + "/b.txt");
    EXPECT_EQ(notAllowed.message, "Proxy refused CONNECT: 403 Access violation");
    EXPECT_FALSE(notAllowed.connected);
    EXPECT_EQ(connectionsOf(server.accessLog(), "GET").size(), 0u) << server.accessLog();
}

TEST_F(TlsProxy, CertificatesAreCheckedInsideTheTunnel)
{
    useCredentials("s3cret");
    const Outcome expired = fetch(client, server.httpsUrl("/b.txt", server.expiredPort()));
    EXPECT_EQ(expired.message, "certificate verify failed: certificate has expired");
    EXPECT_EQ(expired.text, "");

    client.HandleRedirects = true;
    EXPECT_TRUE(delivered(fetch(client, server.url("/to-https/b.txt")), "plain text\n"));
}

TEST(KavorGet, ShowsTheCertificateError)
{
    NginxTlsServer server;
    writeFile(server.docroot() / "one.zip", "first body");
    TempDir out;
    const std::string command = std::string(KAVOR_GET_PATH) + " " + server.httpsUrl("/one.zip") +
                                " " + (out.path() / "1").string() + " " +
                                server.httpsUrl("/one.zip", server.expiredPort()) + " " +
                                (out.path() / "2").string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    EXPECT_EQ(::pclose(pipe), 1 << 8);
    EXPECT_EQ(output, "ok 10 connected=1\n"
                      "error EIdTLSCertificateError certificate verify failed: certificate has "
                      "expired\n");
    EXPECT_EQ(readFile(out.path() / "1"), "first body");
    EXPECT_FALSE(std::filesystem::exists(out.path() / "2"));
}

} // namespace
