#pragma once

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

} // namespace http
