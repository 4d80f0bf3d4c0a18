// What the engine reads from the update page and from "config.ini".

#include <algorithm>
#include <string>
#include <vector>

#include "check.h"
#include "engine/file_selection.h"
#include "engine/password_scrambler.h"
#include "fuzz_targets.h"
#include "platform/code_page.h"
#include "platform/convert_error.h"
#include "platform/ini_file.h"

namespace fuzz {
namespace {

bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// The selection rules read literally, one test after the other, as the reference for select.
bool referenceSelect(bool nasty, bool risk, const engine::InstalledDatabases& installed,
                     const std::string& link, engine::DownloadList& list)
{
    if (list.size() >= engine::FileSelector::kMaxDownloads)
        return false;
    if (link.size() < 4 || link.size() > engine::FileSelector::kMaxLinkLength)
        return false;
    if (platform::asciiUpper(link.substr(link.size() - 4)) != ".ZIP")
        return false;
    const auto slash = link.rfind('/');
    const std::string name =
        platform::asciiUpper(slash == std::string::npos ? link : link.substr(slash + 1));
    if (name == "KAVOR32.ZIP" || name == "TXMOD.ZIP")
        return false;
    if (!nasty && (contains(name, "NASTY") || contains(name, "KVN")))
        return false;
    if (!risk && (contains(name, "KVRTODAY") || contains(name, "RISKY")))
        return false;
    for (const std::string& stem : installed) {
        if (!stem.empty() && contains(name, stem))
            return false;
    }
    list.push_back({name, link, true});
    return true;
}

// The page scan as first described: search the upper-case copy from its start for "HREF",
// overwrite the hit with "z" so the next search finds the following one, and cut the text
// between the next two double quotes after it (to the end of the page without a closing one).
engine::DownloadList referenceScan(bool nasty, bool risk,
                                   const engine::InstalledDatabases& installed,
                                   const std::string& page)
{
    engine::DownloadList list;
    std::string upper = platform::asciiUpper(page);
    for (auto p = upper.find("HREF"); p != std::string::npos; p = upper.find("HREF")) {
        upper[p] = 'z';
        std::string link;
        const auto opening = page.find('"', p + 4);
        if (opening != std::string::npos) {
            const auto closing = page.find('"', opening + 1);
            link = page.substr(opening + 1, closing == std::string::npos ? std::string::npos
                                                                         : closing - opening - 1);
        }
        referenceSelect(nasty, risk, installed, link, list);
    }
    return list;
}

} // namespace

void pageScan(Input input)
{
    if (input.empty())
        return;
    const bool nasty = input[0] & 1;
    const bool risk = input[0] & 2;
    const std::string rest(input.begin() + 1, input.end());
    const auto nul = rest.find('\0');
    engine::InstalledDatabases installed;
    std::string page = rest;
    if (nul != std::string::npos) {
        page = rest.substr(nul + 1);
        std::size_t start = 0;
        while (start <= nul) {
            const auto end = std::min(rest.find('\n', start), nul);
            installed.push_back(platform::asciiUpper(rest.substr(start, end - start)));
            start = end + 1;
        }
    }

    engine::DownloadList list;
    engine::FileSelector(nasty, risk, installed).scanPage(page, list);
    const engine::DownloadList expected = referenceScan(nasty, risk, installed, page);
    check(list.size() == expected.size(), "scanPage selected another number of links");
    for (std::size_t i = 0; i < list.size(); ++i) {
        check(list[i].name == expected[i].name && list[i].url == expected[i].url && list[i].ok,
              "scanPage selected another link than the rules say");
    }
}

void iniFile(Input input)
{
    static constexpr std::string_view kSection = "MAIN";
    static constexpr std::string_view kKeys[] = {
        "updatepath", "kvopath", "archpath",       "unpackline",   "unpack",     "nasty",
        "risk",       "proxy",   "proxy_username", "proxy_server", "proxy_port", "proxy_pwd"};
    const std::string_view contents(reinterpret_cast<const char*>(input.data()), input.size());
    platform::IniFile ini = platform::IniFile::parse(contents);
    check(ini.serialize() == contents, "the saved form of an unchanged file differs from it");

    std::vector<std::string> values;
    for (std::string_view key : kKeys) {
        values.push_back(ini.readString(kSection, key, "default"));
        check(values.back().size() <= platform::IniFile::kMaxValueLength, "a value is too long");
        ini.readInteger(kSection, key, -1);
    }
    try {
        engine::unscramblePassword(values.back());
    } catch (const platform::EConvertError&) {
    }

    // Writing a key changes what that key reads and nothing else, and the document reads the
    // same after a trip through its saved form. Values are written as they were read, with
    // what a value cannot carry (line ends, enclosing quotes, outer blanks) left out.
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        std::string value = values[(i + 1) % values.size()];
        std::erase_if(value,
                      [](char c) { return c == '\r' || c == '\n' || c == '"' || c == '\''; });
        value = std::string(value.substr(0, value.find_last_not_of(" \t") + 1));
        value.erase(0, std::min(value.find_first_not_of(" \t"), value.size()));
        ini.writeString(kSection, kKeys[i], value);
        values[i] = value;
        for (std::size_t k = 0; k < std::size(kKeys); ++k)
            check(ini.readString(kSection, kKeys[k], "default") == values[k],
                  "a write changed what another key reads, or did not stick");
    }
    const platform::IniFile reread = platform::IniFile::parse(ini.serialize());
    for (std::size_t k = 0; k < std::size(kKeys); ++k)
        check(reread.readString(kSection, kKeys[k], "default") == values[k],
              "a value did not survive the saved form");
}

void password(Input input)
{
    const std::string_view stored(reinterpret_cast<const char*>(input.data()), input.size());
    try {
        engine::unscramblePassword(stored);
    } catch (const platform::EConvertError&) {
    }

    // Every password of up to 9,489 characters without NUL survives its stored form.
    const std::string plain(stored.substr(0, stored.find('\0')));
    if (plain.size() > 9489)
        return;
    std::size_t draws = 0;
    const std::string scrambled = engine::scramblePassword(plain, [&](int low, int high) {
        const int span = high - low + 1;
        return low +
               static_cast<int>((plain.size() + 31 * draws++) % static_cast<std::size_t>(span));
    });
    check(engine::unscramblePassword(scrambled) == plain, "a password did not survive scrambling");
}

} // namespace fuzz
