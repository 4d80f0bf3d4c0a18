#pragma once

#include <string>
#include <string_view>

namespace app {

// What the command line asks for. Only the first argument counts, compared as a whole: "-U" and
// "-u" the silent run, "--help" the usage, "--version" the version, anything else (or none)
// the window.
enum class Command
{
    Window,
    Silent,
    Help,
    Version,
};

Command commandOf(int argc, const char* const* argv);

// The usage printed for --help (UTF-8): the modes, the exit statuses and where the settings
// file is (configPath, as the file system names it).
std::string usageText(std::string_view configPath);

// The line printed for --version: the program's name and version.
std::string versionText();

} // namespace app
