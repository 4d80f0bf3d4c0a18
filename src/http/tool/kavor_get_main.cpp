// kavor-get: fetches URLs in turn with one HTTP client (so one kept-alive connection serves
// them all when the server allows), writes each body to its file and prints one line per URL:
//     ok BYTES connected=0|1
//     error CLASS MESSAGE        (CR and LF in the message written as \r and \n)
// Usage: kavor-get [--proxy HOST:PORT[:USER:PASSWORD]] URL OUTFILE [URL OUTFILE ...]
// Exit status: 0 when every URL was fetched and written, 1 otherwise, 2 for a usage error.
// https URLs are checked against OpenSSL's default trust store (SSL_CERT_FILE, SSL_CERT_DIR); a
// refused certificate shows as "error EIdTLSCertificateError certificate verify failed: REASON".

#include <cstdint>
#include <cstdio>
#include <exception>
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

// A body written to its file as it arrives, so memory stays small whatever the body's size. The
// file is made with the first byte (or by finish, for an empty body); abandon removes it.
class FileStream final : public http::TIdStream
{
public:
    explicit FileStream(std::string path) : m_path(std::move(path)) {}
    ~FileStream() override
    {
        if (m_file)
            std::fclose(m_file);
    }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::int64_t Size() const override { return m_size; }
    void Write(const char* data, std::size_t size) override
    {
        m_size += static_cast<std::int64_t>(size);
        if (!m_file && !m_failed && !open())
            return;
        if (m_file && std::fwrite(data, 1, size, m_file) != size)
            m_failed = true;
    }
    // Only back to nothing: a request that starts over.
    void Truncate(std::int64_t size) override
    {
        if (size < m_size) {
            abandon();
            m_size = 0;
            m_failed = false;
        }
    }
    // Whether every byte reached the file.
    bool finish()
    {
        if (!m_file && !m_failed)
            open();
        const bool closed = m_file && std::fclose(m_file) == 0;
        m_file = nullptr;
        return closed && !m_failed;
    }
    void abandon()
    {
        if (m_file) {
            std::fclose(m_file);
            m_file = nullptr;
            std::remove(m_path.c_str());
        }
    }

private:
    bool open()
    {
        m_file = std::fopen(m_path.c_str(), "wb");
        m_failed = !m_file;
        // Bodies arrive a receive (32 KiB) at a time; gather them into fewer writes.
        if (m_file)
            std::setvbuf(m_file, m_buffer.data(), _IOFBF, m_buffer.size());
        return m_file != nullptr;
    }

    std::string m_path;
    std::vector<char> m_buffer = std::vector<char>(256 * 1024);
    std::FILE* m_file = nullptr;
    std::int64_t m_size = 0;
    bool m_failed = false;
};

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
        FileStream body(args[i + 1]);
        try {
            client.GetToStream(args[i], body);
            if (!body.finish()) {
                std::cout << "error write cannot write " << args[i + 1] << std::endl;
                status = 1;
                continue;
            }
            std::cout << "ok " << body.Size() << " connected=" << (client.IsConnected() ? 1 : 0)
                      << std::endl;
        } catch (const http::EIdException& e) {
            body.abandon();
            std::cout << "error " << e.ClassName() << " " << escapeLineBreaks(e.Message())
                      << std::endl;
            status = 1;
        } catch (const platform::EConvertError& e) {
            body.abandon();
            std::cout << "error EConvertError " << escapeLineBreaks(e.what()) << std::endl;
            status = 1;
        } catch (const std::exception& e) {
            body.abandon();
            std::cout << "error Exception " << escapeLineBreaks(e.what()) << std::endl;
            status = 1;
        }
    }
    return status;
}
