#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// A text that should have been a number. The message is "'<text>' is not a valid integer value",
// the wording users of the program have always seen (CP1251, like the text it quotes).
class EConvertError : public std::runtime_error
{
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// Reads a signed 32-bit integer the way the program's runtime always has: optional leading
// blanks, an optional sign, then decimal digits, or hexadecimal digits after "$" or "0x".
// Hexadecimal values wrap into the signed range ("$FFFFFFFF" is -1). Nothing may follow.
std::optional<std::int32_t> tryParseInt(std::string_view text);

// As tryParseInt, but a text that is not a number throws EConvertError naming it.
std::int32_t parseIntOrThrow(std::string_view text);

} // namespace platform
