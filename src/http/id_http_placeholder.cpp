#include <stdexcept>

#include "http/id_http.h"

// Stands in until the HTTP client lands, so that the engine links.
namespace http {

TIdHTTP::TIdHTTP() = default;
TIdHTTP::~TIdHTTP() = default;

void TIdHTTP::GetText(const std::string&, std::string&)
{
    throw std::runtime_error("HTTP client not built yet");
}

bool TIdHTTP::IsConnected() { return false; }

} // namespace http
