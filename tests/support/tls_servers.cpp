#include "support/tls_servers.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 10s;

std::filesystem::path supportFile(const char* name)
{
    return std::filesystem::path(KAVOR_TEST_SUPPORT_DIR) / name;
}

std::string prefixUrl(std::uint16_t port, std::string_view path)
{
    return "https://127.0.0.1:" + std::to_string(port) + std::string(path);
}

} // namespace

const std::filesystem::path& testPki()
{
    // Lives as long as the test process; the servers of every test use the same CA.
    static const auto made = [] {
        auto dir = std::make_unique<TempDir>();
        const std::string command = "sh '" + supportFile("make-test-pki.sh").string() + "' '" +
                                    dir->path().string() + "' > /dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("make-test-pki.sh failed");
        ::setenv("SSL_CERT_FILE", (dir->path() / "ca.crt").c_str(), 1);
        ::unsetenv("SSL_CERT_DIR");
        return dir;
    }();
    return made->path();
}

NginxTlsServer::NginxTlsServer() : m_docroot(runDirectory() / "www")
{
    const auto& run = runDirectory();
    const std::filesystem::path& pki = testPki();
    std::filesystem::create_directories(m_docroot);
    std::filesystem::create_directories(run / "tmp");
    const std::string tmpl = readTextIfAny(supportFile("nginx-tls.conf"));

    startWithRetries("nginx (TLS)", [&] {
        const std::uint16_t http = freeLoopbackPort();
        m_good = freeLoopbackPort();
        m_wrongHost = freeLoopbackPort();
        m_expired = freeLoopbackPort();
        m_selfSigned = freeLoopbackPort();
        std::string config = replaceAll(tmpl, "@HTTP_PORT@", std::to_string(http));
        config = replaceAll(config, "@TLS_GOOD_PORT@", std::to_string(m_good));
        config = replaceAll(config, "@TLS_WRONGHOST_PORT@", std::to_string(m_wrongHost));
        config = replaceAll(config, "@TLS_EXPIRED_PORT@", std::to_string(m_expired));
        config = replaceAll(config, "@TLS_SELFSIGNED_PORT@", std::to_string(m_selfSigned));
        config = replaceAll(config, "@DOCROOT@", m_docroot.string());
        config = replaceAll(config, "@PKI_DIR@", pki.string());
        config = replaceAll(config, "@RUN_DIR@", run.string());
        std::ofstream(run / "nginx.conf", std::ios::trunc) << config;
        std::filesystem::remove(run / "nginx.pid");
        setPort(http);
        spawn({"nginx", "-p", run.string() + "/", "-e", (run / "error.log").string(), "-c",
               (run / "nginx.conf").string(), "-g", "daemon off;"},
              SIGTERM);
        return waitUntilListening(http, kStartTimeout, [&] {
            return !readTextIfAny(run / "nginx.pid").empty() && acceptsConnections(m_good) &&
                   acceptsConnections(m_wrongHost) && acceptsConnections(m_expired) &&
                   acceptsConnections(m_selfSigned);
        });
    });
}

NginxTlsServer::~NginxTlsServer()
{
    stop();
}

std::string NginxTlsServer::httpsUrl(std::string_view path, std::uint16_t port) const
{
    return prefixUrl(port == 0 ? m_good : port, path);
}

std::string NginxTlsServer::accessLog() const
{
    return readTextIfAny(runDirectory() / "access.log");
}

bool NginxTlsServer::waitForAccessLog(std::string_view needle,
                                      std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (accessLog().find(needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

TlsFaultServer::TlsFaultServer()
{
    const auto& run = runDirectory();
    const std::filesystem::path portFile = run / "ports";
    const std::filesystem::path& pki = testPki();
    startWithRetries("tls_fault_server.py", [&] {
        std::filesystem::remove(portFile);
        spawn({pythonInterpreter(), supportFile("tls_fault_server.py").string(), "--pki",
               pki.string(), "--port-file", portFile.string(), "--max-seconds", "300"},
              SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (readTextIfAny(portFile).empty()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        // "close=P alert12=P alert13=P"
        std::istringstream ports(readTextIfAny(portFile));
        for (std::string item; ports >> item;) {
            const auto port =
                static_cast<std::uint16_t>(std::stoi(item.substr(item.find('=') + 1)));
            if (item.starts_with("close="))
                m_close = port;
            else if (item.starts_with("alert12="))
                m_alert12 = port;
            else if (item.starts_with("alert13="))
                m_alert13 = port;
        }
        setPort(m_close);
        return waitUntilListening(m_close, kStartTimeout, [] { return true; });
    });
}

TlsFaultServer::~TlsFaultServer()
{
    stop();
}

std::string TlsFaultServer::closeUrl(std::string_view path) const
{
    return prefixUrl(m_close, path);
}

std::string TlsFaultServer::alertUrl(bool tls13) const
{
    return prefixUrl(tls13 ? m_alert13 : m_alert12, "/alert");
}

} // namespace testing_support
