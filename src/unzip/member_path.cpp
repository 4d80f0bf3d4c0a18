#include "member_path.h"

#include <algorithm>

#include "platform/atomic_file.h"
#include "platform/code_page.h"
#include "platform/os_path.h"

namespace unzip {

bool isSafeMemberName(std::string_view name)
{
    if (!name.empty() && name.front() == '\\')
        return false;
    const auto isAsciiLetter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    if (name.size() >= 2 && isAsciiLetter(name[0]) && name[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('\\', start), name.size());
        // Windows drops trailing dots and blanks from a component, so ".. " is ".." there.
        const std::string_view component = name.substr(start, end - start);
        if (component.find_first_not_of(". ") == std::string_view::npos &&
            std::count(component.begin(), component.end(), '.') >= 2)
            return false;
        // A file named like the extractor's own temporary files would be taken for what a
        // killed run left behind, and removed by the next run.
        if (platform::AtomicFile::isTemporaryName(std::string(component)))
            return false;
        start = end + 1;
    }
    return true;
}

std::string memberNameAsEngineText(std::string_view rawName, bool utf8)
{
    return utf8 ? platform::utf8ToCp1251(rawName) : platform::cp866ToCp1251(rawName);
}

std::filesystem::path memberOutputPath(std::string_view targetDirectory, std::string_view rawName,
                                       bool utf8)
{
    if (!utf8)
        return platform::toOsPath(std::string(targetDirectory) + platform::cp866ToCp1251(rawName));
    std::u8string name(rawName.begin(), rawName.end());
    std::replace(name.begin(), name.end(), u8'\\',
                 static_cast<char8_t>(std::filesystem::path::preferred_separator));
    return platform::toOsPath(targetDirectory) / std::filesystem::path(name);
}

} // namespace unzip
