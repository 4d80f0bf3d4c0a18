#include "platform/program_directory.h"

#include <filesystem>
#include <system_error>

#include "platform/os_path.h"

namespace platform {

std::string programDirectory()
{
    std::error_code ec;
#ifdef _WIN32
#error "programDirectory: add GetModuleFileNameW for Windows builds"
#else
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
    std::string directory = ec ? std::string(".") : fromOsPath(exe.parent_path());
    return directory + "\\";
}

} // namespace platform
