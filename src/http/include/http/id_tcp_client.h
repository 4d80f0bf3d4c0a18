#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "http/id_tcp_connection.h"

namespace http {

// A connection that connects to Host:Port itself.
class TIdTCPClient : public TIdTCPConnection
{
public:
    const std::string& Host() const { return m_host; }
    virtual void SetHost(const std::string& host) { m_host = host; }
    std::int32_t Port() const { return m_port; }
    virtual void SetPort(std::int32_t port) { m_port = port; }

    // Local address and port to bind to; empty and 0 leave the choice to the platform.
    std::string BoundIP;
    std::int32_t BoundPort = 0;

    // Connects to Host:Port ("LOCALHOST" is 127.0.0.1; other names go to the platform's
    // resolver, IPv4 only). timeoutMs <= 0 waits as long as the platform does. On failure the
    // socket is closed and the handler kept. Throws EIdAlreadyConnected when open, and what
    // TIdIOHandler::ConnectClient throws.
    void OpenConnection(std::int32_t timeoutMs);

    std::function<void()> OnConnected;

protected:
    virtual void DoConnected();

    std::string m_host;
    std::int32_t m_port = 0;
};

} // namespace http
