#pragma once

#include <string>
#include <string_view>

namespace unzip_test {

// The SHA-256 digest of the bytes as 64 lower-case hex digits, the form MANIFEST.tsv uses.
std::string sha256Hex(std::string_view bytes);

} // namespace unzip_test
