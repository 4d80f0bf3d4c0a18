#include "http/id_cookie_manager.h"

#include <chrono>
#include <memory>

#include "text_util.h"

namespace http {
namespace {

// The host from its first "." on, or the whole host when it has none.
std::string domainPartOf(const std::string& host)
{
    const auto dot = host.find('.');
    return dot == std::string::npos ? host : host.substr(dot);
}

bool domainAccepted(const std::string& domain, const std::string& rawHost)
{
    const std::string host = trimBlanks(rawHost);
    if (isDottedIPv4(host, true))
        return domain == host;
    if (host.empty() || host.front() != '.') {
        if (domain.empty() || (domain.front() != '.' && !isDottedIPv4(domain, true)))
            return domain == host;
        return domain == domainPartOf(host);
    }
    return equalsIgnoringCase(domain, domainPartOf(host));
}

std::int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

void TIdCookieManager::StoreResponseCookies(const TIdHeaderList& headers, const std::string& host)
{
    for (const std::string& value : headers.Extract("Set-cookie"))
        StoreCookie(value, false, host);
    for (const std::string& value : headers.Extract("Set-cookie2"))
        StoreCookie(value, true, host);
}

bool TIdCookieManager::StoreCookie(const std::string& headerValue, bool rfc2965,
                                   const std::string& host)
{
    std::unique_ptr<TIdCookieRFC2109> cookie;
    if (rfc2965)
        cookie = std::make_unique<TIdCookieRFC2965>();
    else
        cookie = std::make_unique<TIdCookieRFC2109>();
    cookie->ParseCookie(headerValue);
    if (cookie->Domain.empty())
        cookie->Domain = host;
    if (!domainAccepted(cookie->Domain, host))
        return false;
    return m_cookies.AddCookie(std::move(cookie));
}

std::string TIdCookieManager::CookieHeaderFor(const TIdURI& url, bool secureConnection)
{
    return CookieHeaderFor(url, secureConnection, unixNow());
}

std::string TIdCookieManager::CookieHeaderFor(const TIdURI& url, bool secureConnection,
                                              std::int64_t nowUnixSeconds)
{
    m_cookies.PurgeExpired(nowUnixSeconds);
    return m_cookies.CookieHeaderFor(url.host, url.path, secureConnection);
}

} // namespace http
