#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/loopback_servers.h"

namespace testing_support {

// The test PKI of this test process (tests/support/make-test-pki.sh: ca, good, wronghost,
// expired, selfsigned), made on first use. Making it also points OpenSSL's default trust store
// at the test CA alone (SSL_CERT_FILE set, SSL_CERT_DIR unset), for this process and the
// programs it starts: call it before the first TLS session.
const std::filesystem::path& testPki();

// nginx from tests/support/nginx-tls.conf on the test PKI: one HTTPS server per certificate and
// a plain-HTTP server (port(), url()) with redirects to the good one, all serving docroot().
class NginxTlsServer : public ServerProcess
{
public:
    NginxTlsServer();
    ~NginxTlsServer();

    std::uint16_t goodPort() const { return m_good; }
    std::uint16_t wrongHostPort() const { return m_wrongHost; }
    std::uint16_t expiredPort() const { return m_expired; }
    std::uint16_t selfSignedPort() const { return m_selfSigned; }
    // "https://127.0.0.1:<port>" followed by path; the good server unless port is given.
    std::string httpsUrl(std::string_view path = "/", std::uint16_t port = 0) const;

    const std::filesystem::path& docroot() const { return m_docroot; }
    std::string accessLog() const;
    bool waitForAccessLog(std::string_view needle,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    std::filesystem::path m_docroot;
    std::uint16_t m_good = 0;
    std::uint16_t m_wrongHost = 0;
    std::uint16_t m_expired = 0;
    std::uint16_t m_selfSigned = 0;
};

// tests/support/tls_fault_server.py on the test PKI: a body closed without close_notify, and
// servers that end the handshake (TLS 1.2) or the first read (TLS 1.3) with an alert.
class TlsFaultServer : public ServerProcess
{
public:
    TlsFaultServer();
    ~TlsFaultServer();

    // "https://127.0.0.1:<port>/bare-close" and the like.
    std::string closeUrl(std::string_view path) const;
    std::string alertUrl(bool tls13) const;

private:
    std::uint16_t m_close = 0;
    std::uint16_t m_alert12 = 0;
    std::uint16_t m_alert13 = 0;
};

} // namespace testing_support
