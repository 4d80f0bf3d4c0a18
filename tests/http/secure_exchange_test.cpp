// The CONNECT tunnel and the redirect policy driven through the scripted transport, which
// accepts StartTLS and passes the tunnel's bytes as they are, and the resolution of references.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fetch_outcome.h"
#include "http/id_http.h"
#include "http/id_url_reference.h"
#include "scripted_io_handler.h"

using namespace http;
using testing_support::Outcome;

namespace {

using TEnd = TIdScriptedIOHandler::TEnd;

class SecureExchange : public ::testing::Test
{
protected:
    SecureExchange()
    {
        transport.AcceptTLS(true);
        client.SetIOHandler(&transport);
    }
    void serve(std::string reply, TEnd end = TEnd::Silence)
    {
        transport.AddConversation({std::move(reply), 1, end, 0});
    }
    Outcome fetch(const std::string& url) { return testing_support::fetch(client, url); }
    void useProxy()
    {
        auto& proxy = client.ProxyParams();
        proxy.SetProxyServer("proxy");
        proxy.SetProxyPort(3128);
        proxy.SetBasicAuthentication(true);
        proxy.SetProxyUsername("user");
        proxy.SetProxyPassword("pass");
    }

    TIdScriptedIOHandler transport;
    TIdHTTP client;
};

const std::string kAgent = "User-Agent: Mozilla/3.0 (compatible; Kavor Updater)\r\n";
const std::string kEstablished = "HTTP/1.0 200 Connection established\r\nProxy-agent: p/1\r\n\r\n";

TEST_F(SecureExchange, TunnelCarriesOriginFormRequestsWithoutTheProxysCredentials)
{
    useProxy();
    serve(kEstablished + "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none" +
          "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo");
    EXPECT_EQ(fetch("https://origin/a.zip").text, "one");
    EXPECT_EQ(fetch("https://origin/b.zip").text, "two");
    EXPECT_EQ(transport.ConnectTargets(), std::vector<std::string>{"proxy:3128"});
    EXPECT_EQ(transport.TLSStarts(), std::vector<std::string>{"origin"});
    EXPECT_EQ(transport.Sent().at(0),
              "CONNECT origin:443 HTTP/1.1\r\nHost: origin:443\r\n"
              "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n" +
                  kAgent + "\r\n" +
                  "GET /a.zip HTTP/1.1\r\nContent-Type: text/html\r\nHost: origin:443\r\n"
                  "Accept: text/html, */*\r\n" +
                  kAgent + "\r\n" +
                  "GET /b.zip HTTP/1.1\r\nContent-Type: text/html\r\nHost: origin:443\r\n"
                  "Accept: text/html, */*\r\n" +
                  kAgent + "\r\n");
}

TEST_F(SecureExchange, EachOriginAndSchemeGetsItsOwnConnection)
{
    useProxy();
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    serve(kEstablished + ok);
    serve(kEstablished + ok);
    serve(ok);
    EXPECT_EQ(fetch("https://one/a").text, "ok");
    EXPECT_EQ(fetch("https://two:8443/a").text, "ok");
    EXPECT_EQ(fetch("http://two:8443/a").text, "ok");
    EXPECT_EQ(transport.ConnectTargets().size(), 3u);
    EXPECT_EQ(transport.Sent().at(1).substr(0, 32), "CONNECT two:8443 HTTP/1.1\r\nHost:");
    EXPECT_EQ(transport.Sent().at(2).substr(0, 31), "GET http://two:8443/a HTTP/1.1\r");
}

TEST_F(SecureExchange, RefusedOrBrokenTunnelsEndTheRequest)
{
    struct Case
    {
        const char* name;
        std::string reply;
        TEnd end;
        std::string error;
        std::string message;
    };
    const Case cases[] = {
        {"407", "HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
         TEnd::Close, "EIdProxyConnectRefused",
         "Proxy refused CONNECT: 407 Proxy Authentication Required"},
        {"403 with a body", "HTTP/1.1 403 Access violation\r\nContent-Length: 4\r\n\r\nnope",
         TEnd::Silence, "EIdProxyConnectRefused", "Proxy refused CONNECT: 403 Access violation"},
        {"no status text", "HTTP/1.1 502\r\n\r\n", TEnd::Close, "EIdProxyConnectRefused",
         "Proxy refused CONNECT: 502"},
        {"bytes after the answer", kEstablished + "\x16\x03\x01", TEnd::Silence, "EIdException",
         "Proxy sent data after its CONNECT answer"},
        {"closed at once", "", TEnd::Close, "EIdConnClosedGracefully",
         "Connection Closed Gracefully."},
    };
    useProxy();
    for (const Case& c : cases) {
        transport.AddConversation({c.reply, 1000, c.end, 0});
        const Outcome outcome = fetch("https://origin/a.zip");
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(outcome.message, c.message) << c.name;
        EXPECT_EQ(outcome.text, "") << c.name;
        EXPECT_FALSE(client.IsConnected()) << c.name;
    }
    // No request ever went out for the origin, and no TLS session was begun.
    for (const std::string& sent : transport.Sent())
        EXPECT_EQ(sent.find("GET "), std::string::npos) << sent;
    EXPECT_TRUE(transport.TLSStarts().empty());
    // A 407 forgets the password, as it does for a GET through the proxy.
    EXPECT_EQ(client.ProxyParams().ProxyPassword(), "");
}

TEST_F(SecureExchange, TransportWithoutTlsRefusesHttpsBeforeConnecting)
{
    transport.AcceptTLS(false);
    useProxy();
    for (const char* url : {"https://origin/a", "https://origin:8443/a"}) {
        const Outcome outcome = fetch(url);
        EXPECT_EQ(outcome.error, "EIdIOHandlerPropInvalid") << url;
    }
    EXPECT_TRUE(transport.ConnectTargets().empty());
}

std::string redirect(int code, const std::string& location)
{
    return "HTTP/1.1 " + std::to_string(code) + " R\r\nLocation: " + location +
           "\r\nContent-Length: 5\r\n\r\nmoved";
}

TEST_F(SecureExchange, RedirectsAreResolvedAgainstTheRequestUrl)
{
    client.HandleRedirects = true;
    client.RedirectMaximum = 5;
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nhere";
    // One conversation per connection: the host, port or scheme changes with every hop.
    serve(redirect(301, "https://secure/files/a.zip?v=1"));
    serve(redirect(308, "b.zip") + redirect(303, "../up/c.zip") + redirect(307, "/root.zip") +
          redirect(302, "//mirror/m.zip"));
    serve(ok);
    EXPECT_EQ(fetch("http://plain:8080/start").text, "here");
    EXPECT_EQ(transport.ConnectTargets(),
              (std::vector<std::string>{"plain:8080", "secure:443", "mirror:443"}));
    const std::string& secure = transport.Sent().at(1);
    for (const char* line : {"GET /files/a.zip?v=1 HTTP/1.1", "GET /files/b.zip HTTP/1.1",
                             "GET /up/c.zip HTTP/1.1", "GET /root.zip HTTP/1.1"})
        EXPECT_NE(secure.find(line), std::string::npos) << line << "\n" << secure;
    EXPECT_EQ(transport.Sent().at(2).substr(0, 25), "GET /m.zip HTTP/1.1\r\nCont");
    EXPECT_EQ(transport.TLSStarts(), (std::vector<std::string>{"secure", "mirror"}));
}

TEST_F(SecureExchange, RedirectsTheClientRefuses)
{
    client.HandleRedirects = true;
    client.RedirectMaximum = 2;
    struct Case
    {
        const char* name;
        const char* url;
        std::string replies;
        std::string error;
        std::string message;
    };
    const Case cases[] = {
        {"downgrade", "https://secure/a", redirect(302, "http://plain/a"), "EIdRedirectRefused",
         "Redirect from https to http refused"},
        {"other scheme", "http://plain/a", redirect(301, "ftp://files/a"), "EIdRedirectRefused",
         "Redirect to a scheme other than http and https refused"},
        {"third in a row", "http://plain/a",
         redirect(302, "/b") + redirect(302, "/c") + redirect(302, "/d"), "EIdTooManyRedirects",
         "Too many redirects (more than 2)"},
        {"300 is no redirect to follow", "http://plain/a", redirect(300, "/b"),
         "EIdHTTPProtocolException", "HTTP/1.1 300 R"},
        {"a 201 with a Location", "http://plain/a", redirect(201, "/b"), "EIdHTTPProtocolException",
         "HTTP/1.1 201 R"},
    };
    for (const Case& c : cases) {
        serve(c.replies);
        const Outcome outcome = fetch(c.url);
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(outcome.message, c.message) << c.name;
        EXPECT_EQ(outcome.text, "") << c.name;
        client.CloseConnection();
    }
    for (const std::string& sent : transport.Sent())
        EXPECT_EQ(sent.find("GET /d"), std::string::npos) << sent;
}

TEST(UrlReference, ResolvesLikeABrowser)
{
    const std::string base = "http://a:81/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a:81/b/c/g"},
        {"./g", "http://a:81/b/c/g"},
        {"g/", "http://a:81/b/c/g/"},
        {"/g", "http://a:81/g"},
        {"//g", "http://g/"},
        {"//g/x/../y", "http://g/y"},
        {"?y", "http://a:81/b/c/d;p?y"},
        {"g?y", "http://a:81/b/c/g?y"},
        {"#s", "http://a:81/b/c/d;p?q#s"},
        {"g#s", "http://a:81/b/c/g#s"},
        {"", "http://a:81/b/c/d;p?q"},
        {".", "http://a:81/b/c/"},
        {"..", "http://a:81/b/"},
        {"../g", "http://a:81/b/g"},
        {"../..", "http://a:81/"},
        {"../../../../g", "http://a:81/g"},
        {"/./g/.", "http://a:81/g/"},
        {"g/../h", "http://a:81/b/c/h"},
        {"https://other/x/../y", "https://other/x/../y"},
        {"HTTP://other", "HTTP://other"},
        {"kvo44302.zip", "http://a:81/b/c/kvo44302.zip"},
        {"files/a:b.zip", "http://a:81/b/c/files/a:b.zip"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(ResolveUrlReference(base, reference), expected) << reference;
    EXPECT_EQ(ResolveUrlReference("https://h", "x.zip"), "https://h/x.zip");
    EXPECT_EQ(ResolveUrlReference("https://h/dir/", "?q"), "https://h/dir/?q");
    // Without an absolute base nothing can be resolved.
    EXPECT_EQ(ResolveUrlReference("dir/page", "../x.zip"), "../x.zip");
    EXPECT_TRUE(HasUrlScheme("svn+ssh://h"));
    EXPECT_FALSE(HasUrlScheme("1http://h"));
    EXPECT_FALSE(HasUrlScheme(":x"));
}

} // namespace
