#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "http/id_cookie.h"

namespace http {

// The stored cookies, grouped by domain (in the order domains were first seen; domains and
// names compared ignoring case). Every access takes the collection's readers-writer lock, so one
// collection may be shared between threads; no method calls another under its lock.
class TIdCookies
{
public:
    // Servers decide how many cookies they set; beyond this many stored ones new cookies are
    // dropped (RFC 6265 asks a client to keep at least 3000, which no update server needs).
    static constexpr std::size_t kMaxCookies = 3000;

    // Stores cookie under its Domain. A stored cookie of the same domain and name takes over the
    // new one's text and domain and keeps its place; otherwise cookie is appended, unless
    // kMaxCookies are stored already. Returns whether the cookie was stored.
    bool AddCookie(std::unique_ptr<TIdCookieRFC2109> cookie);

    // Removes every cookie whose expiry is not after nowUnixSeconds.
    void PurgeExpired(std::int64_t nowUnixSeconds);

    // The "name=value" pairs, joined by "; ", of the cookies for a request to host and the
    // directory path: cookies whose domain matches host (the same name, or host ends with "."
    // and the domain without its leading dot), whose path is not empty and begins path, with a
    // value, and not secure unless secureConnection. Ordered by path compared ignoring case,
    // greatest first (/download/ before /); equal paths newest first. Empty when none qualifies.
    std::string CookieHeaderFor(const std::string& host, const std::string& path,
                                bool secureConnection) const;

    std::size_t Count() const;

private:
    struct DomainEntry
    {
        std::string domain;
        std::vector<std::unique_ptr<TIdCookieRFC2109>> cookies;
    };

    mutable std::shared_mutex m_lock;
    std::vector<DomainEntry> m_domains;
    std::size_t m_count = 0;
};

} // namespace http
