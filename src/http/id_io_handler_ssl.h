#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "id_io_handler_socket.h"

struct bio_method_st;

namespace http {

class TlsClientContext;

// The socket handler with TLS on demand: plain TCP until StartTLS, a TLS session over the same
// socket from then until Close. Readable counts bytes the session already holds; Recv gives 0
// for the server's close_notify and for a bare TCP close alike; socket failures keep their
// Windows Sockets codes, failures of the TLS layer raise the EIdTLSError family.
class TIdIOHandlerSSL : public TIdIOHandlerSocket
{
public:
    // A handshake with no limit from the connection is still bounded by this.
    static constexpr std::int32_t kDefaultHandshakeTimeoutMs = 60000;

    TIdIOHandlerSSL();
    ~TIdIOHandlerSSL() override;

    void Open() override;
    void Close() override;
    bool SupportsTLS() const override { return true; }
    void StartTLS(const std::string& serverName, std::int32_t timeoutMs) override;
    int Readable(std::int32_t timeoutMs) override;
    std::int32_t Recv(char* buffer, std::int32_t size) override;
    std::int32_t Send(const char* data, std::int32_t size) override;

private:
    struct Session;

    // 0 for the server's close, -1 with LastError for a socket failure; throws for TLS failures.
    std::int32_t ReadFailure(int result);
    void EndSession();

    std::unique_ptr<TlsClientContext> m_context;
    bio_method_st* m_socketMethod = nullptr;
    std::unique_ptr<Session> m_session;
};

} // namespace http
