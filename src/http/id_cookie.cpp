#include "http/id_cookie.h"

#include <chrono>
#include <limits>

#include "internet_date.h"
#include "platform/code_page.h"
#include "platform/convert_error.h"
#include "text_util.h"

namespace http {
namespace {

// Max-Age has no upper bound in the grammar; later than this the expiry date could not be
// written, and a cookie kept for longer than a program runs gains nothing.
constexpr std::int64_t kMaxAgeCapSeconds = std::int64_t{400} * 366 * 24 * 3600;

std::int64_t readMaxAge(const std::string* text)
{
    if (!text || text->empty())
        return -1;
    std::int64_t value = 0;
    std::size_t i = 0;
    const bool negative = (*text)[0] == '-';
    if (negative || (*text)[0] == '+')
        ++i;
    if (i == text->size())
        return -1;
    for (; i < text->size(); ++i) {
        const char c = (*text)[i];
        if (c < '0' || c > '9')
            return -1;
        if (value < std::numeric_limits<std::int64_t>::max() / 10)
            value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::vector<std::int32_t> readPorts(const std::string* text)
{
    if (!text)
        return {80};
    std::string list = *text;
    if (!list.empty() && list.front() == '"')
        list.erase(0, 1);
    if (!list.empty() && list.back() == '"')
        list.pop_back();
    std::vector<std::int32_t> ports;
    std::size_t start = 0;
    while (start < list.size()) {
        auto comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        ports.push_back(platform::parseIntOrThrow(trimBlanks(list.substr(start, comma - start))));
        start = comma + 1;
    }
    if (ports.empty())
        ports.push_back(80);
    return ports;
}

} // namespace

void TIdCookieAttributes::Add(std::string upperName, std::string value)
{
    m_items.emplace_back(std::move(upperName), std::move(value));
}

const std::string* TIdCookieAttributes::Find(const char* upperName) const
{
    for (const auto& [name, value] : m_items) {
        if (name == upperName)
            return &value;
    }
    return nullptr;
}

void TIdNetscapeCookie::ParseCookie(const std::string& text)
{
    if (text == m_cookieText)
        return;
    m_cookieText = text;

    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const auto semicolon = text.find(';', start);
        if (semicolon == std::string::npos) {
            // An empty piece after the last ";" is no item.
            const std::string last = trimBlanks(text.substr(start));
            if (!last.empty() || items.empty())
                items.push_back(last);
            break;
        }
        items.push_back(trimBlanks(text.substr(start, semicolon - start)));
        start = semicolon + 1;
    }

    const std::string& first = items.front();
    if (const auto eq = first.find('='); eq != std::string::npos) {
        Name = trimBlanks(first.substr(0, eq));
        Value = trimBlanks(first.substr(eq + 1));
    } else {
        Name.clear();
        Value = first;
    }

    TIdCookieAttributes attributes;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::string& item = items[i];
        const auto eq = item.find('=');
        if (eq == std::string::npos)
            attributes.Add(platform::asciiUpper(item), std::string());
        else
            attributes.Add(platform::asciiUpper(trimBlanks(item.substr(0, eq))),
                           trimBlanks(item.substr(eq + 1)));
    }
    LoadAttributes(attributes);
}

void TIdNetscapeCookie::LoadAttributes(const TIdCookieAttributes& attributes)
{
    const std::string* path = attributes.Find("PATH");
    Path = path ? *path : std::string();
    if (!Path.empty() && Path.front() == '"')
        Path.erase(0, 1);
    if (!Path.empty() && Path.back() == '"')
        Path.pop_back();
    const std::string* expires = attributes.Find("EXPIRES");
    Expires = expires ? *expires : std::string();
    const std::string* domain = attributes.Find("DOMAIN");
    Domain = domain ? *domain : std::string();
    // "Secure" with a value still asks for a secure channel; sending such a cookie in the clear
    // would defeat it.
    Secure = attributes.Has("SECURE");
}

bool TIdNetscapeCookie::IsExpired(std::int64_t nowUnixSeconds) const
{
    if (Expires.empty())
        return false;
    const auto expiry = readInternetDate(Expires);
    return !expiry || *expiry <= nowUnixSeconds;
}

void TIdCookieRFC2109::LoadAttributes(const TIdCookieAttributes& attributes)
{
    TIdNetscapeCookie::LoadAttributes(attributes);
    MaxAge = readMaxAge(attributes.Find("MAX-AGE"));
    const std::string* version = attributes.Find("VERSION");
    Version = version ? *version : std::string();
    const std::string* comment = attributes.Find("COMMENT");
    Comment = comment ? *comment : std::string();

    if (Expires.empty() && MaxAge >= 0) {
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        Expires = writeInternetDate(now + std::min(MaxAge, kMaxAgeCapSeconds));
    }
}

void TIdCookieRFC2965::LoadAttributes(const TIdCookieAttributes& attributes)
{
    TIdCookieRFC2109::LoadAttributes(attributes);
    const std::string* commentUrl = attributes.Find("COMMENTURL");
    CommentURL = commentUrl ? *commentUrl : std::string();
    Discard = attributes.Has("DISCARD");
    Ports = readPorts(attributes.Find("PORT"));
}

} // namespace http
