// The client against real servers on 127.0.0.1: nginx, tinyproxy in front of it, and the
// scripted fault server for what real servers will not do on demand.

#include <chrono>
#include <cstdio>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fetch_outcome.h"
#include "http/id_http.h"
#include "platform/convert_error.h"
#include "platform/socket.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"

using namespace http;
using namespace testing_support;

namespace {

// Whether the access log shows requests 1, 2, ... count on one and the same connection (the
// log line has the connection's number and the request count on it).
bool servedByOneConnection(const std::string& accessLog, std::size_t count)
{
    std::vector<std::string> found; // "conn=<c> n=<n>" per line
    for (auto at = accessLog.find(" conn="); at != std::string::npos;
         at = accessLog.find(" conn=", at + 1)) {
        const auto end = accessLog.find(' ', accessLog.find(" n=", at) + 1);
        found.push_back(accessLog.substr(at + 1, end - at - 1));
    }
    if (found.size() != count)
        return false;
    const std::string connection = found[0].substr(0, found[0].find(' '));
    for (std::size_t i = 0; i < count; ++i) {
        if (found[i] != connection + " n=" + std::to_string(i + 1))
            return false;
    }
    return true;
}

std::size_t countOf(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

class Nginx : public ::testing::Test
{
protected:
    Nginx()
    {
        writeFile(server.docroot() / "a.bin", kBinary);
        writeFile(server.docroot() / "b.txt", "plain text\n");
    }

    const std::string kBinary = randomBytes(300000, 1);
    NginxServer server;
    TIdHTTP client;
};

TEST_F(Nginx, ServesFilesOverOneKeptAliveConnection)
{
    EXPECT_TRUE(delivered(fetch(client, server.url("/a.bin")), kBinary));
    EXPECT_EQ(fetch(client, server.url("/b.txt")).text, "plain text\n");
    const Outcome again = fetch(client, "a.bin");
    EXPECT_TRUE(delivered(again, kBinary));
    EXPECT_TRUE(again.connected);
    ASSERT_TRUE(server.waitForAccessLog(" n=3 ")) << server.accessLog();
    EXPECT_TRUE(servedByOneConnection(server.accessLog(), 3)) << server.accessLog();
}

TEST_F(Nginx, SendsTheRequestHeadExactly)
{
    const std::string head = fetch(client, server.url("/headers")).text;
    EXPECT_EQ(head, "GET /headers HTTP/1.1\r\nContent-Type: text/html\r\nHost: 127.0.0.1:" +
                        std::to_string(server.port()) +
                        "\r\nAccept: text/html, */*\r\n"
                        "User-Agent: Mozilla/3.0 (compatible; Kavor Updater)\r\n\r\n");
}

TEST_F(Nginx, ErrorAnswersRaiseWithTheirStatusLine)
{
    try {
        std::string text;
        client.GetText(server.url("/missing.zip"), text);
        FAIL() << "no exception";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_STREQ(e.what(), "HTTP/1.1 404 Not Found");
        EXPECT_EQ(e.ReplyErrorCode(), 404);
        EXPECT_NE(e.ErrorMessage().find("404 Not Found"), std::string::npos);
    }
    EXPECT_TRUE(client.IsConnected());

    const Outcome redirect = fetch(client, server.url("/redirect"));
    EXPECT_EQ(redirect.error, "EIdHTTPProtocolException");
    EXPECT_EQ(redirect.message, "HTTP/1.1 302 Moved Temporarily");

    const Outcome failure = fetch(client, server.url("/status/500"));
    EXPECT_EQ(failure.message, "HTTP/1.1 500 Internal Server Error");
    // The error bodies were read, so the same connection served all three.
    ASSERT_TRUE(server.waitForAccessLog("\"GET /status/500 HTTP/1.1\" 500 5 conn="))
        << server.accessLog();
    EXPECT_TRUE(servedByOneConnection(server.accessLog(), 3)) << server.accessLog();
}

TEST_F(Nginx, BodiesByCloseAndByChunks)
{
    const Outcome closing = fetch(client, server.url("/close/b.txt"));
    EXPECT_EQ(closing.text, "plain text\n");
    EXPECT_FALSE(closing.connected);

    const Outcome chunked = fetch(client, server.url("/chunked/a.bin"));
    EXPECT_TRUE(delivered(chunked, kBinary));
    EXPECT_TRUE(chunked.connected);

    const Outcome untilClose = fetch(client, server.url("/eof/a.bin"));
    EXPECT_TRUE(delivered(untilClose, kBinary));
    EXPECT_FALSE(untilClose.connected);

    const Outcome streamed = fetch(client, server.url("/stream"));
    EXPECT_EQ(streamed.text, "first chunk\nsecond chunk\n");
}

TEST_F(Nginx, SendsStoredCookiesBack)
{
    EXPECT_EQ(fetch(client, server.url("/set-cookie")).text, "cookie set\n");
    fetch(client, server.url("/b.txt"));
    EXPECT_TRUE(server.waitForAccessLog("\"GET /b.txt HTTP/1.1\" 200 11 conn="));
    EXPECT_NE(server.accessLog().find("cookie=\"session=abc123\""), std::string::npos)
        << server.accessLog();
}

TEST_F(Nginx, ReportsResolvingAndConnecting)
{
    std::vector<std::string> statuses;
    client.OnStatus = [&](TIdStatus, const std::string& text) { statuses.push_back(text); };
    EXPECT_EQ(fetch(client, "http://LocalHost:" + std::to_string(server.port()) + "/b.txt").text,
              "plain text\n");
    const std::vector<std::string> expected{"Disconnecting.", "Disconnected.",
                                            "Resolving hostname LocalHost.",
                                            "Connecting to 127.0.0.1.", "Connected."};
    EXPECT_EQ(statuses, expected);
}

TEST_F(Nginx, BoundedConnectAndReadTimeout)
{
    // A read limit also bounds the connect, which then runs without blocking.
    client.SetReadTimeout(500);
    EXPECT_EQ(fetch(client, server.url("/b.txt")).text, "plain text\n");
    const Outcome slow = fetch(client, server.url("/slow"));
    EXPECT_EQ(slow.error, "EIdReadTimeout");
    EXPECT_EQ(slow.message, "Read Timeout");
}

class Proxy : public Nginx
{
protected:
    Proxy() : proxy("kavor", "s3cret")
    {
        client.ProxyParams().SetProxyServer("127.0.0.1");
        client.ProxyParams().SetProxyPort(proxy.port());
    }

    TinyProxy proxy;
};

TEST_F(Proxy, WithoutCredentialsTheProxyRefuses)
{
    client.ProxyParams().SetProxyPassword("unused");
    const Outcome refused = fetch(client, server.url("/b.txt"));
    EXPECT_EQ(refused.error, "EIdHTTPProtocolException");
    EXPECT_EQ(refused.message, "HTTP/1.0 407 Proxy Authentication Required");
    EXPECT_EQ(client.ProxyParams().ProxyPassword(), "");
}

TEST_F(Proxy, WithCredentialsFilesArriveThroughIt)
{
    client.ProxyParams().SetBasicAuthentication(true);
    client.ProxyParams().SetProxyUsername("kavor");
    client.ProxyParams().SetProxyPassword("s3cret");
    // The proxy closes its client connection after every answer; the client notices and
    // connects again.
    EXPECT_TRUE(delivered(fetch(client, server.url("/a.bin")), kBinary));
    EXPECT_EQ(fetch(client, server.url("/b.txt")).text, "plain text\n");
    EXPECT_TRUE(delivered(fetch(client, "a.bin"), kBinary));
    const std::string absolute = "GET http://127.0.0.1:" + std::to_string(server.port());
    ASSERT_TRUE(proxy.waitForLog(absolute + "/b.txt HTTP/1.1")) << proxy.log();
    EXPECT_EQ(countOf(proxy.log(), absolute + "/a.bin HTTP/1.1"), 2u);
}

TEST_F(Proxy, WrongCredentialsAreRefused)
{
    client.ProxyParams().SetBasicAuthentication(true);
    client.ProxyParams().SetProxyUsername("kavor");
    client.ProxyParams().SetProxyPassword("wrong");
    const Outcome refused = fetch(client, server.url("/b.txt"));
    EXPECT_EQ(refused.error, "EIdHTTPProtocolException");
    // This proxy version answers wrong credentials with 401 rather than 407.
    EXPECT_EQ(refused.message.substr(0, 13), "HTTP/1.0 401 ");
}

class Faults : public ::testing::Test
{
protected:
    FaultServer server;
    TIdHTTP client;
};

struct FaultCase
{
    const char* path;
    std::string text;
    std::string error;
    std::string message;
    bool connected;
};

TEST_F(Faults, EachMisdeedHasItsOutcome)
{
    const FaultCase cases[] = {
        {"/ok", "hello", "", "", true},
        {"/close-after-status", "", "EIdConnClosedGracefully", "Connection Closed Gracefully.",
         false},
        {"/empty-reply", "", "EIdConnClosedGracefully", "Connection Closed Gracefully.", false},
        {"/truncated-body", std::string(40, 'x'), "", "", false},
        {"/reset-mid-body", std::string(40, 'r'), "EIdSocketError",
         "Socket Error # 10054\r\nConnection reset by peer.", false},
        {"/cut-headers", "", "EIdException", "Undefined situation", false},
        {"/close-delimited", "read until EOF\n", "", "", false},
        {"/connection-close", "closed", "", "", false},
        {"/lf-only", "abc", "", "", true},
        {"/continue-first", "ok", "", "", true},
        {"/chunked-ext-space", "helloabc", "", "", true},
        {"/chunked-odd", "0123456789abcdefghijklmnopXYABCDEFGHIJ", "", "", true},
        {"/chunked-bad-size", "hello", "EIdException", "Invalid chunk size in response body",
         false},
        {"/chunked-overflow", "", "EIdException", "Response body exceeds 2147483647 bytes", false},
        {"/chunked-truncated", "0123456789", "EIdConnClosedGracefully",
         "Connection Closed Gracefully.", false},
        {"/long-line-lf", "ok", "", "", true},
        {"/long-line-crlf", "", "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.",
         false},
        {"/garbage", "", "EIdHTTPProtocolException", "SSH-2.0-not-http", false},
        {"/proxy-auth", "", "EIdHTTPProtocolException",
         "HTTP/1.1 407 Proxy Authentication Required", true},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.path);
        // A client per case: a case that leaves the connection open must not feed the next.
        TIdHTTP fresh;
        const Outcome outcome = fetch(fresh, server.url(c.path));
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_EQ(outcome.text, c.text);
        EXPECT_EQ(outcome.connected, c.connected);
    }
}

TEST_F(Faults, LaterRequestsCarryCookieAndChallengeAnswers)
{
    EXPECT_EQ(fetch(client, server.url("/set-cookie")).text, "set");
    EXPECT_EQ(fetch(client, server.url("/unauthorized")).message, "HTTP/1.1 401 Unauthorized");
    const std::string head = fetch(client, server.url("/echo-request")).text;
    EXPECT_NE(head.find("\r\nAuthorization: Basic Og==\r\nCookie: sid=abc123\r\n\r\n"),
              std::string::npos)
        << head;
}

TEST_F(Faults, StaleKeptAliveConnectionIsReplaced)
{
    EXPECT_EQ(fetch(client, server.url("/stale-keepalive")).text, "ok");
    // Let the server's close arrive before the next request looks.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(fetch(client, server.url("/ok")).text, "hello");
}

TEST_F(Faults, ErrorBodyThatNeverEndsTimesOut)
{
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = fetch(client, server.url("/not-found-no-length"));
    EXPECT_EQ(outcome.error, "EIdReadTimeout");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    // The client's own read limit is back.
    EXPECT_EQ(client.ReadTimeout(), TIdHTTP::kDefaultReadTimeoutMs);
}

// A server that never stops sending: the body ends at the client's bound instead of in memory
// exhaustion, and the connection goes (what it still carries is no longer an answer).
TEST_F(Faults, EndlessBodiesEndAtTheClientsBound)
{
    constexpr std::int64_t kBound = 1 << 20;
    client.MaxBodyBytes = kBound;
    for (const char* path : {"/endless-body", "/endless-chunked", "/huge-length"}) {
        SCOPED_TRACE(path);
        const Outcome outcome = fetch(client, server.url(path));
        EXPECT_EQ(outcome.error, "EIdException");
        EXPECT_EQ(outcome.message, "Response body exceeds 1048576 bytes");
        EXPECT_LE(static_cast<std::int64_t>(outcome.text.size()), kBound);
        EXPECT_FALSE(outcome.connected);
    }
    // The announced length alone is enough to refuse, at the bound the program runs with.
    TIdHTTP unbounded;
    const Outcome announced = fetch(unbounded, server.url("/huge-length"));
    EXPECT_EQ(announced.message, "Response body exceeds 2147483647 bytes");
    EXPECT_EQ(announced.text, "");
}

TEST_F(Faults, ProxyRequestLineNamesPort80)
{
    // The fault server stands in for a proxy; the host is never looked up.
    client.ProxyParams().SetProxyServer("localhost");
    client.ProxyParams().SetProxyPort(server.port());
    client.ProxyParams().SetBasicAuthentication(true);
    client.ProxyParams().SetProxyUsername("user");
    client.ProxyParams().SetProxyPassword("pass");
    const std::string head = fetch(client, "http://update.example/echo-request").text;
    EXPECT_EQ(head, "GET http://update.example:80/echo-request HTTP/1.1\r\n"
                    "Content-Type: text/html\r\nHost: update.example\r\n"
                    "Accept: text/html, */*\r\n"
                    "User-Agent: Mozilla/3.0 (compatible; Kavor Updater)\r\n"
                    "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n\r\n");
}

TEST_F(Faults, SendingToAResetPeerIsAnErrorNotASignal)
{
    TIdTCPClient raw;
    raw.SetHost("127.0.0.1");
    raw.SetPort(server.port());
    raw.OpenConnection(0);
    raw.WriteText("GET /reset HTTP/1.1\r\n\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    try {
        for (int i = 0; i < 100; ++i)
            raw.WriteText(std::string(65536, 'x'));
        FAIL() << "sending never failed";
    } catch (const EIdSocketError& e) {
        EXPECT_TRUE(e.Code() == 10053 || e.Code() == 10054 || e.Code() == 10058) << e.what();
    }
    EXPECT_FALSE(raw.IsConnected());
}

// A peer on 127.0.0.1 that takes one connection, reads the request and then says only what the
// test tells it to, when the test tells it to.
class SilentPeer
{
public:
    SilentPeer() { m_listener = listenOnLoopback(1, m_port); }
    ~SilentPeer()
    {
        hangUp();
        ::close(m_listener);
    }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/file.zip"; }

    // Waits for the client's connection and reads its request head.
    void acceptRequest()
    {
        m_connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        std::string head;
        char buffer[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(m_connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            head.append(buffer, static_cast<std::size_t>(n));
        }
    }
    void say(const std::string& bytes)
    {
        ::send(m_connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Closes the connection: the client's wait ends with the peer's close.
    void hangUp()
    {
        if (m_connection >= 0)
            ::close(m_connection);
        m_connection = -1;
    }

private:
    int m_listener = -1;
    int m_connection = -1;
    std::uint16_t m_port = 0;
};

// A server that stops answering fails the request once no byte came for the read limit, at
// whatever point of the answer it went silent; a slow answer whose bytes keep coming does not.
TEST(SilentServer, FailsTheRequestAfterTheReadLimit)
{
    using namespace std::chrono_literals;
    struct Case
    {
        const char* name;
        std::string said; // before the silence
        std::string text;
    };
    const Case cases[] = {
        {"no answer at all", "", ""},
        {"silent inside the header block", "HTTP/1.1 200 OK\r\nContent-Le", ""},
        {"silent inside the body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n12345", "12345"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SilentPeer peer;
        TIdHTTP client;
        EXPECT_EQ(client.ReadTimeout(), TIdHTTP::kDefaultReadTimeoutMs);
        client.SetReadTimeout(300);
        auto outcome = std::async(std::launch::async, [&] { return fetch(client, peer.url()); });
        peer.acceptRequest();
        peer.say(c.said);
        ASSERT_EQ(outcome.wait_for(10s), std::future_status::ready) << "the client waits on";
        const Outcome result = outcome.get();
        EXPECT_EQ(result.error, "EIdReadTimeout");
        EXPECT_EQ(result.message, "Read Timeout");
        EXPECT_EQ(result.text, c.text);
        EXPECT_FALSE(result.connected) << "what the server may still send is no answer";
    }
}

TEST_F(Faults, SlowButMovingBodyNeverTimesOut)
{
    // Twenty bytes a tenth of a second apart: two seconds in all, under a limit of half of one.
    client.SetReadTimeout(500);
    EXPECT_TRUE(delivered(fetch(client, server.url("/slow-body")), std::string(20, '.')));
}

TEST(SocketErrors, RefusedAndUnknownHosts)
{
    TIdHTTP client;
    client.ConnectTimeout = 0; // the platform's own limit
    const Outcome refused =
        fetch(client, "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/");
    EXPECT_EQ(refused.error, "EIdSocketError");
    EXPECT_EQ(refused.message, "Socket Error # 10061\r\nConnection refused.");
    EXPECT_FALSE(refused.connected);

    // With a limit (the default) the connect is bounded, and its failure is reported as such.
    client.ConnectTimeout = TIdHTTP::kDefaultConnectTimeoutMs;
    const Outcome bounded =
        fetch(client, "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/");
    EXPECT_EQ(bounded.error, "EIdConnectException");
    EXPECT_EQ(bounded.message, "Socket Error # 10061\r\nConnection refused.");

    // The empty label makes the resolver refuse the name before any query leaves the machine.
    const Outcome unknown = fetch(client, "http://no..such.host/");
    EXPECT_EQ(unknown.error, "EIdSocketError");
    EXPECT_EQ(unknown.message, "Socket Error # 11001\r\nHost not found.");

    try {
        std::string text;
        client.GetText("http://127.0.0.1:70000/", text);
        FAIL() << "no exception";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.Code(), 10049);
    }
}

TEST(SocketErrors, ConnectThatHangsTimesOut)
{
    // A listener that never accepts and whose queue is full leaves new connects unanswered.
    std::uint16_t port = 0;
    const int listener = listenOnLoopback(0, port);
    std::vector<platform::TcpSocket> fillers(4);
    bool full = false;
    for (auto& filler : fillers) {
        filler.open();
        filler.connect("127.0.0.1", port, 200, full);
        if (full)
            break;
    }
    ASSERT_TRUE(full);

    TIdHTTP client;
    client.ConnectTimeout = 300;
    const Outcome outcome = fetch(client, "http://127.0.0.1:" + std::to_string(port) + "/");
    EXPECT_EQ(outcome.error, "EIdConnectTimeout");
    EXPECT_EQ(outcome.message, "Connect timed out.");
    EXPECT_FALSE(outcome.connected);
    ::close(listener);
}

TEST(KavorGet, FetchesEachUrlAndReportsEachOutcome)
{
    NginxServer server;
    writeFile(server.docroot() / "one.zip", "first body");
    writeFile(server.docroot() / "two.zip", std::string(100000, 'z'));
    TempDir out;
    const std::string command = std::string(KAVOR_GET_PATH) + " " + server.url("/one.zip") + " " +
                                (out.path() / "1").string() + " " + server.url("/missing") + " " +
                                (out.path() / "2").string() + " " + server.url("/two.zip") + " " +
                                (out.path() / "3").string() + " " + server.url("/close/one.zip") +
                                " " + (out.path() / "4").string();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    EXPECT_EQ(::pclose(pipe), 1 << 8); // one URL failed
    EXPECT_EQ(output, "ok 10 connected=1\n"
                      "error EIdHTTPProtocolException HTTP/1.1 404 Not Found\n"
                      "ok 100000 connected=1\n"
                      "ok 10 connected=0\n");
    EXPECT_EQ(readFile(out.path() / "1"), "first body");
    EXPECT_EQ(readFile(out.path() / "3"), std::string(100000, 'z'));
    EXPECT_FALSE(std::filesystem::exists(out.path() / "2"));
}

} // namespace
