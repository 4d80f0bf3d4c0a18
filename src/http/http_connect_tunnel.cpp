#include "http/id_custom_http.h"
#include "http/id_exception_proxy.h"
#include "text_util.h"

namespace http {

void TIdCustomHTTP::RequireTransport(const std::string& transport)
{
    if (transport != "plain" && IOHandler() && !IOHandler()->SupportsTLS())
        throw EIdIOHandlerPropInvalid();
    if (transport != m_transport && IsConnected())
        CloseConnection();
    m_transport = transport;
}

void TIdCustomHTTP::SecureNewConnection(ConnectionType type)
{
    if (type == ConnectionType::proxy || !equalsIgnoringCase(m_url.protocol, "HTTPS"))
        return;
    try {
        if (type == ConnectionType::tunnel)
            OpenTunnel();
        IOHandler()->StartTLS(m_url.host, ReadTimeout());
    } catch (...) {
        // Whatever failed, this connection must never carry the request in the clear.
        CloseConnection();
        throw;
    }
}

// CONNECT host:port with the proxy's authorization, as a GET through the proxy carries it. A
// refusal ends the request: a 407 leaves the same traces as one for a GET (a forgotten
// password), and the connection is closed, since nothing else may follow on it.
void TIdCustomHTTP::OpenTunnel()
{
    const std::string authority = m_url.host + ":" + m_url.port;
    if (authority.find_first_of("\r\n") != std::string::npos)
        throw EIdException("URL contains a line break");
    if (!m_proxyParams.Authentication() && m_proxyParams.BasicAuthentication())
        m_proxyParams.SetAuthentication(std::make_unique<TIdBasicAuthentication>(
            m_proxyParams.ProxyUsername(), m_proxyParams.ProxyPassword()));

    BeginBufferedWrite(0);
    WriteLine("CONNECT " + authority + " HTTP/1.1");
    WriteLine("Host: " + authority);
    if (m_proxyParams.Authentication())
        WriteLine("Proxy-Authorization: " + m_proxyParams.Authentication()->Authentication());
    if (!m_request.UserAgent.empty())
        WriteLine("User-Agent: " + m_request.UserAgent);
    WriteLine(std::string());
    EndBufferedWrite();

    m_response.ResponseText = ReadLine();
    ReadResponseHead();
    const int code = m_response.ResponseCode;
    if (code / 100 == 2) {
        // The proxy's answer has no body; a byte beyond it would be taken for TLS.
        if (InputBuffer().Size() != 0)
            throw EIdException("Proxy sent data after its CONNECT answer");
        return;
    }
    if (code == 407)
        ChallengeProxy();
    const std::string& line = m_response.ResponseText;
    const auto space = line.find(' ');
    const std::string status =
        space == std::string::npos ? line : trimBlanks(std::string_view(line).substr(space + 1));
    throw EIdProxyConnectRefused(code, status.empty() ? line : status, std::string());
}

} // namespace http
