#include "platform/socket.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

bool toSocketAddress(const std::string& dotted, std::uint16_t port, sockaddr_in& address)
{
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (dotted.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, dotted.c_str(), &address.sin_addr) == 1;
}

std::string toDotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

int lastError()
{
    return socketErrorFromErrno(errno);
}

// Reads an address of a socket with getsockname or getpeername.
int readAddress(int fd, decltype(&::getsockname) query, std::string& dottedAddress,
                std::uint16_t& port)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (query(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return lastError();
    dottedAddress = toDotted(address.sin_addr);
    port = ntohs(address.sin_port);
    return 0;
}

// Polls one descriptor, restarting after signals with the time that is left.
int pollOne(int fd, short events, int timeoutMs, short& revents, int& error)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd p{fd, events, 0};
        const int result = ::poll(&p, 1, wait);
        if (result >= 0) {
            revents = p.revents;
            return result;
        }
        if (errno != EINTR) {
            error = lastError();
            return -1;
        }
    }
}

} // namespace

int socketErrorFromErrno(int errnoValue)
{
    switch (errnoValue) {
    case EINTR:
        return wsa::kInterrupted;
    case EBADF:
        return wsa::kBadFileNumber;
    case EACCES:
    case EPERM:
        return wsa::kAccessDenied;
    case EFAULT:
        return wsa::kBadAddress;
    case EINVAL:
        return wsa::kInvalidArgument;
    case EMFILE:
    case ENFILE:
        return wsa::kTooManyOpenFiles;
    case EWOULDBLOCK:
        return wsa::kWouldBlock;
    case EINPROGRESS:
        return wsa::kInProgress;
    case EALREADY:
        return wsa::kAlreadyInProgress;
    case ENOTSOCK:
        return wsa::kNotASocket;
    case EDESTADDRREQ:
        return wsa::kDestinationRequired;
    case EMSGSIZE:
        return wsa::kMessageTooLong;
    case EPROTOTYPE:
        return wsa::kProtocolWrongType;
    case ENOPROTOOPT:
        return wsa::kBadProtocolOption;
    case EPROTONOSUPPORT:
        return wsa::kProtocolNotSupported;
    case ESOCKTNOSUPPORT:
        return wsa::kSocketTypeNotSupported;
    case EOPNOTSUPP:
        return wsa::kOperationNotSupported;
    case EPFNOSUPPORT:
        return wsa::kProtocolFamilyNotSupported;
    case EAFNOSUPPORT:
        return wsa::kAddressFamilyNotSupported;
    case EADDRINUSE:
        return wsa::kAddressInUse;
    case EADDRNOTAVAIL:
        return wsa::kAddressNotAvailable;
    case ENETDOWN:
        return wsa::kNetworkDown;
    case ENETUNREACH:
        return wsa::kNetworkUnreachable;
    case ENETRESET:
        return wsa::kNetworkReset;
    case ECONNABORTED:
        return wsa::kConnectionAborted;
    case ECONNRESET:
        return wsa::kConnectionReset;
    case ENOBUFS:
    case ENOMEM:
        return wsa::kNoBufferSpace;
    case EISCONN:
        return wsa::kAlreadyConnected;
    case ENOTCONN:
        return wsa::kNotConnected;
    case EPIPE:
    case ESHUTDOWN:
        return wsa::kShutDown;
    case ETOOMANYREFS:
        return wsa::kTooManyReferences;
    case ETIMEDOUT:
        return wsa::kTimedOut;
    case ECONNREFUSED:
        return wsa::kConnectionRefused;
    case ELOOP:
        return wsa::kTooManySymbolicLinks;
    case ENAMETOOLONG:
        return wsa::kNameTooLong;
    case EHOSTDOWN:
        return wsa::kHostDown;
    case EHOSTUNREACH:
        return wsa::kHostUnreachable;
    case ENOTEMPTY:
        return wsa::kNotEmpty;
    default:
        return errnoValue;
    }
}

int resolverErrorFromGai(int gaiResult, int errnoValue)
{
    switch (gaiResult) {
    case EAI_NONAME:
        return wsa::kHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return wsa::kNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return wsa::kNoData;
#endif
    case EAI_AGAIN:
        return wsa::kTryAgain;
    case EAI_MEMORY:
        return wsa::kNoBufferSpace;
    case EAI_SYSTEM:
        return socketErrorFromErrno(errnoValue);
    default:
        return wsa::kNoRecovery;
    }
}

int resolveIPv4(const std::string& name, std::string& dotted)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (result != 0)
        return resolverErrorFromGai(result, errno);
    int code = wsa::kNoData;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            dotted = toDotted(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
            code = 0;
            break;
        }
    }
    ::freeaddrinfo(found);
    return code;
}

TcpSocket::~TcpSocket()
{
    close();
}

int TcpSocket::open()
{
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return m_fd < 0 ? lastError() : 0;
}

int TcpSocket::bind(const std::string& dottedAddress, std::uint16_t port)
{
    sockaddr_in address;
    if (!toSocketAddress(dottedAddress, port, address))
        return wsa::kAddressNotAvailable;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return lastError();
    return 0;
}

int TcpSocket::connect(const std::string& dottedAddress, std::uint16_t port, int timeoutMs,
                       bool& timedOut)
{
    timedOut = false;
    sockaddr_in address;
    if (!toSocketAddress(dottedAddress, port, address))
        return wsa::kAddressNotAvailable;
    const auto* target = reinterpret_cast<const sockaddr*>(&address);

    if (timeoutMs <= 0) {
        while (::connect(m_fd, target, sizeof address) != 0) {
            // An interrupted connect goes on in the background; wait for its outcome instead.
            if (errno != EINTR)
                return lastError();
            short revents = 0;
            int error = 0;
            if (pollOne(m_fd, POLLOUT, -1, revents, error) < 0)
                return error;
            int soError = 0;
            socklen_t length = sizeof soError;
            if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
                return lastError();
            return soError == 0 ? 0 : socketErrorFromErrno(soError);
        }
        return 0;
    }

    // A bounded connect: start it without blocking, wait for the socket to become writable.
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return lastError();
    int code = 0;
    if (::connect(m_fd, target, sizeof address) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            code = lastError();
        } else {
            short revents = 0;
            int error = 0;
            const int ready = pollOne(m_fd, POLLOUT, timeoutMs, revents, error);
            if (ready < 0) {
                code = error;
            } else if (ready == 0) {
                timedOut = true;
                code = wsa::kTimedOut;
            } else {
                int soError = 0;
                socklen_t length = sizeof soError;
                if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
                    code = lastError();
                else if (soError != 0)
                    code = socketErrorFromErrno(soError);
            }
        }
    }
    if (::fcntl(m_fd, F_SETFL, flags) != 0 && code == 0)
        code = lastError();
    return code;
}

int TcpSocket::waitReadable(int timeoutMs, int& error)
{
    short revents = 0;
    const int ready = pollOne(m_fd, POLLIN, timeoutMs, revents, error);
    if (ready <= 0)
        return ready;
    if (revents & POLLNVAL) {
        error = wsa::kNotASocket;
        return -1;
    }
    // A hang-up or a pending error is "readable" too: the receive then reports it.
    return 1;
}

std::int64_t TcpSocket::receive(char* buffer, std::size_t size, int& error)
{
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, size, 0);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = lastError();
            return -1;
        }
    }
}

std::int64_t TcpSocket::send(const char* data, std::size_t size, int& error)
{
    for (;;) {
        // MSG_NOSIGNAL: a peer that has gone away must give an error code, not end the process.
        const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = lastError();
            return -1;
        }
    }
}

int TcpSocket::shutdownSend()
{
    if (::shutdown(m_fd, SHUT_WR) != 0)
        return lastError();
    return 0;
}

void TcpSocket::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int TcpSocket::localAddress(std::string& dottedAddress, std::uint16_t& port) const
{
    return readAddress(m_fd, ::getsockname, dottedAddress, port);
}

int TcpSocket::peerAddress(std::string& dottedAddress, std::uint16_t& port) const
{
    return readAddress(m_fd, ::getpeername, dottedAddress, port);
}

} // namespace platform
