#include "http/id_custom_http.h"

#include "http/id_exception.h"
#include "platform/convert_error.h"
#include "platform/socket.h"
#include "text_util.h"

namespace http {
namespace {

// Whether a challenge offers a scheme the client supports: Basic is the only one.
bool offersBasic(const std::vector<std::string>& challenges)
{
    for (const std::string& challenge : challenges) {
        if (equalsIgnoringCase(challenge.substr(0, challenge.find(' ')), "Basic"))
            return true;
    }
    return false;
}

// What a request meets when the server dropped the connection before the request arrived.
bool diedWhileIdle(const EIdException& e)
{
    if (dynamic_cast<const EIdConnClosedGracefully*>(&e))
        return true;
    const auto* socketError = dynamic_cast<const EIdSocketError*>(&e);
    return socketError && (socketError->Code() == platform::wsa::kShutDown ||
                           socketError->Code() == platform::wsa::kConnectionAborted ||
                           socketError->Code() == platform::wsa::kConnectionReset);
}

bool isFollowedRedirect(int code)
{
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

} // namespace

TIdCustomHTTP::TIdCustomHTTP()
{
    m_port = 80;
    m_url.port = "80";
    SetReadTimeout(kDefaultReadTimeoutMs);
}

TIdCustomHTTP::~TIdCustomHTTP() = default;

void TIdCustomHTTP::SetHost(const std::string& host)
{
    TIdTCPClient::SetHost(host);
    m_url.host = host;
}

void TIdCustomHTTP::SetPort(std::int32_t port)
{
    TIdTCPClient::SetPort(port);
    m_url.port = std::to_string(port);
}

void TIdCustomHTTP::Get(const std::string& url, TIdStream& target)
{
    PerformRequest("GET", url, &target);
}

void TIdCustomHTTP::DoDisconnected()
{
    TIdTCPClient::DoDisconnected();
    if (m_request.Authentication && m_request.Authentication->Completed())
        m_request.Authentication.reset();
    if (m_proxyParams.Authentication())
        m_proxyParams.Authentication()->Reset();
}

void TIdCustomHTTP::PerformRequest(const std::string& method, const std::string& url,
                                   TIdStream* target)
{
    const std::int64_t start = target ? target->Size() : 0;
    m_authRetries = 0;
    m_proxyAuthRetries = 0;
    m_request.URL = url;
    m_request.Method = method;
    m_response.ContentStream = target;
    m_lastBodyEnd = TIdBodyEnd::NotRead;
    m_lastBodyBytes = 0;

    try {
        for (;;) {
            ++m_redirectCount;
            const TIdRequestTarget resolved =
                ResolveTarget(m_url, m_request.Username, m_request.Password, m_request.URL);
            m_request.ContentLength = -1;
            SendRequest(resolved);
            ReadResponseHead();
            const NextStep step = DecideNextStep();
            if (step == NextStep::Finished)
                break;
            if (step == NextStep::Undecided)
                throw EIdException("Undefined situation");
            if (target)
                target->Truncate(start);
            m_authRetries = 0;
            m_proxyAuthRetries = 0;
        }
    } catch (const EIdHTTPProtocolException&) {
        // The error answer was read whole, so the connection may serve the next request.
        m_redirectCount = 0;
        try {
            if (!KeepsConnection())
                CloseConnection();
        } catch (...) {
            // The failure that got us here is the one to report.
        }
        throw;
    } catch (...) {
        // Any other failure may leave part of an answer unread (a stalled body, a header block
        // cut by a timeout); the next request must never take it for its own answer.
        m_redirectCount = 0;
        CloseConnection();
        throw;
    }
    m_redirectCount = 0;
    if (!KeepsConnection())
        CloseConnection();
}

TIdCustomHTTP::ConnectionType TIdCustomHTTP::ChooseEndpoint()
{
    if (m_proxyParams.ProxyServer().empty()) {
        const std::int32_t port = platform::parseIntOrThrow(m_url.port);
        if (!equalsIgnoringCase(m_host, m_url.host) || m_port != port) {
            if (IsConnected())
                CloseConnection();
            m_host = m_url.host;
            m_port = port;
        }
        RequireTransport(equalsIgnoringCase(m_url.protocol, "HTTPS") ? "tls" : "plain");
        return ConnectionType::direct;
    }

    if ((!equalsIgnoringCase(m_host, m_proxyParams.ProxyServer()) ||
         m_port != m_proxyParams.ProxyPort()) &&
        IsConnected())
        CloseConnection();
    m_host = m_proxyParams.ProxyServer();
    m_port = m_proxyParams.ProxyPort();
    if (equalsIgnoringCase(m_url.protocol, "HTTPS")) {
        // A tunnel was opened with the proxy's credentials of then; new ones need a new tunnel.
        RequireTransport("tunnel " + m_url.host + ":" + m_url.port + " " +
                         m_proxyParams.ProxyUsername() + ":" + m_proxyParams.ProxyPassword());
        return ConnectionType::tunnel;
    }
    RequireTransport("plain");
    return ConnectionType::proxy;
}

void TIdCustomHTTP::SendRequest(const TIdRequestTarget& resolved)
{
    try {
        OpenForRequest(resolved);
        m_response.ResponseText = ReadLine();
    } catch (const EIdException& e) {
        if (!m_connectionReused || !diedWhileIdle(e) || InputBuffer().Size() != 0)
            throw;
        // A server may close a kept-alive connection just as the next request goes out (a
        // proxy that never keeps connections does so after every answer); the request never
        // reached it and nothing came back, so it goes again, once, on a new connection.
        CloseConnection();
        OpenForRequest(resolved);
        m_response.ResponseText = ReadLine();
    }
}

void TIdCustomHTTP::OpenForRequest(const TIdRequestTarget& resolved)
{
    const ConnectionType type = ChooseEndpoint();
    const std::string requestTarget =
        type == ConnectionType::proxy ? m_url.ComposeAbsolute() : resolved.target;
    // A line break in a link would end the request line early and let the rest of the link
    // pass for header lines of its own.
    if (requestTarget.find_first_of("\r\n") != std::string::npos ||
        resolved.hostHeader.find_first_of("\r\n") != std::string::npos)
        throw EIdException("URL contains a line break");

    if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 && m_request.Connection.empty()) {
        if (type != ConnectionType::proxy)
            m_request.Connection = "keep-alive";
        else
            m_request.ProxyConnection = "keep-alive";
    }
    EnsureConnected(type);
    WriteRequest(requestTarget, resolved.hostHeader, type);
}

void TIdCustomHTTP::EnsureConnected(ConnectionType type)
{
    m_connectionReused = false;
    if (!KeepsConnection())
        CloseConnection();
    try {
        ProbeForClose(false);
    } catch (const EIdSocketError&) {
        // A kept-alive connection the server has reset while idle carries no request yet; it
        // is simply replaced by a new one.
        CloseConnection();
    }
    m_connectionReused = IsConnected();
    if (!m_connectionReused) {
        OpenConnection(ConnectTimeout);
        SecureNewConnection(type);
    }
}

bool TIdCustomHTTP::KeepsConnection()
{
    if (!IsConnected())
        return false;
    const std::string connection = trimBlanks(m_response.Connection);
    const std::string proxyConnection = trimBlanks(m_response.ProxyConnection);
    if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_1)
        return !equalsIgnoringCase(connection, "CLOSE") &&
               !equalsIgnoringCase(proxyConnection, "CLOSE");
    return equalsIgnoringCase(connection, "KEEP-ALIVE") ||
           equalsIgnoringCase(proxyConnection, "KEEP-ALIVE");
}

TIdCustomHTTP::NextStep TIdCustomHTTP::DecideNextStep()
{
    const int code = m_response.ResponseCode;
    const int kind = code / 100;

    if ((kind == 3 && code != 304) || !m_response.Location.empty()) {
        if (!HandleRedirects || !isFollowedRedirect(code))
            FailWithStatus();
        if (IsConnected())
            DrainBody();
        m_request.URL = RedirectTarget();
        return NextStep::NextRequest;
    }

    if (kind != 2) {
        // Challenges leave their traces (an attached scheme, a forgotten proxy password), but
        // without credentials to offer the client never retries.
        if (code == 401)
            ChallengeServer();
        else if (code == 407)
            ChallengeProxy();
        FailWithStatus();
    }

    // A 2xx whose connection is gone before the header block ended has no trustworthy body.
    if (!IsConnected())
        return NextStep::Undecided;
    TIdStream* body = m_response.ContentStream;
    const std::int64_t before = body ? body->Size() : 0;
    m_lastBodyEnd = code == 204 ? TIdBodyEnd::Complete : ReadBody(body, true);
    m_lastBodyBytes = body ? body->Size() - before : 0;
    return NextStep::Finished;
}

void TIdCustomHTTP::ChallengeServer()
{
    if (m_authRetries < AuthRetries) {
        ++m_authRetries;
        if (!m_request.Authentication && offersBasic(m_response.WWWAuthenticate))
            m_request.Authentication = std::make_unique<TIdBasicAuthentication>();
    }
    if (m_request.Authentication)
        m_request.Authentication->Reset();
}

void TIdCustomHTTP::ChallengeProxy()
{
    if (m_proxyAuthRetries < AuthRetries) {
        ++m_proxyAuthRetries;
        if (!m_proxyParams.Authentication()) {
            if (!offersBasic(m_response.ProxyAuthenticate))
                return;
            m_proxyParams.SetAuthentication(std::make_unique<TIdBasicAuthentication>());
        }
        m_proxyParams.ForgetPassword();
    }
    if (m_proxyParams.Authentication())
        m_proxyParams.Authentication()->Reset();
}

void TIdCustomHTTP::ReadBodyWithin(TIdStream* target, std::int32_t timeoutMs)
{
    const std::int32_t savedTimeout = ReadTimeout();
    // Never longer than the configured limit: it bounds every wait of a request.
    if (savedTimeout <= 0 || timeoutMs < savedTimeout)
        SetReadTimeout(timeoutMs);
    try {
        ReadBody(target);
    } catch (...) {
        SetReadTimeout(savedTimeout);
        throw;
    }
    SetReadTimeout(savedTimeout);
}

void TIdCustomHTTP::FailWithStatus()
{
    // The error body is read with a short limit: a kept-alive connection that sends no body
    // and no length would otherwise hold the request for ever.
    TIdStringStream errorBody;
    ReadBodyWithin(&errorBody, 2000);
    throw EIdHTTPProtocolException(m_response.ResponseCode, m_response.ResponseText,
                                   errorBody.Release());
}

void TIdCustomHTTP::DrainBody()
{
    TIdStringStream dropped;
    try {
        ReadBodyWithin(&dropped, 4000);
    } catch (const std::exception&) {
        // Whatever is left of a body nobody wants does not decide the request.
    }
}

} // namespace http
