// What a server or a proxy controls on the way to https: Location values resolved against the
// request URL, and a proxy's answer to CONNECT.

#include <string>
#include <typeinfo>
#include <vector>

#include "check.h"
#include "fuzz_targets.h"
#include "http/id_exception.h"
#include "http/id_http.h"
#include "http/id_url_reference.h"
#include "platform/convert_error.h"
#include "scripted_io_handler.h"

namespace fuzz {
namespace {

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The path of an absolute result: after the authority, before the query and fragment.
std::string pathOf(const std::string& url)
{
    const auto authority = url.find("//");
    const auto begin =
        authority == std::string::npos ? std::string::npos : url.find('/', authority + 2);
    if (begin == std::string::npos)
        return std::string();
    return url.substr(begin, url.find_first_of("?#", begin) - begin);
}

void getThroughClient(http::TIdHTTP& client, const std::string& url, std::size_t replySize)
{
    std::string body;
    try {
        client.GetText(url, body);
    } catch (const http::EIdException&) {
    } catch (const platform::EConvertError&) {
    } catch (const std::exception& e) {
        fail(std::string("GetText raised an undocumented ") + typeid(e).name() + ": " + e.what());
    }
    check(body.size() <= replySize, "the body holds more bytes than the server sent");
}

} // namespace

void urlReference(Input input)
{
    const std::vector<std::string> lines = splitLines(std::string(input.begin(), input.end()));
    const std::string base = "https://update.example:8443/download/update/index.html?x=1";
    for (std::size_t i = 0; i < lines.size() && i < 16; ++i) {
        const std::string& reference = lines[i];
        const std::string resolved = http::ResolveUrlReference(base, reference);
        if (http::HasUrlScheme(reference)) {
            check(resolved == reference, "a reference with a scheme was changed");
            continue;
        }
        check(resolved.starts_with("https:"), "a relative reference lost the base's scheme");
        // The reference's own fragment part may hold anything; the path must be clean.
        const std::string path = pathOf(resolved);
        check(path.empty() || path.front() == '/', "a resolved path does not start with /");
        check(path.find("/./") == std::string::npos && path.find("/../") == std::string::npos &&
                  !path.ends_with("/.") && !path.ends_with("/.."),
              "a dot segment was left in a resolved path");
    }

    // The same texts as Location values of redirects the client follows: every refusal is a
    // documented failure, and no request leaves the client with a line break in its head.
    std::string replies;
    for (std::size_t i = 0; i < lines.size() && i < 8; ++i)
        replies += "HTTP/1.1 302 Found\r\nLocation: " + lines[i] + "\r\nContent-Length: 0\r\n\r\n";
    http::TIdScriptedIOHandler transport;
    transport.AcceptTLS(true);
    for (int i = 0; i < 9; ++i)
        transport.AddConversation(
            {replies, static_cast<std::size_t>(-1), http::TIdScriptedIOHandler::TEnd::Silence, 0});
    http::TIdHTTP client;
    client.SetIOHandler(&transport);
    client.HandleRedirects = true;
    client.RedirectMaximum = 5;
    client.SetReadTimeout(1);
    getThroughClient(client, base, replies.size());
    for (const std::string& sent : transport.Sent()) {
        for (const std::string& line : splitLines(sent))
            check(line.empty() || line.find('\r') == line.size() - 1,
                  "a request line or header holds a line break of its own");
    }
}

void connectAnswer(Input input)
{
    if (input.empty())
        return;
    const std::uint8_t selector = input[0];
    const std::string reply(input.begin() + 1, input.end());
    constexpr std::size_t kBytesPerRecv[] = {static_cast<std::size_t>(-1), 1, 3, 11};
    constexpr http::TIdScriptedIOHandler::TEnd kEnds[] = {
        http::TIdScriptedIOHandler::TEnd::Close, http::TIdScriptedIOHandler::TEnd::Silence};

    http::TIdScriptedIOHandler transport;
    transport.AcceptTLS(true);
    for (int i = 0; i < 2; ++i)
        transport.AddConversation(
            {reply, kBytesPerRecv[selector & 3], kEnds[(selector >> 2) & 1], 0});
    http::TIdHTTP client;
    client.SetIOHandler(&transport);
    client.SetReadTimeout(1);
    client.ProxyParams().SetProxyServer("192.168.0.2");
    client.ProxyParams().SetProxyPort(3128);
    client.ProxyParams().SetBasicAuthentication((selector & 8) != 0);
    client.ProxyParams().SetProxyUsername("user");
    client.ProxyParams().SetProxyPassword("pass");

    getThroughClient(client, "https://update.example/download/a.zip", reply.size());
    getThroughClient(client, "https://update.example/download/b.zip", reply.size());

    // A request for the origin goes out only inside a tunnel the proxy agreed to, and only
    // after TLS was begun on it.
    const std::size_t connects = transport.Sent().size();
    check(transport.TLSStarts().size() <= connects, "TLS begun more often than connected");
    for (const std::string& sent : transport.Sent()) {
        check(sent.starts_with("CONNECT update.example:443 HTTP/1.1\r\n") || sent.empty(),
              "the first bytes to the proxy are not the CONNECT request");
        const auto get = sent.find("GET ");
        if (get != std::string::npos) {
            check(!transport.TLSStarts().empty(), "a GET went out before TLS was begun");
            check(sent.find("Proxy-Authorization", get) == std::string::npos,
                  "the proxy's credentials went into the tunnel");
            check(sent.compare(get, 14, "GET /download/") == 0,
                  "the request in the tunnel is not in origin form");
        }
    }
    if (transport.TLSStarts().empty())
        check(!client.IsConnected(), "a refused tunnel kept its connection");
}

} // namespace fuzz
