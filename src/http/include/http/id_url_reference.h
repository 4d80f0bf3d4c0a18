#pragma once

#include <string>

namespace http {

// The URL that reference names when it stands in a document (or a Location header) of base,
// the way browsers resolve links: a reference with a scheme comes back as it is; "//host/p"
// takes base's scheme; "/p" base's scheme and authority; "?q" and "#f" base's path; anything
// else replaces base's last path segment. "." and ".." segments of the result are resolved, and
// never climb above the root. A base without a scheme leaves the reference as it is.
std::string ResolveUrlReference(const std::string& base, const std::string& reference);

// Whether text starts with a scheme and ":" (letters, digits, "+", "-", "." after a letter).
bool HasUrlScheme(const std::string& text);

} // namespace http
