#include "http/id_http.h"

namespace http {

void TIdHTTP::GetText(const std::string& url, std::string& text)
{
    // The body is handed over without a copy; an empty one leaves text alone.
    TIdStringStream body;
    try {
        Get(url, body);
    } catch (...) {
        if (body.Size() > 0)
            text = body.Release();
        throw;
    }
    if (body.Size() > 0)
        text = body.Release();
}

} // namespace http
