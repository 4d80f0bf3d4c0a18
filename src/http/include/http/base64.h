#pragma once

#include <string>
#include <string_view>

namespace http {

// MIME base64 (RFC 2045 alphabet) of bytes, padded with "=", without line breaks.
std::string encodeBase64(std::string_view bytes);

} // namespace http
