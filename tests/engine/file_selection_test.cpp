#include <gtest/gtest.h>

#include "engine/file_selection.h"
#include "support/temp_dir.h"

using namespace engine;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

std::vector<std::string> names(const DownloadList& list)
{
    std::vector<std::string> out;
    for (const Tbasa& entry : list)
        out.push_back(entry.name);
    return out;
}

TEST(Select, RulesInOrderOfFirstMatch)
{
    struct Case
    {
        const char* link;
        bool nasty;
        bool risk;
        bool selected;
    };
    const Case cases[] = {
        {"http://h/upd/kvo44301.zip", true, true, true},
        {"a.z", true, true, false},             // shorter than 4
        {".zip", true, true, true},             // exactly 4: an empty-stem name
        {"http://h/x.zip?", true, true, false}, // extension test on the last 4 only
        {"http://h/x.ZIP.html", true, true, false},
        {"http://h/x.Zip", true, true, true},
        {"http://h/kavor32.zip", true, true, false}, // whole-name exclusions
        {"http://h/TXMOD.ZIP", true, true, false},
        {"http://h/kavor32a.zip", true, true, true},
        {"http://h/xkavor32.zip", true, true, true},
        {"http://h/nasty.zip", false, true, false}, // adware and dialers
        {"http://h/kvntoday.zip", false, true, false},
        {"http://h/xkvnx.zip", false, true, false},
        {"http://h/nasty.zip", true, true, true},
        {"http://h/kvntoday.zip", true, false, true},
        {"http://h/kvrtoday.zip", true, false, false}, // joke programs
        {"http://h/risky.zip", true, false, false},
        {"http://h/kvrtoday.zip", false, true, true},
        {"http://h/nasty/ok.zip", false, true, true}, // only the name after the last "/" counts
        {"http://h\\nasty.zip", false, true, false},  // a backslash is an ordinary character
    };
    const InstalledDatabases none;
    for (const auto& c : cases) {
        DownloadList list;
        FileSelector(c.nasty, c.risk, none).select(c.link, list);
        EXPECT_EQ(list.size(), c.selected ? 1u : 0u)
            << c.link << " nasty=" << c.nasty << " risk=" << c.risk;
    }
}

TEST(Select, EntryKeepsTheLinkAndUpperCasesTheName)
{
    DownloadList list;
    FileSelector(true, true, {}).select("http://Host/Upd/kvo44301.zip", list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "KVO44301.ZIP");
    EXPECT_EQ(list[0].url, "http://Host/Upd/kvo44301.zip");
    EXPECT_TRUE(list[0].ok);
}

TEST(Select, InstalledStemsBlockAnyNameContainingThem)
{
    const InstalledDatabases installed{"", "KVO44301", "ABC"};
    const FileSelector selector(true, true, installed);
    DownloadList list;
    EXPECT_FALSE(selector.select("http://h/upd/kvo44301.zip", list));
    EXPECT_FALSE(selector.select("http://h/xabcx.zip", list));   // substring, however unrelated
    EXPECT_TRUE(selector.select("http://h/kvo44302.zip", list)); // an empty stem matches nothing
    // The exclusions before the installed test decide first.
    EXPECT_FALSE(FileSelector(true, true, {"KAVOR"}).select("http://h/kavor32.zip", list));
    EXPECT_EQ(names(list), std::vector<std::string>{"KVO44302.ZIP"});
}

TEST(ScanInstalledDatabases, UpperCaseStemsWithoutTheDailyFiles)
{
    TempDir dir;
    for (const char* name : {"kvo44301.vdb", "KVOTODAY.VDB", "kvrtoday.vdb", "KvnToday.Vdb",
                             "Main.VDB", "readme.txt", "kvo.vdb.bak"})
        writeFile(dir.path() / name, "");
    std::filesystem::create_directory(dir.path() / "folder.vdb");

    EXPECT_EQ(scanInstalledDatabases(dir.enginePath()),
              (InstalledDatabases{"FOLDER", "KVO44301", "MAIN"}));
    EXPECT_TRUE(scanInstalledDatabases(dir.enginePath() + "\\absent").empty());
}

TEST(ScanInstalledDatabases, DailyFilesNeverCountAsInstalled)
{
    TempDir dir;
    writeFile(dir.path() / "kvotoday.vdb", "");
    const auto installed = scanInstalledDatabases(dir.enginePath());
    DownloadList list;
    FileSelector(true, true, installed).select("http://h/upd/kvotoday.zip", list);
    EXPECT_EQ(names(list), std::vector<std::string>{"KVOTODAY.ZIP"});
}

TEST(ScanPage, CutsTheQuotedTextAfterEveryHref)
{
    struct Case
    {
        const char* page;
        std::vector<std::string> urls;
    };
    const Case cases[] = {
        {"", {}},
        {"<html>no links</html>", {}},
        {R"(<a href="http://h/a.zip">a</a> <A HREF = "http://h/b.zip">)",
         {"http://h/a.zip", "http://h/b.zip"}},
        // the same link twice gives two entries
        {R"(<a href="x/a.zip"></a><a href="x/a.zip"></a>)", {"x/a.zip", "x/a.zip"}},
        // unquoted and single-quoted values take the next double-quoted text, wherever it is
        {R"(<a href=http://h/u.zip>u</a> <a href='http://h/s.zip'></a> <img src="http://h/i.zip">)",
         {"http://h/i.zip", "http://h/i.zip"}},
        // HREF in plain text counts too; the text is searched without regard for tags
        {R"(see hReF then "t.zip" and "other")", {"t.zip"}},
        // a final HREF without any quote gives an empty link
        {R"(<a href="a.zip"> trailing href)", {"a.zip"}},
        // no closing quote: the link runs to the end of the page
        {R"(<a href="http://h/open.zip)", {"http://h/open.zip"}},
        // HREF inside a link's own text is a new occurrence, whose link runs from the closing quote
        {R"(<a href="x.zip?href=y.zip">)", {"x.zip?href=y.zip"}},
        // overlapping: "HREFHREF" holds two occurrences
        {R"(hrefhref"z.zip")", {"z.zip", "z.zip"}},
    };
    for (const auto& c : cases) {
        DownloadList list;
        FileSelector(true, true, {}).scanPage(c.page, list);
        std::vector<std::string> urls;
        for (const Tbasa& entry : list)
            urls.push_back(entry.url);
        EXPECT_EQ(urls, c.urls) << c.page;
    }
}

// Unquoted HREFs all take the next quoted link, so a page of a few megabytes could make the list
// hold that link millions of times.
TEST(ScanPage, ListStaysWithinItsBoundsWhateverThePage)
{
    std::string hrefs;
    for (std::size_t i = 0; i < FileSelector::kMaxDownloads + 5000; ++i)
        hrefs += "<a href=x>";
    const std::string longest =
        "http://h/" + std::string(FileSelector::kMaxLinkLength - 13, 'k') + ".zip";
    ASSERT_EQ(longest.size(), FileSelector::kMaxLinkLength);

    DownloadList list;
    FileSelector(true, true, {}).scanPage(hrefs + "\"" + longest + "\"", list);
    ASSERT_EQ(list.size(), FileSelector::kMaxDownloads);
    EXPECT_EQ(list.front().url, longest);
    EXPECT_EQ(list.back().url, longest);

    list.clear();
    FileSelector(true, true, {}).scanPage(hrefs + "\"http://h/x" + longest + "\"", list);
    EXPECT_TRUE(list.empty());

    // A full list takes no further link, from the page or directly.
    list.assign(FileSelector::kMaxDownloads, Tbasa{"A.ZIP", "a.zip", true});
    EXPECT_FALSE(FileSelector(true, true, {}).select("b.zip", list));
    EXPECT_EQ(list.size(), FileSelector::kMaxDownloads);
}

} // namespace
