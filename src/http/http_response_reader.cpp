#include "http/id_custom_http.h"
#include "http/id_exception.h"
#include "platform/convert_error.h"
#include "text_util.h"

namespace http {
namespace {

// The status code is the second word of the status line; -1 when it is no decimal number.
int statusCodeOf(const std::string& statusLine)
{
    const auto space = statusLine.find(' ');
    if (space == std::string::npos)
        return -1;
    const std::string rest = trimBlanks(std::string_view(statusLine).substr(space + 1));
    return parseDecimal32(std::string_view(rest).substr(0, rest.find(' '))).value_or(-1);
}

} // namespace

void TIdCustomHTTP::ReadResponseHead()
{
    // Interim 100 answers are skipped, though the cookies they set are kept. The first status
    // line has been read already.
    for (std::size_t interim = 0;; ++interim) {
        if (interim == kMaxInterimResponses) {
            CloseConnection();
            throw EIdException("More than " + std::to_string(kMaxInterimResponses) +
                               " interim responses");
        }
        if (interim > 0)
            m_response.ResponseText = ReadLine();
        m_response.ResponseCode = statusCodeOf(m_response.ResponseText);
        ReadHeaderBlock();
        if (!m_cookieManager && AllowCookies)
            m_cookieManager = std::make_unique<TIdCookieManager>();
        if (m_cookieManager)
            m_cookieManager->StoreResponseCookies(m_response.RawHeaders, m_url.host);
        if (m_response.ResponseCode != 100)
            return;
    }
}

void TIdCustomHTTP::ReadHeaderBlock()
{
    TIdHeaderList& lines = m_response.RawHeaders;
    lines.Clear();
    // A close on the first header line means no answer at all and propagates; a close on a
    // later one ends the block with what arrived.
    std::string line = ReadLine();
    while (!line.empty()) {
        if (lines.Count() == kMaxHeaderLines) {
            CloseConnection();
            throw EIdException("Response header block exceeds " + std::to_string(kMaxHeaderLines) +
                               " lines");
        }
        lines.Add(std::move(line));
        try {
            line = ReadLine();
        } catch (const EIdConnClosedGracefully&) {
            CloseConnection();
            break;
        }
    }
    TakeResponseFields();
}

void TIdCustomHTTP::TakeResponseFields()
{
    const TIdHeaderList& lines = m_response.RawHeaders;
    m_response.Location = lines.Values("Location");
    m_response.Connection = lines.Values("Connection");
    m_response.ProxyConnection = lines.Values("Proxy-Connection");
    m_response.TransferEncoding = lines.Values("Transfer-Encoding");
    m_response.ContentType = lines.Values("Content-Type");
    m_response.ContentEncoding = lines.Values("Content-Encoding");
    m_response.ContentLanguage = lines.Values("Content-Language");
    m_response.CacheControl = lines.Values("Cache-Control");
    m_response.Pragma = lines.Values("Pragma");
    m_response.Server = lines.Values("Server");
    m_response.WWWAuthenticate = lines.Extract("WWW-Authenticate");
    m_response.ProxyAuthenticate = lines.Extract("Proxy-Authenticate");

    m_response.ContentLength = -1;
    if (lines.Has("Content-Length"))
        m_response.ContentLength =
            parseDecimal64(trimBlanks(lines.Values("Content-Length"))).value_or(-1);
    if (m_response.ContentLength < 0)
        m_response.ContentLength = -1;

    // "bytes 0-99/200"
    m_response.ContentRangeStart = 0;
    m_response.ContentRangeEnd = 0;
    if (lines.Has("Content-Range")) {
        std::string range = lines.Values("Content-Range");
        range.erase(0, range.find(' ') == std::string::npos ? range.size() : range.find(' ') + 1);
        const auto dash = range.find('-');
        const auto slash = range.find('/', dash == std::string::npos ? 0 : dash);
        m_response.ContentRangeStart = platform::parseIntOrThrow(range.substr(0, dash));
        m_response.ContentRangeEnd = platform::parseIntOrThrow(
            dash == std::string::npos
                ? std::string()
                : range.substr(dash + 1,
                               slash == std::string::npos ? std::string::npos : slash - dash - 1));
    }
}

} // namespace http
