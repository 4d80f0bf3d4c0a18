#include "http/id_custom_http.h"

namespace http {

// Builds the request head in its fixed header order and sends it in one piece.
void TIdCustomHTTP::WriteRequest(const std::string& requestTarget, const std::string& hostHeader,
                                 ConnectionType type)
{
    TIdHeaderList headers;
    const auto set = [&headers](const char* name, const std::string& value) {
        if (!value.empty())
            headers.SetValue(name, value);
    };

    set("Connection", m_request.Connection);
    set("Content-Version", m_request.ContentVersion);
    set("Content-Encoding", m_request.ContentEncoding);
    set("Content-Language", m_request.ContentLanguage);
    set("Content-Type", m_request.ContentType);
    if (m_request.ContentLength >= 0)
        set("Content-Length", std::to_string(m_request.ContentLength));
    set("Cache-control", m_request.CacheControl);
    set("Date", m_request.Date);
    set("Expires", m_request.Expires);
    set("Pragma", m_request.Pragma);
    for (const std::string& line : m_request.CustomHeaders.Lines())
        headers.Add(line);
    set("Proxy-Connection", m_request.ProxyConnection);
    set("Host", hostHeader);
    set("Accept", m_request.Accept);
    set("Accept-Charset", m_request.AcceptCharSet);
    set("Accept-Encoding", m_request.AcceptEncoding);
    set("Accept-Language", m_request.AcceptLanguage);
    set("From", m_request.From);
    set("Referer", m_request.Referer);
    set("User-Agent", m_request.UserAgent);
    set("If-Modified-Since", m_request.IfModifiedSince);
    set("Range", m_request.Range);

    if (!m_request.Authentication && m_request.BasicAuthentication)
        m_request.Authentication =
            std::make_unique<TIdBasicAuthentication>(m_request.Username, m_request.Password);
    if (m_request.Authentication)
        set("Authorization", m_request.Authentication->Authentication());

    // Proxy credentials go to the proxy only, never to an origin server.
    if (type == ConnectionType::proxy) {
        if (!m_proxyParams.Authentication() && m_proxyParams.BasicAuthentication())
            m_proxyParams.SetAuthentication(std::make_unique<TIdBasicAuthentication>(
                m_proxyParams.ProxyUsername(), m_proxyParams.ProxyPassword()));
        if (m_proxyParams.Authentication())
            set("Proxy-Authorization", m_proxyParams.Authentication()->Authentication());
    }

    if (m_cookieManager)
        set("Cookie", m_cookieManager->CookieHeaderFor(m_url, false));

    const char* version = ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 ? "1.0" : "1.1";
    BeginBufferedWrite(0);
    WriteLine(m_request.Method + " " + requestTarget + " HTTP/" + version);
    for (const std::string& line : headers.Lines())
        WriteLine(line);
    WriteLine(std::string());
    EndBufferedWrite();
}

} // namespace http
