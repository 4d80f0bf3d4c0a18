#pragma once

#include <string_view>

namespace unzip {

// Tests a member's path inside the archive against a mask. An empty mask and "*.*" match every
// name (names without a dot too). Otherwise "*" matches any run of characters and "?" any one,
// "\" included, and ASCII letters compare without case; each text counts up to its first NUL and
// at most 511 characters. A trailing "**" needs at least one character to match, so "A**" does
// not match "A" while "A*" does.
bool MatchMask(std::string_view mask, std::string_view name);

} // namespace unzip
