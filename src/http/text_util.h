#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace http {

// The text without leading and trailing bytes up to the space (blanks and control bytes).
std::string trimBlanks(std::string_view text);

// Equality with the ASCII letters compared ignoring case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Whether text is a dotted IPv4 address: four "."-separated decimal numbers from 0 to 255. With
// ignoreAfterFourth, a "." after the fourth number and whatever follows it are allowed.
bool isDottedIPv4(std::string_view text, bool ignoreAfterFourth = false);

// A decimal integer with an optional sign and nothing else; nothing when text is not one or
// does not fit 32 bits.
std::optional<std::int32_t> parseDecimal32(std::string_view text);

// A decimal integer with an optional sign and nothing else; values beyond 64 bits saturate.
// Nothing when text is not one.
std::optional<std::int64_t> parseDecimal64(std::string_view text);

} // namespace http
