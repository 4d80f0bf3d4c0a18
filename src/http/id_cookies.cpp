#include "http/id_cookies.h"

#include <algorithm>
#include <mutex>

#include "platform/code_page.h"
#include "text_util.h"

namespace http {
namespace {

// A cookie's domain covers the host of that name and every host below it. Matching only whole
// labels at the end keeps a cookie of kavor.ru away from kavor.ru.example.com.
bool domainMatches(const std::string& host, const std::string& domain)
{
    std::string_view bare = domain;
    if (!bare.empty() && bare.front() == '.')
        bare.remove_prefix(1);
    if (bare.empty())
        return false;
    if (equalsIgnoringCase(host, bare))
        return true;
    return host.size() > bare.size() && host[host.size() - bare.size() - 1] == '.' &&
           equalsIgnoringCase(std::string_view(host).substr(host.size() - bare.size()), bare);
}

} // namespace

bool TIdCookies::AddCookie(std::unique_ptr<TIdCookieRFC2109> cookie)
{
    std::unique_lock lock(m_lock);
    auto entry = std::find_if(m_domains.begin(), m_domains.end(), [&](const DomainEntry& e) {
        return equalsIgnoringCase(e.domain, cookie->Domain);
    });
    if (entry != m_domains.end()) {
        for (auto& stored : entry->cookies) {
            if (equalsIgnoringCase(stored->Name, cookie->Name)) {
                stored->ParseCookie(cookie->CookieText());
                stored->Domain = cookie->Domain;
                return true;
            }
        }
    }
    if (m_count >= kMaxCookies)
        return false;
    if (entry == m_domains.end()) {
        m_domains.push_back({cookie->Domain, {}});
        entry = std::prev(m_domains.end());
    }
    entry->cookies.push_back(std::move(cookie));
    ++m_count;
    return true;
}

void TIdCookies::PurgeExpired(std::int64_t nowUnixSeconds)
{
    std::unique_lock lock(m_lock);
    for (auto& entry : m_domains) {
        m_count -= std::erase_if(
            entry.cookies, [&](const auto& cookie) { return cookie->IsExpired(nowUnixSeconds); });
    }
}

std::string TIdCookies::CookieHeaderFor(const std::string& host, const std::string& path,
                                        bool secureConnection) const
{
    // The pairs are built under the lock: a purge on another thread may free the records.
    std::shared_lock lock(m_lock);
    std::vector<const TIdCookieRFC2109*> taken;
    for (const auto& entry : m_domains) {
        if (!domainMatches(host, entry.domain))
            continue;
        for (auto it = entry.cookies.rbegin(); it != entry.cookies.rend(); ++it) {
            const TIdCookieRFC2109& cookie = **it;
            if (!cookie.Path.empty() && path.compare(0, cookie.Path.size(), cookie.Path) == 0 &&
                (!cookie.Secure || secureConnection) && !cookie.Value.empty())
                taken.push_back(&cookie);
        }
    }
    std::stable_sort(taken.begin(), taken.end(), [](const auto* a, const auto* b) {
        return platform::asciiUpper(a->Path) > platform::asciiUpper(b->Path);
    });

    std::string header;
    for (const auto* cookie : taken) {
        if (!header.empty())
            header += "; ";
        header += cookie->Name + "=" + cookie->Value;
    }
    return header;
}

std::size_t TIdCookies::Count() const
{
    std::shared_lock lock(m_lock);
    return m_count;
}

} // namespace http
