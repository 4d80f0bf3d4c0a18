#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace http {

// The attribute items of a cookie text after its first item: names upper-cased, an item
// without "=" having an empty value.
class TIdCookieAttributes
{
public:
    void Add(std::string upperName, std::string value);
    // The value of the first item of that (upper-case) name, or nullptr.
    const std::string* Find(const char* upperName) const;
    // Whether an item of that (upper-case) name exists, with or without a value.
    bool Has(const char* upperName) const { return Find(upperName) != nullptr; }

private:
    std::vector<std::pair<std::string, std::string>> m_items;
};

// A cookie as the original Netscape proposal has it.
class TIdNetscapeCookie
{
public:
    virtual ~TIdNetscapeCookie() = default;

    std::string Name;
    std::string Value;
    std::string Path;    // empty when the cookie named none (such a cookie is never sent)
    std::string Expires; // Internet date text, empty for a cookie without expiry
    std::string Domain;  // "domain" attribute, or the host that sent the cookie
    bool Secure = false;

    // Fills the record from a Set-Cookie value: "name=value" then attributes separated by ";".
    // The same text as last time changes nothing. Throws platform::EConvertError for a port list
    // with a piece that is no integer (Set-Cookie2 only). Never reads past the text.
    void ParseCookie(const std::string& text);
    const std::string& CookieText() const { return m_cookieText; }

    // Whether the expiry is not after nowUnixSeconds; an expiry that cannot be read counts as
    // long past. A cookie without expiry never expires.
    bool IsExpired(std::int64_t nowUnixSeconds) const;

protected:
    virtual void LoadAttributes(const TIdCookieAttributes& attributes);

private:
    std::string m_cookieText;
};

// A Set-Cookie value (RFC 2109): adds Max-Age, which becomes an expiry when none is given.
class TIdCookieRFC2109 : public TIdNetscapeCookie
{
public:
    std::int64_t MaxAge = -1; // seconds, -1 when absent or not a number
    std::string Version;
    std::string Comment;

protected:
    void LoadAttributes(const TIdCookieAttributes& attributes) override;
};

// A Set-Cookie2 value (RFC 2965).
class TIdCookieRFC2965 : public TIdCookieRFC2109
{
public:
    std::string CommentURL;
    bool Discard = false;
    std::vector<std::int32_t> Ports{80}; // read but not used when cookies are sent

protected:
    void LoadAttributes(const TIdCookieAttributes& attributes) override;
};

} // namespace http
