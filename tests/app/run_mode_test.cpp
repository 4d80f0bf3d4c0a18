#include <vector>

#include <gtest/gtest.h>

#include "app/error_report.h"
#include "app/run_mode.h"

namespace {

TEST(RunModeTest, OnlyAFirstArgumentOfExactlyDashUChoosesTheSilentRun)
{
    const struct
    {
        std::vector<const char*> arguments;
        bool silent;
    } cases[] = {
        {{}, false},          {{"-U"}, true},   {{"-u"}, true}, {{"-U", "ignored"}, true},
        {{"-x"}, false},      {{"/u"}, false},  {{"u"}, false}, {{"--u"}, false},
        {{"-update"}, false}, {{"-u "}, false}, {{""}, false},  {{"-x", "-u"}, false},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"kavor-updater"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        argv.push_back(nullptr);
        EXPECT_EQ(app::isSilentRun(static_cast<int>(argv.size()) - 1, argv.data()), c.silent)
            << (c.arguments.empty() ? "(none)" : c.arguments.front());
    }
}

TEST(RunModeTest, ABoxIsShownOnlyWhereSomeoneCanSeeIt)
{
    const struct
    {
        const char* qtPlatform;
        const char* display;
        const char* wayland;
        bool available;
    } cases[] = {
        {nullptr, nullptr, nullptr, false},
        {"", "", "", false},
        {nullptr, ":0", nullptr, true},
        {nullptr, nullptr, "wayland-0", true},
        {"xcb", nullptr, nullptr, true},
        // A box on a platform that shows nothing would wait for ever.
        {"offscreen", ":0", nullptr, false},
        {"minimal", nullptr, nullptr, false},
        {"offscreen:fontengine=freetype", nullptr, nullptr, false},
        {"xcb;offscreen", ":0", nullptr, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::displayAvailable(c.qtPlatform, c.display, c.wayland), c.available)
            << (c.qtPlatform ? c.qtPlatform : "-") << " " << (c.display ? c.display : "-") << " "
            << (c.wayland ? c.wayland : "-");
    }
}

} // namespace
