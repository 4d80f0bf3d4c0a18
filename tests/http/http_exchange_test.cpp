// The GET exchange driven through the scripted transport: each connect replays the next scripted
// server conversation, and what the client sent is recorded.

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "http/id_exception_redirect.h"
#include "http/id_http.h"
#include "platform/convert_error.h"
#include "scripted_io_handler.h"

using namespace http;

namespace {

using TEnd = TIdScriptedIOHandler::TEnd;
constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

// What one GetText came to.
struct Outcome
{
    std::string text;
    std::string error; // exception class, empty on success
    std::string message;
    bool connected = false;
};

std::string describe(const std::exception& e)
{
    if (const auto* id = dynamic_cast<const EIdException*>(&e))
        return id->ClassName();
    if (dynamic_cast<const platform::EConvertError*>(&e))
        return "EConvertError";
    return "std::exception";
}

Outcome fetch(TIdHTTP& client, const std::string& url)
{
    Outcome outcome;
    outcome.text = "untouched";
    try {
        client.GetText(url, outcome.text);
    } catch (const std::exception& e) {
        outcome.error = describe(e);
        outcome.message = e.what();
    }
    outcome.connected = client.IsConnected();
    return outcome;
}

class ScriptedExchange : public ::testing::Test
{
protected:
    ScriptedExchange()
    {
        client.SetIOHandler(&transport);
        client.SetHost("192.168.0.1");
    }
    void serve(std::string reply, TEnd end = TEnd::Silence, std::size_t bytesPerRecv = kWhole)
    {
        transport.AddConversation({std::move(reply), bytesPerRecv, end, 0});
    }
    std::string get(const std::string& url)
    {
        std::string body;
        client.GetText(url, body);
        return body;
    }
    const std::string& sent(std::size_t connection = 0) const
    {
        return transport.Sent().at(connection);
    }

    TIdScriptedIOHandler transport; // outlives the client, which closes it when destroyed
    TIdHTTP client;
};

const std::string kRequestTail = "Accept: text/html, */*\r\n"
                                 "User-Agent: Mozilla/3.0 (compatible; Kavor Updater)\r\n";

std::string headerLines(std::size_t count)
{
    std::string lines;
    for (std::size_t i = 0; i < count; ++i)
        lines += "X-H" + std::to_string(i) + ": v\r\n";
    return lines;
}

// The values of every header line of that name in the recorded requests.
std::vector<std::string> valuesOf(const std::string& requests, const std::string& name)
{
    std::vector<std::string> values;
    const std::string prefix = "\r\n" + name + ": ";
    for (auto at = requests.find(prefix); at != std::string::npos;
         at = requests.find(prefix, at + 1)) {
        const auto begin = at + prefix.size();
        values.push_back(requests.substr(begin, requests.find("\r\n", begin) - begin));
    }
    return values;
}

std::string repeated(const std::string& text, std::size_t times)
{
    std::string all;
    for (std::size_t i = 0; i < times; ++i)
        all += text;
    return all;
}

const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

// One conversation per row: the server's reply, how its connection ends, and what GetText
// makes of it. Every row is played whole and again one byte per receive.
struct ReplyCase
{
    const char* name;
    std::string reply;
    TEnd end;
    std::string text; // "untouched" when the body was empty
    std::string error;
    std::string message;
    bool connected;
};

const std::string kLongValue(16384 - 8, 'L');
const std::string kBadGateway = "HTTP/1.1 502 Bad Gateway";

const ReplyCase kReplies[] = {
    {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", TEnd::Silence, "hello", "", "",
     true},
    {"length zero leaves the text", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", TEnd::Silence,
     "untouched", "", "", true},
    {"until close", "HTTP/1.1 200 OK\r\n\r\nto the end", TEnd::Close, "to the end", "", "", false},
    {"connection close", "HTTP/1.1 200 OK\r\nConnection: Close \r\nContent-Length: 2\r\n\r\nok",
     TEnd::Silence, "ok", "", "", false},
    {"http 1.0 answer kept open", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", TEnd::Silence,
     "ok", "", "", true},
    {"lf line ends", "HTTP/1.1 200 OK\nContent-Length: 3\n\nabc", TEnd::Silence, "abc", "", "",
     true},
    {"length beats chunked",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\nabc", TEnd::Silence,
     "abc", "", "", true},
    {"no content", "HTTP/1.1 204 No Content\r\n\r\n", TEnd::Silence, "untouched", "", "", true},
    {"interim 100 skipped",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX: y\r\n\r\n"
     "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
     TEnd::Silence, "ok", "", "", true},
    {"99 interim answers",
     repeated(kContinue, 99) + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", TEnd::Silence,
     "ok", "", "", true},
    {"100 interim answers", repeated(kContinue, 100) + "HTTP/1.1 200 OK\r\n\r\n", TEnd::Silence,
     "untouched", "EIdException", "More than 100 interim responses", false},
    {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
     TEnd::Silence, "hello", "", "", true},
    {"chunked in capitals",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", TEnd::Silence,
     "ok", "", "", true},
    {"chunk extensions",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
     "5 "
     ";a=b\r\nhello\r\n3\t;c\r\nabc\r\n2;x=\"y\"\r\nZZ\r\n00000000000A\r\n0123456789\r\n0\r\n\r\n",
     TEnd::Silence, "helloabcZZ0123456789", "", "", true},
    {"chunk trailer",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\nT: 1\r\n\r\n",
     TEnd::Silence, "x", "", "", true},
    {"chunk size not hexadecimal",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\nzz\r\nbogus\r\n0\r\n\r\n",
     TEnd::Silence, "hello", "EIdException", "Invalid chunk size in response body", false},
    {"chunk size empty", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", TEnd::Silence,
     "untouched", "EIdException", "Invalid chunk size in response body", false},
    {"chunk size negative in 32 bits",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nabc", TEnd::Silence,
     "untouched", "EIdException", "Response body exceeds 2147483647 bytes", false},
    {"chunk size beyond 64 bits",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFF\r\nabc",
     TEnd::Silence, "untouched", "EIdException", "Response body exceeds 2147483647 bytes", false},
    {"chunk cut by close", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n20\r\n0123456789",
     TEnd::Close, "0123456789", "EIdConnClosedGracefully", "Connection Closed Gracefully.", false},
    {"length cut by close", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'x'),
     TEnd::Close, std::string(40, 'x'), "", "", false},
    {"length cut by reset", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'r'),
     TEnd::Reset, std::string(40, 'r'), "EIdSocketError",
     "Socket Error # 10054\r\nConnection reset by peer.", false},
    {"length beyond the bound", "HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\nabc",
     TEnd::Silence, "untouched", "EIdException", "Response body exceeds 2147483647 bytes", false},
    {"length beyond 64 bits",
     "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nabc", TEnd::Silence,
     "untouched", "EIdException", "Response body exceeds 2147483647 bytes", false},
    {"length no number", "HTTP/1.1 200 OK\r\nContent-Length: 12a\r\n\r\nabc", TEnd::Close, "abc",
     "", "", false},
    {"no reply", "", TEnd::Close, "untouched", "EIdConnClosedGracefully",
     "Connection Closed Gracefully.", false},
    {"close after status line", "HTTP/1.1 200 OK\r\n", TEnd::Close, "untouched",
     "EIdConnClosedGracefully", "Connection Closed Gracefully.", false},
    {"close inside status line", "HTTP/1.1 2", TEnd::Close, "untouched", "EIdConnClosedGracefully",
     "Connection Closed Gracefully.", false},
    {"2xx header block cut", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", TEnd::Close, "untouched",
     "EIdException", "Undefined situation", false},
    {"2xx header line cut", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Half", TEnd::Close,
     "untouched", "EIdException", "Undefined situation", false},
    {"not found keeps the connection", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone",
     TEnd::Silence, "untouched", "EIdHTTPProtocolException", "HTTP/1.1 404 Not Found", true},
    {"server error then close", kBadGateway + "\r\nConnection: close\r\n\r\noops", TEnd::Close,
     "untouched", "EIdHTTPProtocolException", kBadGateway, false},
    {"redirect not followed", "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n",
     TEnd::Silence, "untouched", "EIdHTTPProtocolException", "HTTP/1.1 302 Found", true},
    {"location on a 200",
     "HTTP/1.1 200 OK\r\nLocation: http://elsewhere/\r\nContent-Length: 2\r\n\r\nok", TEnd::Silence,
     "untouched", "EIdHTTPProtocolException", "HTTP/1.1 200 OK", true},
    {"not modified without body on a kept connection", "HTTP/1.1 304 Not Modified\r\n\r\n",
     TEnd::Silence, "untouched", "EIdReadTimeout", "Read Timeout", false},
    {"unauthorized", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\n", TEnd::Close,
     "untouched", "EIdHTTPProtocolException", "HTTP/1.1 401 Unauthorized", false},
    {"status line no http", "SSH-2.0-not-http\r\n\r\n", TEnd::Close, "untouched",
     "EIdHTTPProtocolException", "SSH-2.0-not-http", false},
    {"status code no number", "HTTP/1.1 2OO OK\r\nContent-Length: 0\r\n\r\n", TEnd::Silence,
     "untouched", "EIdHTTPProtocolException", "HTTP/1.1 2OO OK", true},
    {"header line at the limit with lf",
     "HTTP/1.1 200 OK\r\nX-Long: " + kLongValue + "\nContent-Length: 2\r\n\r\nok", TEnd::Silence,
     "ok", "", "", true},
    {"header line at the limit with crlf",
     "HTTP/1.1 200 OK\r\nX-Long: " + kLongValue + "\r\nContent-Length: 2\r\n\r\nok", TEnd::Silence,
     "untouched", "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", false},
    {"endless line", "HTTP/1.1 200 OK\r\nX-Long: " + std::string(70000, 'L'), TEnd::Silence,
     "untouched", "EIdReadLnMaxLineLengthExceeded", "Max line length exceeded.", false},
    {"1000 header lines", "HTTP/1.1 200 OK\r\n" + headerLines(999) + "Content-Length: 2\r\n\r\nok",
     TEnd::Silence, "ok", "", "", true},
    {"1001 header lines", "HTTP/1.1 200 OK\r\n" + headerLines(1000) + "Content-Length: 2\r\n\r\nok",
     TEnd::Silence, "untouched", "EIdException", "Response header block exceeds 1000 lines", false},
    {"content range not numbers",
     "HTTP/1.1 206 Partial\r\nContent-Range: bytes x-1/2\r\nContent-Length: 2\r\n\r\nok",
     TEnd::Silence, "untouched", "EConvertError", "'x' is not a valid integer value", false},
    {"content range numbers",
     "HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-1/2\r\nContent-Length: 2\r\n\r\nok",
     TEnd::Silence, "ok", "", "", true},
};

class ReplyTable : public ::testing::TestWithParam<std::size_t>
{};

TEST_P(ReplyTable, GivesTheExpectedOutcome)
{
    const ReplyCase& c = kReplies[GetParam() / 2];
    const std::size_t perRecv = GetParam() % 2 == 0 ? kWhole : 1;
    SCOPED_TRACE(std::string(c.name) + (perRecv == 1 ? ", byte by byte" : ""));
    TIdScriptedIOHandler transport;
    transport.AddConversation({c.reply, perRecv, c.end, 0});
    TIdHTTP client;
    client.SetIOHandler(&transport);
    const Outcome outcome = fetch(client, "http://host/file");
    EXPECT_EQ(outcome.error, c.error);
    EXPECT_EQ(outcome.message, c.message);
    EXPECT_EQ(outcome.text, c.text);
    EXPECT_EQ(outcome.connected, c.connected);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyTable,
                         ::testing::Range<std::size_t>(0, 2 * std::size(kReplies)));

// Whether a body is whole is told by its framing alone, never by what happens to the connection
// afterwards: a "Connection: close" answer with every announced byte is whole, a kept-alive one
// cut short by the close is not.
TEST(BodyEnd, FollowsTheFramingNotTheConnection)
{
    struct Case
    {
        const char* name;
        std::string reply;
        TEnd end;
        TIdBodyEnd expected;
        std::int64_t bytes;
    };
    const Case cases[] = {
        {"length, connection kept", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
         TEnd::Silence, TIdBodyEnd::Complete, 5},
        {"length, then the server closes",
         "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello", TEnd::Close,
         TIdBodyEnd::Complete, 5},
        {"length cut by the close", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello",
         TEnd::Close, TIdBodyEnd::CutShort, 5},
        {"length zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", TEnd::Close,
         TIdBodyEnd::Complete, 0},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", TEnd::Silence, TIdBodyEnd::Complete, 0},
        {"chunks to the last one",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         TEnd::Close, TIdBodyEnd::Complete, 5},
        {"chunk cut by the close",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nhello", TEnd::Close,
         TIdBodyEnd::NotRead, 5},
        {"chunks without the last one",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", TEnd::Close,
         TIdBodyEnd::NotRead, 5},
        {"until the server closes", "HTTP/1.0 200 OK\r\n\r\nto the end", TEnd::Close,
         TIdBodyEnd::ServerClose, 10},
    };
    for (const Case& c : cases) {
        for (const std::size_t perRecv : {kWhole, std::size_t{1}}) {
            SCOPED_TRACE(std::string(c.name) + (perRecv == 1 ? ", byte by byte" : ""));
            TIdScriptedIOHandler transport;
            transport.AddConversation({c.reply, perRecv, c.end, 0});
            TIdHTTP client;
            client.SetIOHandler(&transport);
            TIdStringStream body;
            try {
                client.GetToStream("http://host/file", body);
            } catch (const EIdException&) {
                // Only how the body ended matters here.
            }
            EXPECT_EQ(client.LastBodyEnd(), c.expected);
            EXPECT_EQ(body.Size(), c.bytes);
            if (c.expected != TIdBodyEnd::NotRead) {
                EXPECT_EQ(client.LastBodyBytes(), c.bytes);
            }
        }
    }
}

TEST_F(ScriptedExchange, WritesTheRequestInItsFixedForm)
{
    serve("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host/download/update/");
    EXPECT_EQ(sent(),
              "GET /download/update/ HTTP/1.1\r\nContent-Type: text/html\r\nHost: host\r\n" +
                  kRequestTail + "\r\n");
    EXPECT_EQ(transport.ConnectTargets(), std::vector<std::string>{"host:80"});
}

TEST_F(ScriptedExchange, HostHeaderCarriesAPortOtherThan80)
{
    serve("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host:8080/a b%20c\\d.zip");
    EXPECT_EQ(sent(),
              "GET /a b%20c/d.zip HTTP/1.1\r\nContent-Type: text/html\r\nHost: host:8080\r\n" +
                  kRequestTail + "\r\n");
}

TEST_F(ScriptedExchange, ProxyGetsTheAbsoluteUrlAndItsCredentials)
{
    auto& proxy = client.ProxyParams();
    proxy.SetProxyServer("proxy");
    proxy.SetProxyPort(3128);
    proxy.SetBasicAuthentication(true);
    proxy.SetProxyUsername("user");
    proxy.SetProxyPassword("pass");
    serve("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host/download/update/");
    EXPECT_EQ(sent(), "GET http://host:80/download/update/ HTTP/1.1\r\nContent-Type: text/html\r\n"
                      "Host: host\r\n" +
                          kRequestTail + "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n\r\n");
    EXPECT_EQ(transport.ConnectTargets(), std::vector<std::string>{"proxy:3128"});
}

TEST_F(ScriptedExchange, Http10AsksForKeepAliveAndKeepsOnlyWhatIsGranted)
{
    client.ProtocolVersion = TIdHTTPProtocolVersion::pv1_0;
    serve("HTTP/1.1 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 1\r\n\r\n1"
          "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n2");
    EXPECT_EQ(get("http://host/a"), "1");
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(get("http://host/b"), "2");
    EXPECT_FALSE(client.IsConnected()); // no keep-alive granted
    EXPECT_EQ(sent(0), "GET /a HTTP/1.0\r\nConnection: keep-alive\r\nContent-Type: text/html\r\n"
                       "Host: host\r\n" +
                           kRequestTail +
                           "\r\nGET /b HTTP/1.0\r\nConnection: keep-alive\r\n"
                           "Content-Type: text/html\r\nHost: host\r\n" +
                           kRequestTail + "\r\n");

    TIdScriptedIOHandler proxied;
    proxied.AddConversation({"HTTP/1.0 200 OK\r\nProxy-Connection: keep-alive\r\n"
                             "Content-Length: 1\r\n\r\n3",
                             kWhole, TEnd::Silence, 0});
    TIdHTTP viaProxy;
    viaProxy.SetIOHandler(&proxied);
    viaProxy.ProtocolVersion = TIdHTTPProtocolVersion::pv1_0;
    viaProxy.ProxyParams().SetProxyServer("proxy");
    viaProxy.ProxyParams().SetProxyPort(8080);
    std::string body;
    viaProxy.GetText("http://host/c", body);
    EXPECT_EQ(body, "3");
    EXPECT_TRUE(viaProxy.IsConnected());
    EXPECT_EQ(proxied.Sent().at(0), "GET http://host:80/c HTTP/1.0\r\nContent-Type: text/html\r\n"
                                    "Proxy-Connection: keep-alive\r\nHost: host\r\n" +
                                        kRequestTail + "\r\n");
}

TEST_F(ScriptedExchange, EmptyProxyCredentialsStillSendTheHeader)
{
    client.ProxyParams().SetProxyServer("proxy");
    client.ProxyParams().SetProxyPort(3128);
    client.ProxyParams().SetBasicAuthentication(true);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host/");
    EXPECT_NE(sent().find("\r\nProxy-Authorization: Basic Og==\r\n"), std::string::npos);
}

TEST_F(ScriptedExchange, ProxyCredentialsNeverGoToAnOriginServer)
{
    // The update run turns the login on with the proxy; with no proxy server named the request
    // goes straight to the origin, which must not see the proxy password.
    client.ProxyParams().SetBasicAuthentication(true);
    client.ProxyParams().SetProxyUsername("user");
    client.ProxyParams().SetProxyPassword("pass");
    serve("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host/");
    EXPECT_EQ(sent().find("Proxy-Authorization"), std::string::npos);
}

TEST_F(ScriptedExchange, CachedProxyAuthorizationFollowsSettingChanges)
{
    auto& proxy = client.ProxyParams();
    proxy.SetProxyServer("proxy");
    proxy.SetProxyPort(3128);
    proxy.SetBasicAuthentication(true);
    proxy.SetProxyUsername("user");
    proxy.SetProxyPassword("one");
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    serve(ok + ok + ok + ok);
    get("http://host/");
    proxy.SetProxyServer("PROXY"); // the same server
    proxy.SetProxyPort(3128);
    proxy.SetProxyPassword("one");
    get("http://host/");
    proxy.SetProxyPassword("two");
    get("http://host/");
    proxy.SetProxyUsername("x");
    get("http://host/");
    EXPECT_EQ(valuesOf(sent(), "Proxy-Authorization"),
              (std::vector<std::string>{"Basic dXNlcjpvbmU=", "Basic dXNlcjpvbmU=", // user:one
                                        "Basic dXNlcjp0d28=",                       // user:two
                                        "Basic eDp0d28="}));                        // x:two
}

TEST_F(ScriptedExchange, RefusedProxyLoginForgetsThePassword)
{
    auto& proxy = client.ProxyParams();
    proxy.SetProxyServer("proxy");
    proxy.SetProxyPort(3128);
    proxy.SetBasicAuthentication(true);
    proxy.SetProxyUsername("user");
    proxy.SetProxyPassword("wrong");
    const std::string refused =
        "HTTP/1.1 407 Proxy Authentication Required\r\n"
        "Proxy-Authenticate: Basic realm=\"p\"\r\nContent-Length: 0\r\n\r\n";
    serve(refused + refused + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    const Outcome first = fetch(client, "http://host/");
    EXPECT_EQ(first.error, "EIdHTTPProtocolException");
    EXPECT_EQ(first.message, "HTTP/1.1 407 Proxy Authentication Required");
    EXPECT_EQ(proxy.ProxyPassword(), "");
    // The refused credentials stay cached until a setting changes.
    EXPECT_EQ(fetch(client, "http://host/").error, "EIdHTTPProtocolException");
    proxy.SetProxyPassword("right");
    EXPECT_EQ(get("http://host/"), "ok");
    EXPECT_EQ(valuesOf(sent(), "Proxy-Authorization"),
              (std::vector<std::string>{"Basic dXNlcjp3cm9uZw==", "Basic dXNlcjp3cm9uZw==",
                                        "Basic dXNlcjpyaWdodA=="})); // user:wrong twice, user:right
}

TEST_F(ScriptedExchange, ServerChallengeLeavesAnEmptyBasicAuthorization)
{
    serve("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
          "Content-Length: 6\r\n\r\ndenied"
          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    try {
        get("http://host/a");
        FAIL() << "no exception";
    } catch (const EIdHTTPProtocolException& e) {
        EXPECT_EQ(e.ReplyErrorCode(), 401);
        EXPECT_EQ(e.ErrorMessage(), "denied");
    }
    EXPECT_EQ(sent().find("Authorization"), std::string::npos);
    get("http://host/b");
    EXPECT_NE(sent().find("GET /b HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(sent().find("\r\nAuthorization: Basic Og==\r\n"), std::string::npos);
}

TEST_F(ScriptedExchange, KeptAliveConnectionServesTheNextRequest)
{
    serve("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none"
          "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\ntwo\r\n0\r\nT: x\r\n\r\n"
          "HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\n!"
          "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nthree");
    EXPECT_EQ(get("http://host/download/update/"), "one");
    EXPECT_EQ(get("b.zip"), "two");
    EXPECT_THROW(get("../missing.zip"), EIdHTTPProtocolException);
    EXPECT_EQ(get("/c.zip"), "three");
    EXPECT_EQ(transport.ConnectTargets().size(), 1u);
    const std::string& requests = sent();
    EXPECT_NE(requests.find("GET /download/update/b.zip HTTP/1.1"), std::string::npos);
    EXPECT_NE(requests.find("GET /download/missing.zip HTTP/1.1"), std::string::npos);
    EXPECT_NE(requests.find("GET /c.zip HTTP/1.1"), std::string::npos);
}

TEST_F(ScriptedExchange, ReconnectsWhenTheConnectionCannotBeReused)
{
    // Said close; closed while idle (a proxy that never keeps connections); reset while idle;
    // another endpoint.
    serve("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\n1", TEnd::Silence);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n2", TEnd::Close);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n3", TEnd::Reset);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n4", TEnd::Silence);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n5", TEnd::Silence);
    EXPECT_EQ(get("http://host/"), "1");
    EXPECT_EQ(get("http://host/"), "2");
    EXPECT_EQ(get("http://host/"), "3");
    EXPECT_EQ(get("http://host/"), "4");
    EXPECT_EQ(get("http://other:81/"), "5");
    EXPECT_EQ(transport.ConnectTargets(),
              (std::vector<std::string>{"host:80", "host:80", "host:80", "host:80", "other:81"}));
}

TEST_F(ScriptedExchange, RequestMeetingAnIdleCloseGoesAgainOnce)
{
    // The kept-alive connection looks open when the request leaves, but the server has dropped
    // it: the request goes again on a new connection. When that one fails as well, the failure
    // stands.
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n1", TEnd::CloseOnNextRequest);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n2", TEnd::CloseOnNextRequest);
    serve("", TEnd::Close);
    serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n3", TEnd::Silence);
    EXPECT_EQ(get("http://host/a"), "1");
    EXPECT_EQ(get("http://host/b"), "2");
    const Outcome failed = fetch(client, "http://host/c");
    EXPECT_EQ(failed.error, "EIdConnClosedGracefully");
    EXPECT_EQ(get("http://host/d"), "3");
    EXPECT_EQ(transport.ConnectTargets().size(), 4u);
    EXPECT_NE(sent(1).find("GET /b HTTP/1.1"), std::string::npos);
    EXPECT_NE(sent(2).find("GET /c HTTP/1.1"), std::string::npos);
}

TEST_F(ScriptedExchange, CookiesGoBackToTheirServer)
{
    serve("HTTP/1.1 100 Continue\r\nSet-Cookie: early=1; path=/\r\n\r\n"
          "HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/download/\r\n"
          "Set-Cookie: nopath=1\r\nContent-Length: 0\r\n\r\n"
          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"
          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host/download/");
    EXPECT_EQ(sent().find("Cookie"), std::string::npos);
    get("http://host/download/update/a.zip");
    EXPECT_NE(sent().find("User-Agent: Mozilla/3.0 (compatible; Kavor Updater)\r\n"
                          "Cookie: sid=abc; early=1\r\n\r\n"),
              std::string::npos);
    get("http://host/other/");
    EXPECT_NE(sent().rfind("Cookie: early=1\r\n\r\n"), std::string::npos);
}

TEST_F(ScriptedExchange, WithoutCookiesAllowedNoneAreKept)
{
    client.AllowCookies = false;
    serve("HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; path=/\r\nContent-Length: 0\r\n\r\n"
          "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    get("http://host/");
    get("http://host/");
    EXPECT_EQ(client.CookieManager(), nullptr);
    EXPECT_EQ(sent().find("Cookie"), std::string::npos);
}

TEST_F(ScriptedExchange, RequestsThatNeverLeave)
{
    const std::pair<const char*, const char*> cases[] = {
        {"https://host/a", "IOHandler value is not valid"},
        {"ftp://host/a", ""},
        {"http://host:8o/a", "'8o' is not a valid integer value"},
        {"http://host/a\r\nX-Injected: 1", "URL contains a line break"},
    };
    for (const auto& [url, message] : cases) {
        const Outcome outcome = fetch(client, url);
        EXPECT_EQ(outcome.message, message) << url;
        EXPECT_FALSE(outcome.error.empty()) << url;
    }
    EXPECT_TRUE(transport.ConnectTargets().empty());
}

TEST_F(ScriptedExchange, FollowsRedirectsOnlyWhenAskedAndOnlySoFar)
{
    client.HandleRedirects = true;
    client.RedirectMaximum = 3;
    const std::string again =
        "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 3\r\n\r\nabc";
    serve("HTTP/1.1 301 Moved\r\nLocation: /new/place\r\nContent-Length: 0\r\n\r\n"
          "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nhere" +
          again + again + again + again);
    EXPECT_EQ(get("http://host/old"), "here");
    EXPECT_NE(sent().find("GET /new/place HTTP/1.1"), std::string::npos);
    // Three redirects are followed; the fourth in a row ends the request.
    try {
        get("http://host/loop");
        FAIL() << "no exception";
    } catch (const EIdTooManyRedirects& e) {
        EXPECT_STREQ(e.what(), "Too many redirects (more than 3)");
    }
    std::size_t loops = 0;
    for (auto at = sent().find("GET /loop "); at != std::string::npos;
         at = sent().find("GET /loop ", at + 1))
        ++loops;
    EXPECT_EQ(loops, 4u);
}

TEST_F(ScriptedExchange, ReportsProgressOfTheBody)
{
    std::vector<std::string> events;
    client.OnWorkBegin = [&](TIdWorkMode mode, std::int64_t total) {
        if (mode == TIdWorkMode::wmRead)
            events.push_back("begin " + std::to_string(total));
    };
    client.OnWork = [&](TIdWorkMode mode, std::int64_t done) {
        if (mode == TIdWorkMode::wmRead)
            events.push_back(std::to_string(done));
    };
    client.OnWorkEnd = [&](TIdWorkMode mode) {
        if (mode == TIdWorkMode::wmRead)
            events.push_back("end");
    };
    serve("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789", TEnd::Silence, 4);
    get("http://host/");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "begin 10");
    EXPECT_EQ(events[events.size() - 2], "10");
    EXPECT_EQ(events.back(), "end");
}

// Room is made for an announced body before it arrives; never more than the client's bound,
// however many chunks announce how much.
TEST_F(ScriptedExchange, RoomMadeForABodyStaysWithinTheBound)
{
    class RecordingStream : public TIdStringStream
    {
    public:
        void Reserve(std::int64_t size) override
        {
            largest = std::max(largest, size);
            TIdStringStream::Reserve(size);
        }
        std::int64_t largest = 0;
    };
    client.MaxBodyBytes = 1000;
    serve("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3E8\r\n" + std::string(1000, 'a') +
          "\r\n3E8\r\n" + std::string(1000, 'b') + "\r\n0\r\n\r\n");
    RecordingStream body;
    try {
        client.GetToStream("http://host/", body);
        FAIL() << "the second chunk went beyond the bound";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Response body exceeds 1000 bytes");
    }
    EXPECT_EQ(body.largest, 1000);
    EXPECT_EQ(body.Data(), std::string(1000, 'a'));
}

TEST(ScriptedFaults, EveryFailingStepEndsInAnExceptionAndTheClientRecovers)
{
    // The operation that fails walks from the connect through every wait, receive and send of
    // a two-request exchange, until the exchange no longer reaches it.
    const std::string reply =
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nContent-Length: 5\r\n\r\nhello"
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n";
    for (int step = 0;; ++step) {
        SCOPED_TRACE("failing step " + std::to_string(step));
        TIdScriptedIOHandler transport;
        transport.AddConversation({reply, 7, TEnd::Silence, 0});
        transport.AddConversation({reply, kWhole, TEnd::Silence, 0});
        transport.AddConversation({reply, kWhole, TEnd::Silence, 0});
        transport.FailAtStep(step, 10054);
        TIdHTTP client;
        client.SetIOHandler(&transport);
        int failures = 0;
        for (const char* url : {"http://host/a", "http://host/b"}) {
            std::string body;
            try {
                client.GetText(url, body);
            } catch (const EIdException&) {
                ++failures;
            }
        }
        // Whatever failed before, a fresh request on a fresh connection works.
        client.CloseConnection();
        std::string body;
        client.GetText("http://host/a", body);
        EXPECT_EQ(body, "hello");
        if (failures == 0) {
            EXPECT_GT(step, 10);
            break;
        }
        ASSERT_LT(step, 10000);
    }
}

} // namespace
