#pragma once

#include <string>

namespace http {

// A URL split into its parts, 8-bit texts, nothing percent-encoded or decoded. The client keeps
// one as its current URL and resolves every requested URL against it. One thread at a time.
class TIdURI
{
public:
    TIdURI() = default;
    // Empty text: every field empty; otherwise ParseUrl(text).
    explicit TIdURI(const std::string& text);

    std::string protocol; // as given, e.g. "http"
    std::string username;
    std::string password;
    std::string host;
    std::string port;     // text, not validated
    std::string path;     // directory part; absolute URLs: starts with "/", ends with "/"
    std::string document; // last path segment
    std::string query;    // from "?" (or from the first "=" when there is no "?") on
    std::string fragment; // after "#", without it

    // Clears every field and splits text. Backslashes count as slashes. Never fails.
    void ParseUrl(std::string text);

    // protocol "://" host [":" port] path document query; no credentials, no fragment.
    // Throws EIdURIException "Protocol field is empty" or "Host field is empty".
    std::string ComposeAbsolute() const;

    // Resolves path against base ("." and ".." segments, runs of "/" collapsed); a path that
    // starts with "/" comes back unchanged.
    static std::string MergePath(const std::string& base, const std::string& path);
};

// What a request needs from its resolved URL.
struct TIdRequestTarget
{
    std::string target;     // path + document + query, written in the request line
    std::string hostHeader; // host, with ":" port unless the port is "80"
};

// Resolves requestedUrl against current and updates current: credentials found in the URL go to
// requestUsername/requestPassword (which then fill current's), the path is merged, host and
// protocol replace current's when given (protocol defaulting to "http"), and a port not given
// becomes "80" for http and "443" for https unless current holds another port, which carries
// over. Throws EIdUnknownProtocol when the port defaults and the protocol is neither of the two.
TIdRequestTarget ResolveTarget(TIdURI& current, std::string& requestUsername,
                               std::string& requestPassword, const std::string& requestedUrl);

} // namespace http
