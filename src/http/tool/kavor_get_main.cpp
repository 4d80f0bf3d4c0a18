// kavor-get: fetches URLs in turn with one HTTP client (so one kept-alive connection serves
// them all when the server allows), writes each body to its file and prints one line per URL:
//     ok BYTES connected=0|1
//     error CLASS MESSAGE        (CR and LF in the message written as \r and \n)
// Usage: kavor-get [--proxy HOST:PORT[:USER:PASSWORD]] URL OUTFILE [URL OUTFILE ...]
// Exit status: 0 when every URL was fetched and written, 1 otherwise, 2 for a usage error.
// https URLs are checked against OpenSSL's default trust store (SSL_CERT_FILE, SSL_CERT_DIR); a
// refused certificate shows as "error EIdTLSCertificateError certificate verify failed: REASON".

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "http/id_http.h"
#include "platform/convert_error.h"

namespace {

int usage()
{
    std::cerr << "usage: kavor-get [--proxy HOST:PORT[:USER:PASSWORD]] URL OUTFILE "
                 "[URL OUTFILE ...]\n";
    return 2;
}

std::string escapeLineBreaks(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// HOST:PORT or HOST:PORT:USER:PASSWORD (the password may itself hold ":").
bool applyProxy(const std::string& option, http::TIdProxyConnectionInfo& proxy)
{
    const auto hostEnd = option.find(':');
    if (hostEnd == std::string::npos || hostEnd == 0)
        return false;
    const auto portEnd = option.find(':', hostEnd + 1);
    const auto port = platform::tryParseInt(option.substr(
        hostEnd + 1, portEnd == std::string::npos ? std::string::npos : portEnd - hostEnd - 1));
    if (!port)
        return false;
    proxy.SetProxyServer(option.substr(0, hostEnd));
    proxy.SetProxyPort(*port);
    if (portEnd != std::string::npos) {
        const auto userEnd = option.find(':', portEnd + 1);
        if (userEnd == std::string::npos)
            return false;
        proxy.SetBasicAuthentication(true);
        proxy.SetProxyUsername(option.substr(portEnd + 1, userEnd - portEnd - 1));
        proxy.SetProxyPassword(option.substr(userEnd + 1));
    }
    return true;
}

bool writeBody(const std::string& path, const std::string& body)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    http::TIdHTTP client;
    std::size_t first = 0;
    if (!args.empty() && args[0] == "--proxy") {
        if (args.size() < 2 || !applyProxy(args[1], client.ProxyParams()))
            return usage();
        first = 2;
    }
    if (args.size() <= first || (args.size() - first) % 2 != 0)
        return usage();

    int status = 0;
    for (std::size_t i = first; i < args.size(); i += 2) {
        // A fresh text per URL, so the previous body is gone before the next one grows.
        std::string body;
        try {
            client.GetText(args[i], body);
            if (!writeBody(args[i + 1], body)) {
                std::cout << "error write cannot write " << args[i + 1] << std::endl;
                status = 1;
                continue;
            }
            std::cout << "ok " << body.size() << " connected=" << (client.IsConnected() ? 1 : 0)
                      << std::endl;
        } catch (const http::EIdException& e) {
            std::cout << "error " << e.ClassName() << " " << escapeLineBreaks(e.Message())
                      << std::endl;
            status = 1;
        } catch (const platform::EConvertError& e) {
            std::cout << "error EConvertError " << escapeLineBreaks(e.what()) << std::endl;
            status = 1;
        } catch (const std::exception& e) {
            std::cout << "error Exception " << escapeLineBreaks(e.what()) << std::endl;
            status = 1;
        }
    }
    return status;
}
