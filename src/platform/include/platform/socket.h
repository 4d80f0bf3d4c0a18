#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Windows Sockets error codes. The HTTP client reports socket failures in these codes on every
// platform, so the codes of the platform's own socket interface are mapped onto them here.
namespace wsa {
inline constexpr int kInterrupted = 10004;
inline constexpr int kBadFileNumber = 10009;
inline constexpr int kAccessDenied = 10013;
inline constexpr int kBadAddress = 10014;
inline constexpr int kInvalidArgument = 10022;
inline constexpr int kTooManyOpenFiles = 10024;
inline constexpr int kWouldBlock = 10035;
inline constexpr int kInProgress = 10036;
inline constexpr int kAlreadyInProgress = 10037;
inline constexpr int kNotASocket = 10038;
inline constexpr int kDestinationRequired = 10039;
inline constexpr int kMessageTooLong = 10040;
inline constexpr int kProtocolWrongType = 10041;
inline constexpr int kBadProtocolOption = 10042;
inline constexpr int kProtocolNotSupported = 10043;
inline constexpr int kSocketTypeNotSupported = 10044;
inline constexpr int kOperationNotSupported = 10045;
inline constexpr int kProtocolFamilyNotSupported = 10046;
inline constexpr int kAddressFamilyNotSupported = 10047;
inline constexpr int kAddressInUse = 10048;
inline constexpr int kAddressNotAvailable = 10049;
inline constexpr int kNetworkDown = 10050;
inline constexpr int kNetworkUnreachable = 10051;
inline constexpr int kNetworkReset = 10052;
inline constexpr int kConnectionAborted = 10053;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kNoBufferSpace = 10055;
inline constexpr int kAlreadyConnected = 10056;
inline constexpr int kNotConnected = 10057;
inline constexpr int kShutDown = 10058;
inline constexpr int kTooManyReferences = 10059;
inline constexpr int kTimedOut = 10060;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kTooManySymbolicLinks = 10062;
inline constexpr int kNameTooLong = 10063;
inline constexpr int kHostDown = 10064;
inline constexpr int kHostUnreachable = 10065;
inline constexpr int kNotEmpty = 10066;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kTryAgain = 11002;
inline constexpr int kNoRecovery = 11003;
inline constexpr int kNoData = 11004;
} // namespace wsa

// The Windows Sockets code for a POSIX errno value. Values without a counterpart come back
// unchanged; they are all far below 10000, so they never pass for a Windows Sockets code.
int socketErrorFromErrno(int errnoValue);

// The Windows Sockets code for a failed getaddrinfo result (errnoValue is consulted for
// EAI_SYSTEM): unknown names give 11001, names without an IPv4 address 11004, a resolver that
// cannot be reached now 11002, anything else 11003.
int resolverErrorFromGai(int gaiResult, int errnoValue);

// Looks name up with the platform resolver and gives its first IPv4 address as four decimal
// numbers joined by ".". Returns 0, or a code as resolverErrorFromGai gives. Blocks for as long
// as the resolver takes. Safe from any thread.
int resolveIPv4(const std::string& name, std::string& dotted);

// One blocking IPv4 stream socket, closed with the object. Every operation returns 0 or a
// Windows Sockets code and never throws. Sending to a peer that has gone away gives 10058 (or
// 10054) and never raises SIGPIPE. One thread at a time per object.
class TcpSocket
{
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // Allocates the socket (closing one held before).
    int open();

    // Binds to a dotted local address (empty: any) and port (0: any).
    int bind(const std::string& dottedAddress, std::uint16_t port);

    // Connects to a dotted address. With timeoutMs > 0 the attempt is abandoned once that time
    // has passed: the result is then 10060 and timedOut is set. With timeoutMs <= 0 only the
    // platform limits the wait.
    int connect(const std::string& dottedAddress, std::uint16_t port, int timeoutMs,
                bool& timedOut);

    // Waits until a receive would not block (data, the peer's close or an error is pending).
    // timeoutMs < 0 waits without limit. Returns 1 when readable, 0 when the time passed, -1 on
    // failure with error set.
    int waitReadable(int timeoutMs, int& error);

    // Receives up to size bytes: the count, 0 when the peer has closed, or -1 with error set.
    std::int64_t receive(char* buffer, std::size_t size, int& error);

    // Sends up to size bytes: the count sent, or -1 with error set.
    std::int64_t send(const char* data, std::size_t size, int& error);

    // Shuts the sending direction down (the peer reads its end of data).
    int shutdownSend();

    // Closes the socket; nothing when none is open.
    void close();

    // The local and the peer's dotted address and port of a connected socket.
    int localAddress(std::string& dottedAddress, std::uint16_t& port) const;
    int peerAddress(std::string& dottedAddress, std::uint16_t& port) const;

private:
    int m_fd = -1;
};

} // namespace platform
