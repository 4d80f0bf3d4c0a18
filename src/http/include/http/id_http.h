#pragma once

#include <string>

#include "http/id_custom_http.h"
#include "http/id_exception.h"
#include "http/id_proxy_connection_info.h"

namespace http {

// The blocking HTTP/1.1 GET client the update run uses. One client per thread at a time.
class TIdHTTP : public TIdCustomHTTP
{
public:
    // Fetches url; text receives the body bytes unchanged, and is left as it was when the body
    // is empty. Throws on every failure (classes derived from EIdException, or
    // platform::EConvertError for a port that is no number; see TIdCustomHTTP::Get); bytes
    // received before a failure are in text all the same.
    void GetText(const std::string& url, std::string& text);

    // GET url, appending the body to target.
    void GetToStream(const std::string& url, TIdStream& target) { Get(url, target); }
};

} // namespace http
