#pragma once

#include <cstdint>
#include <string>

#include "http/id_component.h"
#include "http/id_exception.h"

namespace http {

// The transport under a connection: one socket at a time, opened, connected, read, written
// and closed. The connection creates a socket handler for itself unless it is given another
// one, such as a scripted stand-in that replays a server's bytes from memory.
class TIdIOHandler : public TIdComponent
{
public:
    // Prepares a fresh socket for the next connect; nothing is allocated yet.
    virtual void Open() = 0;
    // Closes the socket if one is allocated, shutting its sending direction first. No throw.
    virtual void Close() = 0;
    // Allocates a socket and connects it to host:port. timeoutMs <= 0 waits as long as the
    // platform does. Throws EIdInvalidSocket, EIdCouldNotBindSocket, EIdSocketError (name
    // look-up and connect failures), EIdConnectTimeout or EIdConnectException.
    virtual void ConnectClient(const std::string& host, std::int32_t port,
                               const std::string& boundIP, std::int32_t boundPort,
                               std::int32_t timeoutMs) = 0;
    // Whether a socket is allocated.
    virtual bool Connected() const = 0;
    // Waits until a receive would not block; timeoutMs < 0 waits without limit. 1 when
    // readable, 0 when the time passed, -1 when the wait failed.
    virtual int Readable(std::int32_t timeoutMs) = 0;
    // Receives up to size bytes: the count, 0 when the peer closed, -1 on failure (LastError).
    virtual std::int32_t Recv(char* buffer, std::int32_t size) = 0;
    // Sends up to size bytes: the count, -1 on failure (LastError).
    virtual std::int32_t Send(const char* data, std::int32_t size) = 0;
    // The Windows Sockets code of the last failed Readable, Recv or Send.
    virtual int LastError() const = 0;
    // Turns the connected socket into a TLS session with the server named serverName (a host
    // name or a dotted address): the handshake, the server's chain checked against the trust
    // store and its certificate against the name. Later reads and writes go through the
    // session. The handshake is bounded by timeoutMs (<= 0: a limit of the handler's own).
    // Throws the EIdTLSError family (the cause in the message) or EIdSocketError; a handler
    // without TLS throws EIdIOHandlerPropInvalid.
    virtual bool SupportsTLS() const { return false; }
    virtual void StartTLS(const std::string& serverName, std::int32_t timeoutMs)
    {
        static_cast<void>(serverName);
        static_cast<void>(timeoutMs);
        throw EIdIOHandlerPropInvalid();
    }
};

} // namespace http
