#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/id_cookie_manager.h"
#include "http/id_http_header_info.h"
#include "http/id_proxy_connection_info.h"
#include "http/id_stream.h"
#include "http/id_tcp_client.h"
#include "http/id_uri.h"

namespace http {

enum class TIdHTTPProtocolVersion
{
    pv1_0,
    pv1_1,
};

// How the body of the last answer ended. Only a body that ended the way its framing says is
// whole; whether the connection stays open afterwards says nothing about that.
enum class TIdBodyEnd
{
    NotRead,     // no body was read: the request failed first
    Complete,    // every Content-Length byte, the last chunk, or no body by its framing (0, 204)
    ServerClose, // neither length nor chunks: the server's close ended it
    CutShort,    // the connection ended before the announced Content-Length
};

// The HTTP/1.1 GET exchange over one kept-alive connection, direct or through a proxy with
// Basic authorization. One client per thread at a time.
class TIdCustomHTTP : public TIdTCPClient
{
public:
    // Response header lines beyond this count end the request: a server must not make the
    // client hold an unbounded header block (ordinary answers carry a few dozen lines).
    static constexpr std::size_t kMaxHeaderLines = 1000;
    // Interim 100 answers in a row beyond this count end the request: they come one or two at
    // a time, and a server sending nothing else would hold the client for ever.
    static constexpr std::size_t kMaxInterimResponses = 100;
    // Bodies are held whole in memory; beyond this size (the largest 32-bit signed value, the
    // largest size the client's callers were ever made for) the request fails instead.
    static constexpr std::int64_t kMaxBodyBytes = 2147483647;
    // An unattended run must end: a server that stops answering fails the request after this
    // long without a byte (status line, headers or body); a slow but moving transfer never does.
    static constexpr std::int32_t kDefaultReadTimeoutMs = 60000;
    // A connect that has not succeeded by then fails with EIdConnectTimeout.
    static constexpr std::int32_t kDefaultConnectTimeoutMs = 30000;

    TIdCustomHTTP();
    ~TIdCustomHTTP() override;

    // The host and port also become the current URL's.
    void SetHost(const std::string& host) override;
    void SetPort(std::int32_t port) override;

    TIdHTTPProtocolVersion ProtocolVersion = TIdHTTPProtocolVersion::pv1_1;
    // A cookie store is made on the first response when true.
    bool AllowCookies = true;
    // 301, 302, 303, 307 and 308 answers are followed, at most RedirectMaximum in a row, their
    // Location resolved against the request URL; other answers with a Location still raise.
    bool HandleRedirects = false;
    std::int32_t RedirectMaximum = 15;
    std::int32_t AuthRetries = 3;
    // A body that announces or brings more bytes than this (at most kMaxBodyBytes) ends the
    // request with an EIdException and closes the connection. Lowered by tests, which cannot
    // stream 2 GiB to show the bound.
    std::int64_t MaxBodyBytes = kMaxBodyBytes;
    // Milliseconds a connect may take; 0 leaves the limit to the platform.
    std::int32_t ConnectTimeout = kDefaultConnectTimeoutMs;
    // Called as the body of a Get arrives (not for error or redirect bodies): the bytes so far
    // and the announced total, -1 when the answer announces none. Runs on the requesting thread
    // after every receive, so it must be cheap.
    std::function<void(std::int64_t received, std::int64_t total)> OnBodyProgress;

    TIdProxyConnectionInfo& ProxyParams() { return m_proxyParams; }
    TIdHTTPRequest& Request() { return m_request; }
    const TIdHTTPResponse& Response() const { return m_response; }
    const TIdURI& URL() const { return m_url; }
    // nullptr until the first response when AllowCookies is true.
    TIdCookieManager* CookieManager() const { return m_cookieManager.get(); }
    int ResponseCode() const { return m_response.ResponseCode; }
    // How the body of the last Get ended, and how many of its bytes arrived.
    TIdBodyEnd LastBodyEnd() const { return m_lastBodyEnd; }
    std::int64_t LastBodyBytes() const { return m_lastBodyBytes; }

    // GET url; the body is appended to target. What a failure throws:
    //   EIdSocketError         name look-up, connect, or a connection broken while sending or
    //                          reading (the Windows Sockets code and text);
    //   EIdConnClosedGracefully the server closed before or right after the status line;
    //   EIdException           "Undefined situation" for a 2xx header block cut by a close,
    //                          or a limit of this client (header lines, body size, chunk size);
    //   EIdHTTPProtocolException any status not handled as success: 3xx (redirects are not
    //                          followed), 4xx, 5xx, every answer with a Location header;
    //   EIdUnknownProtocol, EIdIOHandlerPropInvalid (https on a transport without TLS),
    //                          platform::EConvertError (a port that is no number),
    //                          EIdReadLnMaxLineLengthExceeded;
    //   EIdReadTimeout         no byte for ReadTimeout while waiting for the answer;
    //   EIdConnectTimeout, EIdConnectException  the connect took longer than ConnectTimeout,
    //                          or failed under it;
    //   EIdTLSError and kin    https: the TLS session failed (certificate, handshake, alert);
    //   EIdProxyConnectRefused https through the proxy: the proxy refused the tunnel;
    //   EIdRedirectRefused     with HandleRedirects: a redirect from https to http or to
    //                          another scheme, or (EIdTooManyRedirects) beyond RedirectMaximum.
    // https goes direct over TLS or, with a proxy, through a CONNECT tunnel with TLS inside; it
    // never falls back to plain HTTP. A body cut short by the server's close is no failure:
    // LastBodyEnd tells it apart.
    // Bytes of the body received before a failure are in target. A request that finds its
    // kept-alive connection dropped by the server before any answer arrived goes again, once, on
    // a new connection; nothing else is retried.
    void Get(const std::string& url, TIdStream& target);

protected:
    void DoDisconnected() override;

private:
    enum class ConnectionType
    {
        direct,
        proxy,  // absolute-URI requests to the proxy
        tunnel, // origin-form requests inside a CONNECT tunnel through the proxy
    };
    enum class NextStep
    {
        Finished,
        NextRequest,
        Undecided,
    };

    void PerformRequest(const std::string& method, const std::string& url, TIdStream* target);
    ConnectionType ChooseEndpoint();
    // Connects (or reuses the connection), writes the request and reads the status line.
    void SendRequest(const TIdRequestTarget& target);
    void OpenForRequest(const TIdRequestTarget& target);
    void EnsureConnected(ConnectionType type);
    // Keeps the open connection only when it carries what the request needs (plain, TLS, a
    // tunnel to the same origin).
    void RequireTransport(const std::string& transport);
    // On a new connection: the tunnel through the proxy, then TLS, as the URL's scheme asks.
    void SecureNewConnection(ConnectionType type);
    void OpenTunnel();
    // The request URL for a followed redirect; raises EIdRedirectRefused for one it refuses.
    std::string RedirectTarget();
    void WriteRequest(const std::string& requestTarget, const std::string& hostHeader,
                      ConnectionType type);
    void ReadResponseHead();
    void ReadHeaderBlock();
    void TakeResponseFields();
    NextStep DecideNextStep();
    void ChallengeServer();
    void ChallengeProxy();
    [[noreturn]] void FailWithStatus();
    void DrainBody();
    // Reads the body by its framing into target (nothing without one) and says how it ended;
    // with reportProgress, OnBodyProgress hears of every step.
    TIdBodyEnd ReadBody(TIdStream* target, bool reportProgress = false);
    // ReadBody under a read timeout of its own; the configured one is restored afterwards.
    void ReadBodyWithin(TIdStream* target, std::int32_t timeoutMs);
    void ReadChunkedBody(TIdStream& target);
    std::int64_t ReadChunkSize();
    bool KeepsConnection();

    TIdURI m_url;
    TIdHTTPRequest m_request;
    TIdHTTPResponse m_response;
    TIdProxyConnectionInfo m_proxyParams;
    std::unique_ptr<TIdCookieManager> m_cookieManager;
    bool m_connectionReused = false; // the request went out on a kept-alive connection
    TIdBodyEnd m_lastBodyEnd = TIdBodyEnd::NotRead;
    std::int64_t m_lastBodyBytes = 0;
    std::string m_transport; // what the open connection carries, as RequireTransport takes it
    std::int32_t m_redirectCount = 0;
    std::int32_t m_authRetries = 0;
    std::int32_t m_proxyAuthRetries = 0;
};

} // namespace http
