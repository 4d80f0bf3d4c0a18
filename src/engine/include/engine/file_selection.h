#pragma once

#include <string_view>

#include "engine/download_list.h"

namespace engine {

// Lists kvopath + "\*.vdb" (an empty kvopath means the root directory). A missing directory or
// no match gives an empty list.
InstalledDatabases scanInstalledDatabases(std::string_view kvopath);

// Decides which links of the update page name archives the installation still needs.
class FileSelector
{
public:
    // Several HREFs may share one link (an unquoted HREF takes the next quoted text, wherever it
    // stands), so a page could otherwise make the list hold its own size many times over. A
    // link longer than this names nothing the program can fetch: common servers refuse request
    // lines beyond 8 KB.
    static constexpr std::size_t kMaxLinkLength = 4096;
    // The list never grows beyond this many entries; an update page links a few hundred files.
    static constexpr std::size_t kMaxDownloads = 10000;

    FileSelector(bool nasty, bool risk, const InstalledDatabases& installed);

    // Walks every "HREF" of the page (any case, anywhere in the text) and selects the
    // double-quoted text after it. Appends to list; time linear in the size of the page, memory
    // bounded by the two limits above.
    void scanPage(std::string_view page, DownloadList& list) const;

    // Appends an entry for link unless the first applicable rule skips it: the list is full
    // (kMaxDownloads); shorter than 4 or longer than kMaxLinkLength characters; not ending in
    // ".ZIP"; named exactly KAVOR32.ZIP or TXMOD.ZIP; NASTY or KVN in the name without nasty;
    // KVRTODAY or RISKY without risk; an installed stem in the name. True when an entry was
    // appended.
    bool select(std::string_view link, DownloadList& list) const;

private:
    bool m_nasty;
    bool m_risk;
    const InstalledDatabases& m_installed;
};

} // namespace engine
