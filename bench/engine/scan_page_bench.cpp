// Times the update page scan on pages of 10 MB with 100,000 HREFs: an ordinary page of links,
// and a hostile one whose HREFs have no quotes until the very end (every HREF then takes the
// same far-away link, which a scan restarting at each hit would pay for quadratically).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/file_selection.h"

namespace {

constexpr int kHrefs = 100000;
constexpr std::size_t kPageSize = 10u << 20;
constexpr int kRuns = 7;

std::string ordinaryPage()
{
    std::string page = "<html><body>\n";
    const std::size_t unitSize = kPageSize / kHrefs;
    for (int i = 0; i < kHrefs; ++i) {
        std::string unit = "<a href=\"http://www.kavor.example/download/update/kvo" +
                           std::to_string(i) + ".zip\">kvo" + std::to_string(i) + "</a> ";
        unit.resize(std::max(unit.size(), unitSize - 1), '.');
        page += unit + "\n";
    }
    return page + "</body></html>";
}

std::string hostilePage()
{
    std::string page;
    const std::string unit = "href=" + std::string(kPageSize / kHrefs - 6, 'x') + " ";
    for (int i = 0; i < kHrefs; ++i)
        page += unit;
    return page + "\"http://www.kavor.example/last.zip\"";
}

void measure(const char* label, const std::string& page)
{
    const engine::InstalledDatabases installed{"KVO99999", "MAIN"};
    const engine::FileSelector selector(true, true, installed);
    std::vector<double> seconds;
    std::size_t selected = 0;
    for (int run = 0; run < kRuns; ++run) {
        engine::DownloadList list;
        const auto start = std::chrono::steady_clock::now();
        selector.scanPage(page, list);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        selected = list.size();
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("%-9s %6.1f MB  %7zu selected  median %7.1f ms  %7.0f MB/s\n", label,
                static_cast<double>(page.size()) / 1e6, selected, median * 1e3,
                static_cast<double>(page.size()) / 1e6 / median);
}

} // namespace

int main()
{
    measure("ordinary", ordinaryPage());
    measure("hostile", hostilePage());
}
