#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// The vendor's update page, used until the user sets another.
inline constexpr std::string_view kDefaultUpdatePage = "http://www.kavor.example/download/update/";

// Every setting of the program. Each field is named after its key in "config.ini"; texts are
// CP1251. The defaults are those of a first start without "config.ini", except archpath, whose
// default depends on the program directory (see defaultSettings).
struct Settings
{
    std::string updatepath{kDefaultUpdatePage}; // URL of the update page
    std::string kvopath;                        // Kavor directory: installed *.vdb, unpack target
    std::string archpath;                       // where downloaded archives are written
    std::string unpackline;                     // carried through the options dialog only
    bool unpack = false;                        // unpack the downloaded archives after a run
    bool nasty = true;                          // also fetch adware and dialer databases
    bool risk = true;                           // also fetch joke-program databases
    bool proxy = false;                         // fetch through an HTTP proxy
    std::string proxy_username{"user"};
    std::string proxy_server{"server"};
    std::int32_t proxy_port = 0;
    std::string proxy_pwd; // plain text in memory, scrambled in the file

    bool operator==(const Settings&) const = default;
};

// The settings of a first start: the defaults above, archpath = programDirectory + "basa".
Settings defaultSettings(std::string_view programDirectory);

} // namespace engine
