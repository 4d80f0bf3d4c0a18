#include "platform/process_io.h"

#include <fstream>
#include <string>

namespace platform {

std::optional<std::int64_t> bytesWrittenByProcess()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::int64_t value = 0;
    while (io >> key >> value) {
        if (key == "wchar:")
            return value;
    }
    return std::nullopt;
}

} // namespace platform
