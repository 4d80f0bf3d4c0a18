// The URL and cookie texts a server or an update page controls.

#include <memory>
#include <string>
#include <vector>

#include "check.h"
#include "fuzz_targets.h"
#include "http/id_cookie.h"
#include "http/id_cookie_manager.h"
#include "http/id_exception.h"
#include "http/id_uri.h"
#include "platform/code_page.h"
#include "platform/convert_error.h"

namespace fuzz {
namespace {

// The input cut at each LF; at most maxLines pieces, the last one taking the rest.
std::vector<std::string> linesOf(Input input, std::size_t maxLines)
{
    const std::string text(input.begin(), input.end());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (lines.size() + 1 < maxLines) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// A fixed clock keeps the purge of expired cookies reproducible: 2005-03-18 01:58:31 UTC.
constexpr std::int64_t kNow = 1111111111;

} // namespace

void url(Input input)
{
    const std::vector<std::string> texts = linesOf(input, 8);
    for (const std::string& text : texts) {
        const http::TIdURI uri(text);
        if (text.find("://") != std::string::npos)
            check(uri.path.starts_with("/"), "an absolute URL's path does not start with /");
        try {
            const std::string absolute = uri.ComposeAbsolute();
            check(absolute.starts_with(uri.protocol + "://" + uri.host),
                  "the absolute form does not start with protocol and host");
        } catch (const http::EIdURIException&) {
            check(uri.protocol.empty() || uri.host.empty(), "ComposeAbsolute refused a full URL");
        }
    }
    if (texts.size() >= 2) {
        const std::string merged = http::TIdURI::MergePath(texts[0], texts[1]);
        if (texts[1].starts_with("/"))
            check(merged == texts[1], "MergePath changed an absolute path");
        check(merged.find("//") == std::string::npos || texts[1].starts_with("/"),
              "MergePath left a run of slashes");
    }

    // The client's sequence of requests, each resolved against the URL of the one before; the
    // first one against a page the client fetched earlier.
    http::TIdURI current("http://192.168.0.1:80/");
    std::string username, password;
    for (const std::string& text : texts) {
        try {
            const http::TIdRequestTarget target =
                http::ResolveTarget(current, username, password, text);
            check(target.target == current.path + current.document + current.query,
                  "the request target is not path, document and query");
            check(!current.port.empty(), "a resolved URL has no port");
        } catch (const http::EIdUnknownProtocol&) {
        }
    }
}

void cookie(Input input)
{
    const std::vector<std::string> lines = linesOf(input, 16);
    if (lines.size() < 3)
        return;
    const std::string& host = lines.front();
    const http::TIdURI requestUrl(lines.back());
    http::TIdCookieManager manager;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        // A leading "2" marks a Set-Cookie2 value.
        const bool rfc2965 = lines[i].starts_with("2");
        try {
            manager.StoreCookie(lines[i], rfc2965, host);
            // Parsing the same text again changes nothing.
            std::unique_ptr<http::TIdCookieRFC2109> record;
            if (rfc2965)
                record = std::make_unique<http::TIdCookieRFC2965>();
            else
                record = std::make_unique<http::TIdCookieRFC2109>();
            record->ParseCookie(lines[i]);
            const std::string name = record->Name, value = record->Value;
            record->ParseCookie(lines[i]);
            check(record->Name == name && record->Value == value,
                  "a second parse changed the cookie");
        } catch (const platform::EConvertError&) {
            // Only a port list fails so; a Set-Cookie value meets it when it replaces a
            // Set-Cookie2 cookie of the same name, which reads it by its own rules.
            check(platform::asciiUpper(lines[i]).find("PORT") != std::string::npos,
                  "a cookie without a port list failed to parse");
        }
    }
    check(manager.CookieCollection().Count() <= http::TIdCookies::kMaxCookies,
          "the store holds more cookies than its bound");
    const std::string header = manager.CookieHeaderFor(requestUrl, false, kNow);
    check(header.empty() || header.find('=') != std::string::npos,
          "a Cookie header without a name=value pair");
}

} // namespace fuzz
