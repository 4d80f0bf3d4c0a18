#pragma once

#include <string>

#include "http/id_exception.h"

namespace http {

// A proxy answered a CONNECT with anything but success. The code is the proxy's status code;
// the message reads "Proxy refused CONNECT: " with the code and the status text.
class EIdProxyConnectRefused : public EIdHTTPProtocolException
{
public:
    EIdProxyConnectRefused(int code, const std::string& statusText, std::string errorBody)
        : EIdHTTPProtocolException(code, "Proxy refused CONNECT: " + statusText,
                                   std::move(errorBody))
    {}
    const char* ClassName() const noexcept override { return "EIdProxyConnectRefused"; }
};

} // namespace http
