#include "engine/settings.h"

namespace engine {

Settings defaultSettings(std::string_view programDirectory)
{
    Settings settings;
    settings.archpath = std::string(programDirectory) + "basa";
    return settings;
}

} // namespace engine
