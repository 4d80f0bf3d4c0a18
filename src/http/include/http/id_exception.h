#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace http {

// Root of every failure the HTTP client raises. Messages are 8-bit texts; ClassName gives the
// class's own name for reports such as kavor-get's.
class EIdException : public std::exception
{
public:
    explicit EIdException(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const noexcept { return m_message; }
    virtual const char* ClassName() const noexcept { return "EIdException"; }

private:
    std::string m_message;
};

// Failures that are part of normal operation rather than faults.
class EIdSilentException : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdSilentException"; }
};

// The peer closed the connection while data was still needed.
class EIdConnClosedGracefully : public EIdSilentException
{
public:
    EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
    const char* ClassName() const noexcept override { return "EIdConnClosedGracefully"; }
};

// A socket call failed. Code is a Windows Sockets code (10004 to 10066, 11001 to 11004), or the
// platform's own code where there is no counterpart. Message: "Socket Error # <code>\r\n<text>",
// the text empty for codes without one.
class EIdSocketError : public EIdException
{
public:
    explicit EIdSocketError(int code);
    int Code() const noexcept { return m_code; }
    const char* ClassName() const noexcept override { return "EIdSocketError"; }

    // The text of a Windows Sockets code, empty when it has none.
    static const char* TextFor(int code);

private:
    int m_code;
};

// A wait with a limit expired.
class EIdReadTimeout : public EIdException
{
public:
    EIdReadTimeout() : EIdException("Read Timeout") {}
    const char* ClassName() const noexcept override { return "EIdReadTimeout"; }
};

class EIdReadLnMaxLineLengthExceeded : public EIdException
{
public:
    EIdReadLnMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
    const char* ClassName() const noexcept override { return "EIdReadLnMaxLineLengthExceeded"; }
};

class EIdTCPConnectionError : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdTCPConnectionError"; }
};

class EIdNotConnected : public EIdTCPConnectionError
{
public:
    EIdNotConnected() : EIdTCPConnectionError("Not Connected") {}
    const char* ClassName() const noexcept override { return "EIdNotConnected"; }
};

class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError
{
public:
    EIdNotEnoughDataInBuffer() : EIdTCPConnectionError("Not enough data in buffer.") {}
    const char* ClassName() const noexcept override { return "EIdNotEnoughDataInBuffer"; }
};

class EIdAlreadyConnected : public EIdException
{
public:
    EIdAlreadyConnected() : EIdException("Already connected.") {}
    const char* ClassName() const noexcept override { return "EIdAlreadyConnected"; }
};

class EIdInvalidSocket : public EIdException
{
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
    const char* ClassName() const noexcept override { return "EIdInvalidSocket"; }
};

class EIdSocketHandleError : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdSocketHandleError"; }
};

class EIdCouldNotBindSocket : public EIdSocketHandleError
{
public:
    EIdCouldNotBindSocket()
        : EIdSocketHandleError("Could not bind socket. Address and port are already in use.")
    {}
    const char* ClassName() const noexcept override { return "EIdCouldNotBindSocket"; }
};

// A connect bounded by a timeout did not finish in time.
class EIdConnectTimeout : public EIdException
{
public:
    EIdConnectTimeout() : EIdException("Connect timed out.") {}
    const char* ClassName() const noexcept override { return "EIdConnectTimeout"; }
};

// A connect bounded by a timeout failed; the message is that of the socket error.
class EIdConnectException : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdConnectException"; }
};

// The socket stack could not be started. Kept for the class tree; POSIX sockets need no start,
// so this build never raises it.
class EIdStackError : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdStackError"; }
};

class EIdStackInitializationFailed : public EIdStackError
{
public:
    EIdStackInitializationFailed() : EIdStackError("Winsock Initialization Error.") {}
    const char* ClassName() const noexcept override { return "EIdStackInitializationFailed"; }
};

// ComposeAbsolute on a URL without protocol or host.
class EIdURIException : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdURIException"; }
};

// A URL whose protocol is neither http nor https and names no port. Empty message.
class EIdUnknownProtocol : public EIdException
{
public:
    EIdUnknownProtocol() : EIdException("") {}
    const char* ClassName() const noexcept override { return "EIdUnknownProtocol"; }
};

// An https URL on a transport that has no TLS layer.
class EIdIOHandlerPropInvalid : public EIdException
{
public:
    EIdIOHandlerPropInvalid() : EIdException("IOHandler value is not valid") {}
    const char* ClassName() const noexcept override { return "EIdIOHandlerPropInvalid"; }
};

// A reply the protocol does not accept as success; carries its numeric code.
class EIdProtocolReplyError : public EIdException
{
public:
    EIdProtocolReplyError(int code, std::string message)
        : EIdException(std::move(message)), m_code(code)
    {}
    int ReplyErrorCode() const noexcept { return m_code; }
    const char* ClassName() const noexcept override { return "EIdProtocolReplyError"; }

private:
    int m_code;
};

// An HTTP status not handled as success: the status code (-1 when the status line had none),
// the status line as the message, and the body the server sent with it.
class EIdHTTPProtocolException : public EIdProtocolReplyError
{
public:
    EIdHTTPProtocolException(int code, std::string statusLine, std::string errorBody)
        : EIdProtocolReplyError(code, std::move(statusLine)), m_errorBody(std::move(errorBody))
    {}
    const std::string& ErrorMessage() const noexcept { return m_errorBody; }
    const char* ClassName() const noexcept override { return "EIdHTTPProtocolException"; }

private:
    std::string m_errorBody;
};

} // namespace http
