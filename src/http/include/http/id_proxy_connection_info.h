#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "http/id_authentication.h"

namespace http {

// Proxy settings of the client, set by the update run before each run, and the proxy
// authorization built from them. The authorization is built once, the first time a request
// goes out with BasicAuthentication, and reused; changing the server, the port, the user name
// or the password discards it so that the next request uses the new settings.
class TIdProxyConnectionInfo
{
public:
    bool BasicAuthentication() const { return m_basicAuthentication; }
    void SetBasicAuthentication(bool on) { m_basicAuthentication = on; }
    const std::string& ProxyUsername() const { return m_username; }
    void SetProxyUsername(const std::string& name);
    const std::string& ProxyPassword() const { return m_password; }
    void SetProxyPassword(const std::string& password);
    const std::string& ProxyServer() const { return m_server; }
    // Empty means no proxy. A server differing only in letter case is the same server.
    void SetProxyServer(const std::string& server);
    std::int32_t ProxyPort() const { return m_port; }
    void SetProxyPort(std::int32_t port);

    // The cached proxy authorization, or nullptr.
    TIdAuthentication* Authentication() const { return m_authentication.get(); }
    void SetAuthentication(std::unique_ptr<TIdAuthentication> authentication)
    {
        m_authentication = std::move(authentication);
    }
    // Forgets the password without discarding the cached authorization (what a refused proxy
    // challenge does).
    void ForgetPassword() { m_password.clear(); }

private:
    bool m_basicAuthentication = false;
    std::string m_username;
    std::string m_password;
    std::string m_server;
    std::int32_t m_port = 0;
    std::unique_ptr<TIdAuthentication> m_authentication;
};

} // namespace http
