#include <chrono>

#include <gtest/gtest.h>

#include "http/id_cookie.h"
#include "http/id_cookie_manager.h"
#include "http/id_uri.h"
#include "internet_date.h"
#include "platform/convert_error.h"

using namespace http;

namespace {

std::int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

TEST(ParseCookie, ReadsNameValueAndAttributes)
{
    TIdCookieRFC2109 c;
    c.ParseCookie("SID=abc=def; path=\"/dl/\"; Domain=.kavor.ru; secure; Version=1; "
                  "comment=hi; max-age=abc;");
    EXPECT_EQ(c.Name, "SID");
    EXPECT_EQ(c.Value, "abc=def");
    EXPECT_EQ(c.Path, "/dl/");
    EXPECT_EQ(c.Domain, ".kavor.ru");
    EXPECT_TRUE(c.Secure);
    EXPECT_EQ(c.Version, "1");
    EXPECT_EQ(c.Comment, "hi");
    EXPECT_EQ(c.MaxAge, -1);
    EXPECT_EQ(c.Expires, "");

    // A later text replaces every attribute; one without "=" gives an empty name.
    c.ParseCookie("  lonely  ");
    EXPECT_EQ(c.Name, "");
    EXPECT_EQ(c.Value, "lonely");
    EXPECT_EQ(c.Path, "");
    EXPECT_EQ(c.Domain, "");
    EXPECT_FALSE(c.Secure);

    // The first attribute of a name wins; the expiry text is kept as sent.
    c.ParseCookie("a=b; PATH=/x/; path=/y/; expires=Sun, 06 Nov 1994 08:49:37 GMT; secure=1");
    EXPECT_EQ(c.Path, "/x/");
    EXPECT_EQ(c.Expires, "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_TRUE(c.Secure);
}

TEST(ParseCookie, MaxAgeBecomesALocalExpiryDate)
{
    TIdCookieRFC2109 c;
    const std::int64_t before = unixNow();
    c.ParseCookie("a=b; Max-Age=3600");
    const std::int64_t after = unixNow();
    EXPECT_EQ(c.MaxAge, 3600);
    const auto expiry = readInternetDate(c.Expires);
    ASSERT_TRUE(expiry) << c.Expires;
    EXPECT_GE(*expiry, before + 3600);
    EXPECT_LE(*expiry, after + 3600);

    // An expires attribute wins over max-age; a huge max-age still gives a readable date.
    c.ParseCookie("a=b; Max-Age=10; expires=Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(c.Expires, "Sun, 06 Nov 1994 08:49:37 GMT");
    c.ParseCookie("a=b; Max-Age=999999999999999999999");
    EXPECT_TRUE(readInternetDate(c.Expires)) << c.Expires;
}

TEST(ParseCookie, SetCookie2PortListMustBeNumbers)
{
    TIdCookieRFC2965 c;
    c.ParseCookie("a=b; Port=\"80,8080\"; Discard; CommentURL=http://x/");
    EXPECT_EQ(c.Ports, (std::vector<std::int32_t>{80, 8080}));
    EXPECT_TRUE(c.Discard);
    EXPECT_EQ(c.CommentURL, "http://x/");
    c.ParseCookie("a=b; Port");
    EXPECT_EQ(c.Ports, (std::vector<std::int32_t>{80}));
    try {
        c.ParseCookie("a=b; Port=\"80,x1\"");
        FAIL() << "no exception";
    } catch (const platform::EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x1' is not a valid integer value");
    }
}

TEST(ParseCookie, SurvivesHostileTexts)
{
    TIdCookieRFC2109 c;
    for (const char* text : {"", ";", ";;;", "=", "==;=;=", "a=b;=", "; path", "a=b; max-age=-",
                             "a=b; max-age=+", "a=b; path=\"", "a=b; expires=", "\"\"\""}) {
        c.ParseCookie(text);
        SCOPED_TRACE(text);
        EXPECT_FALSE(c.IsExpired(0) && c.Expires.empty());
    }
    for (int b = 0; b < 256; ++b)
        c.ParseCookie(std::string("a=") + static_cast<char>(b) + "; path=" + static_cast<char>(b));
}

// A store fed the way the client feeds it: Set-cookie values from a response of a host, then
// the Cookie header for a URL.
class CookieStoreTest : public ::testing::Test
{
protected:
    bool store(const std::string& value, const std::string& host = "www.kavor.ru")
    {
        return manager.StoreCookie(value, false, host);
    }
    std::string headerFor(const std::string& url)
    {
        return manager.CookieHeaderFor(TIdURI(url), false);
    }

    TIdCookieManager manager;
};

TEST_F(CookieStoreTest, SendsStoredCookiesBack)
{
    EXPECT_TRUE(store("SID=abc; path=/"));
    EXPECT_EQ(headerFor("http://www.kavor.ru/download/a.zip"), "SID=abc");
    EXPECT_EQ(headerFor("http://WWW.KAVOR.RU/"), "SID=abc");
}

TEST_F(CookieStoreTest, CookieWithoutPathIsKeptButNeverSent)
{
    EXPECT_TRUE(store("SID=abc"));
    EXPECT_EQ(manager.CookieCollection().Count(), 1u);
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "");
}

TEST_F(CookieStoreTest, DomainRules)
{
    struct Case
    {
        const char* host;
        const char* domain;
        bool stored;
    };
    const Case cases[] = {
        {"www.kavor.ru", "www.kavor.ru", true}, {"www.kavor.ru", ".kavor.ru", true},
        {"www.kavor.ru", "kavor.ru", false},    {"www.kavor.ru", "other.ru", false},
        {"www.kavor.ru", ".ru", false},         {"www.kavor.ru", ".KAVOR.RU", false},
        {"www.kavor.ru", "1.2.3.4", false},     {"localhost", "localhost", true},
        {"localhost", ".localhost", false},     {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", ".0.0.1", false},         {"127.0.0.1", "0.0.1", false},
        {" 127.0.0.1 ", "127.0.0.1", true},
    };
    for (const Case& c : cases) {
        TIdCookieManager fresh;
        EXPECT_EQ(fresh.StoreCookie(std::string("a=b; path=/; domain=") + c.domain, false, c.host),
                  c.stored)
            << c.host << " / " << c.domain;
    }
}

TEST_F(CookieStoreTest, DomainCookieReachesHostsBelowTheDomainOnly)
{
    ASSERT_TRUE(store("d=1; path=/; domain=.kavor.ru"));
    ASSERT_TRUE(store("h=2; path=/"));
    // Equal paths: domains in the order they were first seen.
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "d=1; h=2");
    EXPECT_EQ(headerFor("http://ftp.kavor.ru/"), "d=1");
    EXPECT_EQ(headerFor("http://kavor.ru/"), "d=1");
    EXPECT_EQ(headerFor("http://kavor.ru.example.com/"), "");
    EXPECT_EQ(headerFor("http://evilkavor.ru/"), "");
    EXPECT_EQ(headerFor("http://xwww.kavor.ru/"), "d=1");

    TIdCookieManager byAddress;
    ASSERT_TRUE(byAddress.StoreCookie("a=1; path=/", false, "127.0.0.1"));
    EXPECT_EQ(byAddress.CookieHeaderFor(TIdURI("http://127.0.0.1:8080/"), false), "a=1");
    EXPECT_EQ(byAddress.CookieHeaderFor(TIdURI("http://127.0.0.10/"), false), "");
}

TEST_F(CookieStoreTest, SameNameReplacesInPlace)
{
    store("a=1; path=/");
    store("b=2; path=/");
    store("A=3; path=/");
    EXPECT_EQ(manager.CookieCollection().Count(), 2u);
    // Newest first among equal paths; the replaced cookie took the new text but kept its older
    // place.
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "b=2; A=3");
}

TEST_F(CookieStoreTest, ExpiredCookiesArePurgedBeforeTheNextRequest)
{
    store("keep=1; path=/");
    store("gone=1; path=/; max-age=0");
    store("past=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT");
    store("bad=1; path=/; expires=someday");
    store("later=1; path=/; expires=Fri, 31 Dec 2100 23:59:59 GMT");
    EXPECT_EQ(manager.CookieCollection().Count(), 5u);
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "later=1; keep=1");
    EXPECT_EQ(manager.CookieCollection().Count(), 2u);

    // Replacing with max-age 0 deletes the cookie a server wants gone.
    store("keep=1; path=/; max-age=0");
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "later=1");
}

TEST_F(CookieStoreTest, PurgeFollowsTheClock)
{
    store("a=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT");
    const TIdURI url("http://www.kavor.ru/");
    EXPECT_EQ(manager.CookieHeaderFor(url, false, 784111776), "a=1");
    EXPECT_EQ(manager.CookieHeaderFor(url, false, 784111777), "");
}

TEST_F(CookieStoreTest, SecureAndEmptyCookiesAreNotSent)
{
    store("s=1; path=/; secure");
    store("e=; path=/");
    store("v=1; path=/");
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "v=1");
    EXPECT_EQ(manager.CookieHeaderFor(TIdURI("http://www.kavor.ru/"), true), "v=1; s=1");
}

TEST_F(CookieStoreTest, PathPrefixAndOrdering)
{
    store("root=1; path=/");
    store("dl=2; path=/download/");
    store("deep=3; path=/download/update/");
    store("other=4; path=/other/");
    store("Upper=5; path=/DOWNLOAD/");
    EXPECT_EQ(headerFor("http://www.kavor.ru/download/update/a.zip"), "deep=3; dl=2; root=1");
    EXPECT_EQ(headerFor("http://www.kavor.ru/download/"), "dl=2; root=1");
    EXPECT_EQ(headerFor("http://www.kavor.ru/index.html"), "root=1");
    // The test is on the text: /download also covers /downloads/.
    store("pre=6; path=/download");
    EXPECT_EQ(headerFor("http://www.kavor.ru/downloads/x"), "pre=6; root=1");
}

TEST_F(CookieStoreTest, HoldsABoundedNumberOfCookies)
{
    for (std::size_t i = 0; i < TIdCookies::kMaxCookies; ++i)
        ASSERT_TRUE(store("c" + std::to_string(i) + "=1; path=/"));
    EXPECT_FALSE(store("onemore=1; path=/"));
    EXPECT_FALSE(store("other=1; path=/", "other.host"));
    // A stored cookie can still be replaced, and room comes back as cookies expire.
    EXPECT_TRUE(store("c0=2; path=/; max-age=0"));
    EXPECT_EQ(headerFor("http://other.host/"), "");
    EXPECT_TRUE(store("onemore=1; path=/"));
    EXPECT_EQ(manager.CookieCollection().Count(), TIdCookies::kMaxCookies);
}

TEST_F(CookieStoreTest, StoresSetCookieThenSetCookie2FromAResponse)
{
    TIdHeaderList headers;
    headers.Add("Set-Cookie2: a=2; path=/; Version=1");
    headers.Add("Content-Type: text/html");
    headers.Add("set-cookie: a=1; path=/");
    headers.Add("SET-COOKIE: b=1; path=/");
    manager.StoreResponseCookies(headers, "www.kavor.ru");
    // Set-cookie2 came last and replaced a=1 in place.
    EXPECT_EQ(headerFor("http://www.kavor.ru/"), "b=1; a=2");
}

} // namespace
