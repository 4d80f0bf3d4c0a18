#pragma once

struct ssl_ctx_st;

namespace http {

// What every TLS session of a client shares: TLS 1.2 or newer, the server's chain verified
// against the default trust store (OpenSSL's SSL_CERT_FILE and SSL_CERT_DIR variables point it
// at another one), a server that closes without close_notify taken as a close. The store is read
// when the context is made.
class TlsClientContext
{
public:
    // Throws EIdTLSError when OpenSSL cannot make a context.
    TlsClientContext();
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext&) = delete;
    TlsClientContext& operator=(const TlsClientContext&) = delete;

    ssl_ctx_st* Handle() const { return m_context; }

private:
    ssl_ctx_st* m_context = nullptr;
};

} // namespace http
