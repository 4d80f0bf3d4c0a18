#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/id_authentication.h"
#include "http/id_header_list.h"
#include "http/id_stream.h"

namespace http {

// Header fields a request and a response share. Empty texts produce no header.
struct TIdEntityHeaderInfo
{
    std::string CacheControl;
    std::string Connection;
    std::string ContentEncoding;
    std::string ContentLanguage;
    std::string ContentType;
    std::string ContentVersion;
    std::string Date;
    std::string Expires;
    std::string Pragma;
    // -1 when absent (or, in a response, not a number).
    std::int64_t ContentLength = -1;
    bool HasContentLength() const { return ContentLength >= 0; }
    // Extra request lines, in order, after Pragma.
    TIdHeaderList CustomHeaders;
    // The response's header lines as received.
    TIdHeaderList RawHeaders;
};

// The request fields of the client, kept from request to request.
struct TIdHTTPRequest : TIdEntityHeaderInfo
{
    TIdHTTPRequest()
    {
        ContentType = "text/html";
        Accept = "text/html, */*";
        UserAgent = "Mozilla/3.0 (compatible; Kavor Updater)";
    }

    std::string Accept;
    std::string AcceptCharSet;
    std::string AcceptEncoding;
    std::string AcceptLanguage;
    std::string From;
    std::string Referer;
    std::string UserAgent;
    std::string ProxyConnection;
    std::string IfModifiedSince;
    std::string Range;
    // Credentials taken from URLs; they produce an Authorization header only with
    // BasicAuthentication (or once a server's challenge attached Authentication).
    std::string Username;
    std::string Password;
    bool BasicAuthentication = false;
    std::unique_ptr<TIdAuthentication> Authentication;

    std::string URL;
    std::string Method;
};

// The last response's status and header fields.
struct TIdHTTPResponse : TIdEntityHeaderInfo
{
    std::string ResponseText; // the status line, without its line end
    int ResponseCode = -1;    // from the status line; -1 when it has none
    std::string Location;
    std::string ProxyConnection;
    std::string TransferEncoding;
    std::string Server;
    std::vector<std::string> WWWAuthenticate;
    std::vector<std::string> ProxyAuthenticate;
    std::int64_t ContentRangeStart = 0;
    std::int64_t ContentRangeEnd = 0;
    TIdStream* ContentStream = nullptr; // where the body goes; nullptr: the body is not read
};

} // namespace http
