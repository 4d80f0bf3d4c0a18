#pragma once

#include <cstdint>
#include <string>

#include "http/id_cookies.h"
#include "http/id_header_list.h"
#include "http/id_uri.h"

namespace http {

// The client's in-memory cookie store: takes the cookies servers set and gives the Cookie
// header for each request. Nothing is written to disk.
class TIdCookieManager
{
public:
    // Stores the values of every "Set-cookie" line, then of every "Set-cookie2" line, of a
    // response sent by host. Throws platform::EConvertError as TIdNetscapeCookie::ParseCookie.
    void StoreResponseCookies(const TIdHeaderList& headers, const std::string& host);

    // Parses one header value (a Set-cookie2 value when rfc2965) sent by host and stores it
    // unless its domain is refused: a dotted host accepts only its own address; a host name
    // accepts its own name, or a domain that equals the host's part from its first "." on.
    // Returns whether the cookie was stored (see also TIdCookies::kMaxCookies).
    bool StoreCookie(const std::string& headerValue, bool rfc2965, const std::string& host);

    // Drops expired cookies, then gives the Cookie header value for a request to url (its host
    // and directory path); empty when no cookie applies.
    std::string CookieHeaderFor(const TIdURI& url, bool secureConnection);
    // The same with the clock given, in seconds since 1970 UTC.
    std::string CookieHeaderFor(const TIdURI& url, bool secureConnection,
                                std::int64_t nowUnixSeconds);

    const TIdCookies& CookieCollection() const { return m_cookies; }

private:
    TIdCookies m_cookies;
};

} // namespace http
