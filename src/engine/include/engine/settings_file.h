#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/settings.h"

// "config.ini" in the program directory, section "MAIN", one key per settings field.
namespace engine {

// What loading found. A missing file, section or key is not an error: the default applies.
struct LoadedSettings
{
    Settings settings;
    // Set when the stored proxy password could not be read ("'%s' is not a valid integer
    // value", CP1251); every other setting is loaded and the password is empty.
    std::optional<std::string> error;
};

// Reads programDirectory + "config.ini" (programDirectory ends with "\"). Never creates the file.
LoadedSettings loadSettings(std::string_view programDirectory);

// "config.ini" could not be written. The message is "Unable to write to <full path>".
class SettingsWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Strips one trailing "\" from kvopath and archpath in the record itself, then writes every key
// into programDirectory + "config.ini", keeping the file's other keys, sections and comments.
// The file is replaced whole or not at all, keeping its permissions and owner; a new file that
// holds a proxy password is readable by its owner only; a link is written through. Throws
// SettingsWriteError; the record keeps its new values either way.
void saveSettings(std::string_view programDirectory, Settings& settings);

} // namespace engine
