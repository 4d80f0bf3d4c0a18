#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace http {

// Proxy settings of the client, set by the update run before each run.
class TIdProxyConnectionInfo
{
public:
    void SetBasicAuthentication(bool on) { m_basicAuthentication = on; }
    void SetProxyUsername(const std::string& name) { m_username = name; }
    void SetProxyPassword(const std::string& password) { m_password = password; }
    void SetProxyServer(const std::string& server) { m_server = server; }
    void SetProxyPort(std::int32_t port) { m_port = port; }

private:
    bool m_basicAuthentication = false;
    std::string m_username;
    std::string m_password;
    std::string m_server;
    std::int32_t m_port = 0;
};

// The blocking HTTP/1.1 GET client. One client per thread at a time.
class TIdHTTP
{
public:
    TIdHTTP();
    ~TIdHTTP();

    // Fetches url; text receives the body bytes unchanged. Throws on every failure (classes
    // derived from EIdException, or platform::EConvertError for a port that is no number);
    // bytes received before a failure are in text all the same.
    void GetText(const std::string& url, std::string& text);

    // Whether the connection was left open by the last request.
    bool IsConnected();

    TIdProxyConnectionInfo& ProxyParams() { return m_proxyParams; }

    // The host of a URL that names none (the current URL starts with it).
    void SetHost(const std::string& host) { m_host = host; }

private:
    TIdProxyConnectionInfo m_proxyParams;
    std::string m_host;
};

} // namespace http
