#include <gtest/gtest.h>

#include "claimed_ranges.h"

using unzip::ClaimedRanges;

namespace {

TEST(ClaimedRanges, RangesMayTouchButNotShareAByte)
{
    struct Case
    {
        const char* what;
        std::int64_t begin;
        std::int64_t end;
        bool taken;
    };
    // Against [100, 200) and [300, 400), taken first.
    const Case cases[] = {
        {"right before", 50, 100, true},
        {"right after", 200, 250, true},
        {"filling the gap exactly", 200, 300, true},
        {"the same range", 100, 200, false},
        {"reaching into it from before", 50, 101, false},
        {"starting inside it", 199, 250, false},
        {"inside it", 120, 130, false},
        {"around it", 50, 250, false},
        {"across both", 150, 350, false},
        {"empty, inside it", 150, 150, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClaimedRanges ranges;
        ASSERT_TRUE(ranges.claim(300, 400));
        ASSERT_TRUE(ranges.claim(100, 200));
        EXPECT_EQ(ranges.claim(c.begin, c.end), c.taken);
    }

    // A refused range takes nothing: the free bytes it covered stay free.
    ClaimedRanges ranges;
    ASSERT_TRUE(ranges.claim(100, 200));
    EXPECT_FALSE(ranges.claim(50, 250));
    EXPECT_TRUE(ranges.claim(50, 100));
    EXPECT_TRUE(ranges.claim(200, 250));
}

} // namespace
