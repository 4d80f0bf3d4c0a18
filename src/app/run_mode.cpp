#include "app/run_mode.h"

#include <string_view>

namespace app {

bool isSilentRun(int argc, const char* const* argv)
{
    if (argc < 2)
        return false;
    const std::string_view first = argv[1];
    return first == "-U" || first == "-u";
}

} // namespace app
