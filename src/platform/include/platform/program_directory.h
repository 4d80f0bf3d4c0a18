#pragma once

#include <string>

namespace platform {

// The directory of the running executable as an engine path (CP1251) with one trailing "\", the
// form in which the program joins "config.ini" and "basa" to it. Never the working directory.
std::string programDirectory();

} // namespace platform
