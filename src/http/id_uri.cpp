#include "http/id_uri.h"

#include <algorithm>

#include "http/id_exception.h"
#include "platform/convert_error.h"
#include "text_util.h"

namespace http {
namespace {

// Returns the text before the first delimiter and leaves text holding what follows it; without
// the delimiter the whole text is returned and text becomes empty.
std::string cut(std::string& text, char delimiter)
{
    const auto at = text.find(delimiter);
    std::string head;
    if (at == std::string::npos) {
        head.swap(text);
    } else {
        head = text.substr(0, at);
        text.erase(0, at + 1);
    }
    return head;
}

// Sets path, document and query from the part of a URL after its authority; an absolute URL's
// path gets a "/" in front.
void splitPathDocumentQuery(const std::string& rest, bool absolute, TIdURI& uri)
{
    // The query begins at the first "?", or failing that at the first "=" (a CGI-style link
    // such as /cgi/get=5 names no "?").
    auto q = rest.find('?');
    if (q == std::string::npos)
        q = rest.find('=');
    const auto slash = q == std::string::npos ? rest.rfind('/') : rest.rfind('/', q);
    const std::size_t dirLength = slash == std::string::npos ? 0 : slash + 1;

    uri.path = (absolute ? "/" : "") + rest.substr(0, dirLength);
    if (q != std::string::npos) {
        uri.document = rest.substr(dirLength, q - dirLength);
        uri.query = rest.substr(q);
    } else {
        uri.document = rest.substr(dirLength);
    }
}

} // namespace

TIdURI::TIdURI(const std::string& text)
{
    if (!text.empty())
        ParseUrl(text);
}

void TIdURI::ParseUrl(std::string text)
{
    *this = TIdURI();
    // The engine's code page is single-byte, so every backslash byte is a backslash.
    std::replace(text.begin(), text.end(), '\\', '/');

    const auto scheme = text.find("://");
    if (scheme != std::string::npos) {
        protocol = text.substr(0, scheme);
        std::string rest = text.substr(scheme + 3);
        std::string authority = cut(rest, '/');
        std::string credentials;
        if (const auto at = authority.find('@'); at != std::string::npos) {
            credentials = authority.substr(0, at);
            authority.erase(0, at + 1);
        }
        username = cut(credentials, ':');
        password = username.empty() ? std::string() : credentials;
        host = cut(authority, ':');
        port = authority;
        splitPathDocumentQuery(rest, true, *this);
        if (const auto hash = document.find('#'); hash != std::string::npos) {
            fragment = document.substr(hash + 1);
            document.resize(hash);
        }
    } else {
        // A relative link keeps a fragment in its document when it has no query.
        splitPathDocumentQuery(text, false, *this);
    }

    if (fragment.empty()) {
        if (const auto hash = query.find('#'); hash != std::string::npos) {
            fragment = query.substr(hash + 1);
            query.resize(hash);
        }
    }
}

std::string TIdURI::ComposeAbsolute() const
{
    if (protocol.empty())
        throw EIdURIException("Protocol field is empty");
    if (host.empty())
        throw EIdURIException("Host field is empty");
    std::string result = protocol + "://" + host;
    if (!port.empty())
        result += ":" + port;
    return result + path + document + query;
}

std::string TIdURI::MergePath(const std::string& base, const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    const bool keepTrailing = path.empty() || path.back() == '/';
    std::string work = base;
    if (!base.empty() && base.back() != '/')
        work += '/';
    work += path;

    std::string result;
    for (std::size_t i = 0; i < work.size(); ++i) {
        const char c = work[i];
        if (c == '/') {
            if (i == 0)
                result = "/";
            else if (result.empty() || result.back() != '/')
                result += '/';
        } else if (c == '.' && !result.empty() && result.back() == '/' && i + 1 < work.size() &&
                   work[i + 1] == '.') {
            // ".." drops the last segment of what has been built so far.
            result.pop_back();
            while (!result.empty() && result.back() != '/')
                result.pop_back();
            ++i;
        } else {
            result += c;
        }
    }
    if (result != "/" && !result.empty() && result.back() == '/' && !keepTrailing)
        result.pop_back();
    return result;
}

TIdRequestTarget ResolveTarget(TIdURI& current, std::string& requestUsername,
                               std::string& requestPassword, const std::string& requestedUrl)
{
    const TIdURI parsed(requestedUrl);
    if (!parsed.username.empty()) {
        requestUsername = parsed.username;
        requestPassword = parsed.password;
    }
    current.username = requestUsername;
    current.password = requestPassword;
    current.path = TIdURI::MergePath(current.path, parsed.path);
    current.document = parsed.document;
    current.query = parsed.query;
    if (!parsed.host.empty())
        current.host = parsed.host;
    current.protocol = parsed.protocol.empty() ? "http" : parsed.protocol;

    if (!parsed.port.empty()) {
        current.port = parsed.port;
    } else {
        // A port of an earlier request that is not a default one carries over; a default one
        // follows the protocol.
        const std::int32_t value = platform::tryParseInt(current.port).value_or(0);
        if (value == 0 || value == 80 || value == 443) {
            if (equalsIgnoringCase(current.protocol, "http"))
                current.port = "80";
            else if (equalsIgnoringCase(current.protocol, "https"))
                current.port = "443";
            else
                throw EIdUnknownProtocol();
        }
    }

    TIdRequestTarget result;
    result.target = current.path + current.document + current.query;
    result.hostHeader = current.port == "80" ? current.host : current.host + ":" + current.port;
    return result;
}

} // namespace http
