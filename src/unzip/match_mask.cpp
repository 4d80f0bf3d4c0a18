#include "match_mask.h"

#include <cstddef>
#include <string>
#include <vector>

#include "platform/code_page.h"

namespace unzip {
namespace {

constexpr std::size_t kMaxCompared = 511;

std::string comparable(std::string_view text)
{
    text = text.substr(0, text.find('\0')).substr(0, kMaxCompared);
    return platform::asciiUpper(text);
}

} // namespace

bool MatchMask(std::string_view mask, std::string_view name)
{
    const std::string_view plainMask = mask.substr(0, mask.find('\0'));
    if (plainMask.empty() || plainMask == "*.*")
        return true;
    const std::string pattern = comparable(plainMask);
    const std::string text = comparable(name);

    // matches[i][j]: the name from i on matches the pattern from j on. Filled from the ends
    // backwards, which gives the results of the recursive definition without its exponential
    // backtracking on masks with many stars.
    const std::size_t n = text.size();
    const std::size_t m = pattern.size();
    std::vector<char> matches((n + 1) * (m + 1), 0);
    const auto at = [&](std::size_t i, std::size_t j) -> char& { return matches[i * (m + 1) + j]; };
    for (std::size_t i = n + 1; i-- > 0;) {
        for (std::size_t j = m + 1; j-- > 0;) {
            bool result;
            if (j + 1 == m && pattern[j] == '*')
                result = true; // the rest of the pattern is exactly "*"
            else if (i == n)
                result = j == m;
            else if (j == m)
                result = false;
            else if (pattern[j] == '*')
                result = at(i, j + 1) || at(i + 1, j);
            else if (pattern[j] == '?' || pattern[j] == text[i])
                result = at(i + 1, j + 1);
            else
                result = false;
            at(i, j) = result;
        }
    }
    return at(0, 0) != 0;
}

} // namespace unzip
