#include "platform/os_path.h"

#include "platform/code_page.h"

namespace platform {

std::filesystem::path toOsPath(std::string_view enginePath)
{
    std::string utf8 = cp1251ToUtf8(enginePath);
    for (char& c : utf8) {
        if (c == '\\')
            c = static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string fromOsPath(const std::filesystem::path& osPath)
{
    const std::u8string utf8 = osPath.u8string();
    return utf8ToCp1251(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

} // namespace platform
