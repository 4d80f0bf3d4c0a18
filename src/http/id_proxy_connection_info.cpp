#include "http/id_proxy_connection_info.h"

#include "text_util.h"

namespace http {

void TIdProxyConnectionInfo::SetProxyUsername(const std::string& name)
{
    if (name != m_username)
        m_authentication.reset();
    m_username = name;
}

void TIdProxyConnectionInfo::SetProxyPassword(const std::string& password)
{
    if (password != m_password)
        m_authentication.reset();
    m_password = password;
}

void TIdProxyConnectionInfo::SetProxyServer(const std::string& server)
{
    if (!equalsIgnoringCase(server, m_server))
        m_authentication.reset();
    m_server = server;
}

void TIdProxyConnectionInfo::SetProxyPort(std::int32_t port)
{
    if (port != m_port)
        m_authentication.reset();
    m_port = port;
}

} // namespace http
