#include "id_io_handler_ssl.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <utility>

#include "http/id_exception_tls.h"
#include "platform/socket.h"
#include "text_util.h"
#include "tls_client_context.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace http {
namespace {

using Clock = std::chrono::steady_clock;

// Where the session's records go: the handler's socket, each wait bounded by a deadline when
// one is set. What went wrong below the TLS layer is kept here, as OpenSSL only learns that
// a read or write failed.
struct SocketTransport
{
    platform::TcpSocket* socket = nullptr;
    std::optional<Clock::time_point> deadline;
    bool timedOut = false;
    bool endOfStream = false;
    int error = 0; // Windows Sockets code of a failed receive or send

    void Arm(std::optional<Clock::time_point> until)
    {
        deadline = until;
        timedOut = false;
        error = 0;
    }
};

SocketTransport& transportOf(BIO* bio)
{
    return *static_cast<SocketTransport*>(BIO_get_data(bio));
}

int readFromSocket(BIO* bio, char* data, std::size_t size, std::size_t* received)
{
    SocketTransport& t = transportOf(bio);
    BIO_clear_retry_flags(bio);
    int error = 0;
    if (t.deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*t.deadline - Clock::now());
        const int ready =
            t.socket->waitReadable(static_cast<int>(std::max<long long>(0, left.count())), error);
        if (ready == 0) {
            // Not a failure: the caller decides whether the wait goes on.
            t.timedOut = true;
            BIO_set_retry_read(bio);
            return 0;
        }
        if (ready < 0) {
            t.error = error;
            return 0;
        }
    }
    const std::int64_t n = t.socket->receive(data, size, error);
    if (n > 0) {
        *received = static_cast<std::size_t>(n);
        return 1;
    }
    if (n == 0)
        t.endOfStream = true;
    else
        t.error = error;
    return 0;
}

int writeToSocket(BIO* bio, const char* data, std::size_t size, std::size_t* sent)
{
    SocketTransport& t = transportOf(bio);
    BIO_clear_retry_flags(bio);
    int error = 0;
    const std::int64_t n = t.socket->send(data, size, error);
    if (n < 0) {
        t.error = error;
        return 0;
    }
    *sent = static_cast<std::size_t>(n);
    return 1;
}

long controlSocket(BIO* bio, int command, long, void*)
{
    switch (command) {
    case BIO_CTRL_FLUSH:
        return 1; // every write went to the socket at once
    case BIO_CTRL_EOF:
        return transportOf(bio).endOfStream ? 1 : 0;
    default:
        return 0;
    }
}

// OpenSSL hands out only a few hundred BIO types per process, and a handler lives for one
// connection, so every handler names its BIO method with the one type taken at first use.
int socketBioType()
{
    static const int type = BIO_get_new_index() | BIO_TYPE_SOURCE_SINK;
    return type;
}

// The reason OpenSSL gives for the oldest error it has queued, or empty.
std::string queuedReason(unsigned long& code)
{
    code = ERR_peek_error();
    if (code == 0)
        return std::string();
    const char* reason = ERR_reason_error_string(code);
    return reason ? reason : "error " + std::to_string(ERR_GET_REASON(code));
}

bool isAlert(unsigned long code)
{
    return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) >= SSL_AD_REASON_OFFSET;
}

// What the client reads when the peer answers a ClientHello with something that is no TLS
// record, such as an HTTP error page from a plain-HTTP server.
bool isNotTls(unsigned long code)
{
    if (ERR_GET_LIB(code) != ERR_LIB_SSL)
        return false;
    switch (ERR_GET_REASON(code)) {
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
    case SSL_R_RECORD_LENGTH_MISMATCH:
    case SSL_R_HTTP_REQUEST:
    case SSL_R_HTTPS_PROXY_REQUEST:
    case SSL_R_UNKNOWN_PROTOCOL:
        return true;
    default:
        return false;
    }
}

} // namespace

struct TIdIOHandlerSSL::Session
{
    SSL* ssl = nullptr;
    SocketTransport transport;
    bool closed = false; // the server's close has been read
    bool broken = false; // a fatal error: no close_notify may be sent
    int deferredSocketError = 0;
    std::exception_ptr deferredFailure;

    ~Session() { SSL_free(ssl); }
};

TIdIOHandlerSSL::TIdIOHandlerSSL() = default;

TIdIOHandlerSSL::~TIdIOHandlerSSL()
{
    EndSession();
    BIO_meth_free(m_socketMethod);
}

void TIdIOHandlerSSL::EndSession()
{
    if (!m_session)
        return;
    if (!m_session->broken && Connected()) {
        // One close_notify, without waiting for the server's.
        m_session->transport.Arm(std::nullopt);
        SSL_shutdown(m_session->ssl);
    }
    ERR_clear_error();
    m_session.reset();
}

void TIdIOHandlerSSL::Open()
{
    EndSession();
    TIdIOHandlerSocket::Open();
}

void TIdIOHandlerSSL::Close()
{
    EndSession();
    TIdIOHandlerSocket::Close();
}

void TIdIOHandlerSSL::StartTLS(const std::string& serverName, std::int32_t timeoutMs)
{
    if (!Connected())
        throw EIdNotConnected();
    EndSession();
    if (!m_context)
        m_context = std::make_unique<TlsClientContext>();
    if (!m_socketMethod) {
        m_socketMethod = BIO_meth_new(socketBioType(), "kavor platform socket");
        if (!m_socketMethod || BIO_meth_set_read_ex(m_socketMethod, readFromSocket) != 1 ||
            BIO_meth_set_write_ex(m_socketMethod, writeToSocket) != 1 ||
            BIO_meth_set_ctrl(m_socketMethod, controlSocket) != 1)
            throw EIdTLSError("Cannot set up TLS");
    }

    m_session = std::make_unique<Session>();
    Session& session = *m_session;
    session.broken = true; // until the handshake is through
    session.transport.socket = &Socket();
    session.ssl = SSL_new(m_context->Handle());
    BIO* bio = session.ssl ? BIO_new(m_socketMethod) : nullptr;
    if (!bio)
        throw EIdTLSError("Cannot set up TLS");
    BIO_set_data(bio, &session.transport);
    BIO_set_init(bio, 1);
    SSL_set_bio(session.ssl, bio, bio);

    // A name is sent (SNI) and checked against the certificate's DNS names; an address is
    // checked against its IP addresses and never sent.
    const bool address = isDottedIPv4(serverName);
    const bool named = address ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session.ssl),
                                                               serverName.c_str()) == 1
                               : SSL_set_tlsext_host_name(session.ssl, serverName.c_str()) == 1 &&
                                     SSL_set1_host(session.ssl, serverName.c_str()) == 1;
    if (serverName.empty() || !named)
        throw EIdTLSError("Invalid TLS server name: " + serverName);

    const std::int32_t limit = timeoutMs > 0 ? timeoutMs : kDefaultHandshakeTimeoutMs;
    session.transport.Arm(Clock::now() + std::chrono::milliseconds(limit));
    ERR_clear_error();
    const int result = SSL_connect(session.ssl);
    const SocketTransport t = session.transport;
    session.transport.Arm(std::nullopt);
    if (result == 1) {
        session.broken = false;
        return;
    }

    // The failure is named in the order of what it tells an operator: the certificate first,
    // since a refused certificate also ends in a TLS error.
    const long verification = SSL_get_verify_result(session.ssl);
    if (verification != X509_V_OK)
        throw EIdTLSCertificateError(std::string("certificate verify failed: ") +
                                     X509_verify_cert_error_string(verification));
    if (t.timedOut)
        throw EIdTLSHandshakeError("TLS handshake timed out");
    if (t.error != 0)
        throw EIdSocketError(t.error);
    unsigned long code = 0;
    const std::string reason = queuedReason(code);
    if (code != 0 && isAlert(code))
        throw EIdTLSAlert("TLS alert from the server: " + reason);
    if (code != 0 && isNotTls(code))
        throw EIdTLSHandshakeError("TLS handshake failed: the server does not speak TLS (" +
                                   reason + ")");
    if (code != 0 && !(ERR_GET_LIB(code) == ERR_LIB_SSL &&
                       ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING))
        throw EIdTLSHandshakeError("TLS handshake failed: " + reason);
    throw EIdTLSHandshakeError("TLS handshake failed: the server closed the connection");
}

std::int32_t TIdIOHandlerSSL::ReadFailure(int result)
{
    Session& session = *m_session;
    const int kind = SSL_get_error(session.ssl, result);
    if (kind == SSL_ERROR_ZERO_RETURN) {
        session.closed = true;
        return 0;
    }
    session.broken = true;
    if (session.transport.error != 0) {
        SetLastError(session.transport.error);
        return -1;
    }
    unsigned long code = 0;
    const std::string reason = queuedReason(code);
    ERR_clear_error();
    if (kind == SSL_ERROR_SYSCALL || code == 0 ||
        (ERR_GET_LIB(code) == ERR_LIB_SSL &&
         ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING)) {
        session.closed = true;
        return 0;
    }
    if (isAlert(code))
        throw EIdTLSAlert("TLS alert from the server: " + reason);
    throw EIdTLSError("TLS failure: " + reason);
}

int TIdIOHandlerSSL::Readable(std::int32_t timeoutMs)
{
    if (!m_session)
        return TIdIOHandlerSocket::Readable(timeoutMs);
    if (!Connected())
        return -1;
    Session& session = *m_session;
    if (session.closed || session.deferredSocketError != 0 || session.deferredFailure ||
        SSL_pending(session.ssl) > 0)
        return 1;
    // Without a limit the receive itself waits, as on a plain socket.
    if (timeoutMs < 0)
        return 1;

    // A readable socket may carry records without application data (session tickets, for
    // one), so readiness is judged by what the session makes of them: a peek that waits at
    // most the limit in all.
    session.transport.Arm(Clock::now() + std::chrono::milliseconds(timeoutMs));
    ERR_clear_error();
    char probe = 0;
    const int result = SSL_peek(session.ssl, &probe, 1);
    const bool timedOut = session.transport.timedOut;
    if (result > 0)
        return 1;
    if (SSL_get_error(session.ssl, result) == SSL_ERROR_WANT_READ && timedOut) {
        session.transport.Arm(std::nullopt);
        return 0;
    }
    // A close or a failure: the receive that follows reports it.
    try {
        if (ReadFailure(result) < 0)
            session.deferredSocketError = LastError();
    } catch (...) {
        session.deferredFailure = std::current_exception();
    }
    session.transport.Arm(std::nullopt);
    return 1;
}

std::int32_t TIdIOHandlerSSL::Recv(char* buffer, std::int32_t size)
{
    if (!m_session)
        return TIdIOHandlerSocket::Recv(buffer, size);
    if (!Connected()) {
        SetLastError(platform::wsa::kShutDown);
        return -1;
    }
    Session& session = *m_session;
    try {
        if (session.deferredFailure)
            std::rethrow_exception(std::exchange(session.deferredFailure, nullptr));
        if (session.deferredSocketError != 0) {
            SetLastError(std::exchange(session.deferredSocketError, 0));
            return -1;
        }
        if (session.closed)
            return 0;
        session.transport.Arm(std::nullopt);
        ERR_clear_error();
        const int n = SSL_read(session.ssl, buffer, size);
        return n > 0 ? n : ReadFailure(n);
    } catch (const EIdTLSError&) {
        // A session that failed carries nothing more; closing it keeps it from being reused.
        Close();
        throw;
    }
}

std::int32_t TIdIOHandlerSSL::Send(const char* data, std::int32_t size)
{
    if (!m_session)
        return TIdIOHandlerSocket::Send(data, size);
    Session& session = *m_session;
    if (!Connected() || session.broken) {
        SetLastError(platform::wsa::kShutDown);
        return -1;
    }
    session.transport.Arm(std::nullopt);
    ERR_clear_error();
    const int n = SSL_write(session.ssl, data, size);
    if (n > 0)
        return n;
    const int kind = SSL_get_error(session.ssl, n);
    session.broken = true;
    if (session.transport.error != 0) {
        SetLastError(session.transport.error);
        return -1;
    }
    unsigned long code = 0;
    const std::string reason = queuedReason(code);
    ERR_clear_error();
    if (kind == SSL_ERROR_ZERO_RETURN || kind == SSL_ERROR_SYSCALL || code == 0) {
        SetLastError(platform::wsa::kShutDown);
        return -1;
    }
    Close();
    if (isAlert(code))
        throw EIdTLSAlert("TLS alert from the server: " + reason);
    throw EIdTLSError("TLS failure: " + reason);
}

} // namespace http
