#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "http/id_io_handler.h"
#include "platform/socket.h"

namespace http {

// One socket with what is known about it once connected.
struct TIdSocketHandle
{
    platform::TcpSocket socket;
    bool allocated = false;
    std::string ip;
    std::uint16_t port = 0;
    std::string peerIp;
    std::uint16_t peerPort = 0;
};

// The handler a connection makes for itself: a real IPv4 socket.
class TIdIOHandlerSocket : public TIdIOHandler
{
public:
    void Open() override;
    void Close() override;
    void ConnectClient(const std::string& host, std::int32_t port, const std::string& boundIP,
                       std::int32_t boundPort, std::int32_t timeoutMs) override;
    bool Connected() const override { return m_binding && m_binding->allocated; }
    int Readable(std::int32_t timeoutMs) override;
    std::int32_t Recv(char* buffer, std::int32_t size) override;
    std::int32_t Send(const char* data, std::int32_t size) override;
    int LastError() const override { return m_lastError; }

    const TIdSocketHandle* Binding() const { return m_binding.get(); }

    // The dotted IPv4 address of host: "LOCALHOST" in any case is 127.0.0.1, a dotted address
    // stays as it is, anything else goes to the platform's resolver. Throws EIdSocketError
    // (11001 "Host not found." and the other resolver codes).
    static std::string ResolveHost(const std::string& host);

protected:
    // The socket of the current binding; only while Connected.
    platform::TcpSocket& Socket() { return m_binding->socket; }
    void SetLastError(int code) { m_lastError = code; }

private:
    std::unique_ptr<TIdSocketHandle> m_binding;
    int m_lastError = 0;
};

} // namespace http
