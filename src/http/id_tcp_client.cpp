#include "http/id_tcp_client.h"

#include "http/id_exception.h"
#include "id_io_handler_ssl.h"

namespace http {

void TIdTCPClient::OpenConnection(std::int32_t timeoutMs)
{
    if (!IOHandler()) {
        // Plain TCP until a request asks for TLS on it.
        auto handler = std::make_unique<TIdIOHandlerSSL>();
        handler->OnStatus = OnStatus;
        AdoptIOHandler(std::move(handler));
    } else if (IOHandler()->Connected()) {
        throw EIdAlreadyConnected();
    }
    try {
        IOHandler()->Open();
        ResetConnection();
        IOHandler()->ConnectClient(m_host, m_port, BoundIP, BoundPort, timeoutMs);
        DoStatus(TIdStatus::hsConnected);
        DoConnected();
    } catch (...) {
        CloseSocket();
        throw;
    }
}

void TIdTCPClient::DoConnected()
{
    if (OnConnected)
        OnConnected();
}

} // namespace http
