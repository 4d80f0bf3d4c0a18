#include "engine/file_selection.h"

#include "platform/code_page.h"
#include "platform/directory_listing.h"

namespace engine {
namespace {

constexpr std::string_view kDailyDatabases[] = {"KVOTODAY", "KVRTODAY", "KVNTODAY"};
constexpr std::string_view kNeverFetched[] = {"KAVOR32.ZIP", "TXMOD.ZIP"};
constexpr std::string_view kDatabaseExtension = ".VDB";

bool contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

} // namespace

InstalledDatabases scanInstalledDatabases(std::string_view kvopath)
{
    InstalledDatabases installed;
    for (const std::string& name : platform::listMatching(std::string(kvopath) + "\\*.vdb")) {
        std::string stem = platform::asciiUpper(name);
        stem.resize(
            stem.size() >= kDatabaseExtension.size() ? stem.size() - kDatabaseExtension.size() : 0);
        bool daily = false;
        for (std::string_view d : kDailyDatabases)
            daily = daily || stem == d;
        if (!daily)
            installed.push_back(std::move(stem));
    }
    return installed;
}

FileSelector::FileSelector(bool nasty, bool risk, const InstalledDatabases& installed)
    : m_nasty(nasty), m_risk(risk), m_installed(installed)
{}

void FileSelector::scanPage(std::string_view page, DownloadList& list) const
{
    const std::string upper = platform::asciiUpper(page);
    // Each search continues after the previous hit. The quote positions are remembered, since
    // they only move forward as the hits do: a page full of HREFs without quotes stays linear.
    // HREFs that share a quoted link share its decision too, so each link is examined once.
    std::size_t opening = 0, closing = 0;
    bool quotesKnown = false;
    std::size_t decidedOpening = std::string_view::npos;
    bool decidedSelected = false;
    for (std::size_t hit = upper.find("HREF"); hit != std::string::npos;
         hit = upper.find("HREF", hit + 1)) {
        const std::size_t from = hit + 4;
        if (!quotesKnown || opening < from) {
            opening = page.find('"', from);
            closing = opening == std::string_view::npos ? opening : page.find('"', opening + 1);
            quotesKnown = true;
        }
        if (opening == std::string_view::npos) {
            select({}, list);
            continue;
        }
        if (opening == decidedOpening) {
            if (decidedSelected && list.size() < kMaxDownloads)
                list.push_back(list.back());
            continue;
        }
        const std::size_t end = closing == std::string_view::npos ? page.size() : closing;
        decidedOpening = opening;
        decidedSelected = select(page.substr(opening + 1, end - opening - 1), list);
    }
}

bool FileSelector::select(std::string_view link, DownloadList& list) const
{
    if (list.size() >= kMaxDownloads || link.size() < 4 || link.size() > kMaxLinkLength)
        return false;
    if (platform::asciiUpper(link.substr(link.size() - 4)) != ".ZIP")
        return false;
    const auto slash = link.rfind('/');
    const std::string name =
        platform::asciiUpper(slash == std::string_view::npos ? link : link.substr(slash + 1));
    for (std::string_view never : kNeverFetched) {
        if (name == never)
            return false;
    }
    if (!m_nasty && (contains(name, "NASTY") || contains(name, "KVN")))
        return false;
    if (!m_risk && (contains(name, "KVRTODAY") || contains(name, "RISKY")))
        return false;
    for (const std::string& stem : m_installed) {
        if (!stem.empty() && contains(name, stem))
            return false;
    }
    list.push_back(Tbasa{name, std::string(link), true});
    return true;
}

} // namespace engine
