#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The names (CP1251) of the entries that match a wildcard pattern such as  C:\AV\*.vdb : the text
// after the last separator is the mask ("*" any run, "?" one character, letters compared ignoring
// ASCII case), the text before it the directory ("\" alone, from an empty directory setting, is
// the root). Entries of every kind count, directories and hidden files included. Sorted by name,
// so the order is stable. A missing directory gives an empty list.
std::vector<std::string> listMatching(std::string_view enginePattern);

// Wildcard match as listMatching applies it.
bool wildcardMatch(std::string_view mask, std::string_view name);

} // namespace platform
