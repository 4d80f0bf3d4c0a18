#include "engine/settings_file.h"

#include "engine/password_scrambler.h"
#include "platform/convert_error.h"
#include "platform/ini_file.h"

namespace engine {
namespace {

constexpr std::string_view kFileName = "config.ini";
constexpr std::string_view kSection = "MAIN";

void stripOneTrailingBackslash(std::string& directory)
{
    if (!directory.empty() && directory.back() == '\\')
        directory.pop_back();
}

} // namespace

LoadedSettings loadSettings(std::string_view programDirectory)
{
    const auto ini =
        platform::IniFile::load(std::string(programDirectory) + std::string(kFileName));
    const Settings defaults = defaultSettings(programDirectory);

    LoadedSettings loaded;
    Settings& s = loaded.settings;
    s.updatepath = ini.readString(kSection, "updatepath", defaults.updatepath);
    s.kvopath = ini.readString(kSection, "kvopath", defaults.kvopath);
    s.archpath = ini.readString(kSection, "archpath", defaults.archpath);
    s.unpackline = ini.readString(kSection, "unpackline", defaults.unpackline);
    s.unpack = ini.readBool(kSection, "unpack", defaults.unpack);
    s.nasty = ini.readBool(kSection, "nasty", defaults.nasty);
    s.risk = ini.readBool(kSection, "risk", defaults.risk);
    s.proxy = ini.readBool(kSection, "proxy", defaults.proxy);
    s.proxy_username = ini.readString(kSection, "proxy_username", defaults.proxy_username);
    s.proxy_server = ini.readString(kSection, "proxy_server", defaults.proxy_server);
    s.proxy_port = ini.readInteger(kSection, "proxy_port", defaults.proxy_port);
    try {
        s.proxy_pwd = unscramblePassword(ini.readString(kSection, "proxy_pwd", ""));
    } catch (const platform::EConvertError& e) {
        s.proxy_pwd.clear();
        loaded.error = e.what();
    }
    return loaded;
}

void saveSettings(std::string_view programDirectory, Settings& settings)
{
    stripOneTrailingBackslash(settings.kvopath);
    stripOneTrailingBackslash(settings.archpath);

    const std::string path = std::string(programDirectory) + std::string(kFileName);
    auto ini = platform::IniFile::load(path);
    ini.writeString(kSection, "updatepath", settings.updatepath);
    ini.writeString(kSection, "kvopath", settings.kvopath);
    ini.writeString(kSection, "archpath", settings.archpath);
    ini.writeString(kSection, "unpackline", settings.unpackline);
    ini.writeBool(kSection, "unpack", settings.unpack);
    ini.writeBool(kSection, "nasty", settings.nasty);
    ini.writeBool(kSection, "risk", settings.risk);
    ini.writeBool(kSection, "proxy", settings.proxy);
    ini.writeString(kSection, "proxy_username", settings.proxy_username);
    ini.writeString(kSection, "proxy_server", settings.proxy_server);
    ini.writeInteger(kSection, "proxy_port", settings.proxy_port);
    ini.writeString(kSection, "proxy_pwd", scramblePassword(settings.proxy_pwd));
    // The scrambling is trivially reversed: a new file that holds a password is for its owner.
    const auto newFileAccess = settings.proxy_pwd.empty() ? platform::NewFileAccess::Default
                                                          : platform::NewFileAccess::OwnerOnly;
    if (!ini.save(path, newFileAccess))
        throw SettingsWriteError("Unable to write to " + path);
}

} // namespace engine
