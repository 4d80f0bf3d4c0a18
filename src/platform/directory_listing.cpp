#include "platform/directory_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/os_path.h"

namespace platform {
namespace {

char foldCase(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

} // namespace

bool wildcardMatch(std::string_view mask, std::string_view name)
{
    // Iterative match with one backtrack point: linear for the single-star masks used here and
    // never exponential for hostile ones.
    std::size_t m = 0, n = 0, starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || foldCase(mask[m]) == foldCase(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<std::string> listMatching(std::string_view enginePattern)
{
    const auto split = enginePattern.find_last_of("\\/");
    const std::string_view mask =
        split == std::string_view::npos ? enginePattern : enginePattern.substr(split + 1);
    std::string directory =
        split == std::string_view::npos ? "." : std::string(enginePattern.substr(0, split + 1));

    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(toOsPath(directory), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = fromOsPath(it->path().filename());
        if (wildcardMatch(mask, name))
            names.push_back(std::move(name));
    }
    // NTFS lists names in upper-case order; doing the same keeps the order users know.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const auto folded = [](const std::string& s) {
            std::string f(s);
            for (char& c : f)
                c = foldCase(c);
            return f;
        };
        const std::string fa = folded(a), fb = folded(b);
        return fa != fb ? fa < fb : a < b;
    });
    return names;
}

} // namespace platform
