#pragma once

#include "http/id_exception.h"

namespace http {

// A TLS session could not be set up or broke down. The message is the plain cause, fit to show
// an operator as it is.
class EIdTLSError : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdTLSError"; }
};

// The server's certificate was refused: "certificate verify failed: " and the verifier's reason
// ("hostname mismatch", "certificate has expired", "self-signed certificate", ...).
class EIdTLSCertificateError : public EIdTLSError
{
public:
    using EIdTLSError::EIdTLSError;
    const char* ClassName() const noexcept override { return "EIdTLSCertificateError"; }
};

// The handshake failed for another reason than the certificate: no TLS server on the port, no
// common protocol version or cipher, the server closing or staying silent.
class EIdTLSHandshakeError : public EIdTLSError
{
public:
    using EIdTLSError::EIdTLSError;
    const char* ClassName() const noexcept override { return "EIdTLSHandshakeError"; }
};

// The server ended the session with a TLS alert, during the handshake or later.
class EIdTLSAlert : public EIdTLSError
{
public:
    using EIdTLSError::EIdTLSError;
    const char* ClassName() const noexcept override { return "EIdTLSAlert"; }
};

} // namespace http
