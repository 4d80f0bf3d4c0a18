#include "id_io_handler_socket.h"

#include "http/id_exception.h"
#include "text_util.h"

namespace http {
namespace {

bool validPort(std::int32_t port)
{
    return port >= 0 && port <= 65535;
}

} // namespace

void TIdIOHandlerSocket::Open()
{
    if (m_binding && m_binding->allocated)
        Close();
    m_binding = std::make_unique<TIdSocketHandle>();
}

void TIdIOHandlerSocket::Close()
{
    if (m_binding && m_binding->allocated) {
        m_binding->allocated = false;
        m_binding->socket.shutdownSend();
        m_binding->socket.close();
    }
}

std::string TIdIOHandlerSocket::ResolveHost(const std::string& host)
{
    if (equalsIgnoringCase(host, "LOCALHOST"))
        return "127.0.0.1";
    if (isDottedIPv4(host))
        return host;
    std::string dotted;
    if (const int code = platform::resolveIPv4(host, dotted))
        throw EIdSocketError(code);
    return dotted;
}

void TIdIOHandlerSocket::ConnectClient(const std::string& host, std::int32_t port,
                                       const std::string& boundIP, std::int32_t boundPort,
                                       std::int32_t timeoutMs)
{
    if (!m_binding)
        Open();
    TIdSocketHandle& binding = *m_binding;
    if (binding.socket.open() != 0)
        throw EIdInvalidSocket();
    binding.allocated = true;

    if (!boundIP.empty() || boundPort != 0) {
        if (!validPort(boundPort))
            throw EIdSocketError(platform::wsa::kAddressNotAvailable);
        const int code = binding.socket.bind(boundIP, static_cast<std::uint16_t>(boundPort));
        if (code == platform::wsa::kAddressInUse)
            throw EIdCouldNotBindSocket();
        if (code != 0)
            throw EIdSocketError(code);
    }

    if (!isDottedIPv4(host))
        DoStatus(TIdStatus::hsResolving, host);
    const std::string address = ResolveHost(host);
    DoStatus(TIdStatus::hsConnecting, address);

    // Port 0 and ports beyond 16 bits name no peer; they are refused rather than wrapped.
    if (port == 0 || !validPort(port))
        throw EIdSocketError(platform::wsa::kAddressNotAvailable);
    bool timedOut = false;
    const int code =
        binding.socket.connect(address, static_cast<std::uint16_t>(port), timeoutMs, timedOut);
    if (timeoutMs > 0) {
        if (timedOut) {
            Close();
            throw EIdConnectTimeout();
        }
        if (code != 0)
            throw EIdConnectException(EIdSocketError(code).Message());
    } else if (code != 0) {
        throw EIdSocketError(code);
    }
    binding.socket.localAddress(binding.ip, binding.port);
    binding.socket.peerAddress(binding.peerIp, binding.peerPort);
}

int TIdIOHandlerSocket::Readable(std::int32_t timeoutMs)
{
    if (!Connected())
        return -1;
    // Without a limit the receive itself waits, which saves a system call per receive.
    if (timeoutMs < 0)
        return 1;
    int error = 0;
    const int ready = m_binding->socket.waitReadable(timeoutMs, error);
    if (ready < 0)
        m_lastError = error;
    return ready;
}

std::int32_t TIdIOHandlerSocket::Recv(char* buffer, std::int32_t size)
{
    if (!Connected()) {
        m_lastError = platform::wsa::kShutDown;
        return -1;
    }
    int error = 0;
    const auto n = m_binding->socket.receive(buffer, static_cast<std::size_t>(size), error);
    if (n < 0)
        m_lastError = error;
    return static_cast<std::int32_t>(n);
}

std::int32_t TIdIOHandlerSocket::Send(const char* data, std::int32_t size)
{
    if (!Connected()) {
        m_lastError = platform::wsa::kShutDown;
        return -1;
    }
    int error = 0;
    const auto n = m_binding->socket.send(data, static_cast<std::size_t>(size), error);
    if (n < 0)
        m_lastError = error;
    return static_cast<std::int32_t>(n);
}

} // namespace http
