#include <deque>

#include <gtest/gtest.h>

#include "engine/password_scrambler.h"
#include "platform/convert_error.h"

using namespace engine;

namespace {

// Hands out the given draws in order.
RandomDraw scripted(std::deque<int> draws)
{
    return [draws = std::move(draws)](int low, int high) mutable {
        const int value = draws.front();
        draws.pop_front();
        EXPECT_GE(value, low);
        EXPECT_LE(value, high);
        return value;
    };
}

TEST(PasswordScrambler, WorkedExample)
{
    // k = 3, filler "QRS" (codes 65 + 16, 17, 18)
    EXPECT_EQ(scramblePassword("abc", scripted({3, 16, 17, 18})), "991079105910aSRQD");
    EXPECT_EQ(unscramblePassword("991079105910aSRQD"), "abc");
}

TEST(PasswordScrambler, EmptyStaysEmpty)
{
    EXPECT_EQ(scramblePassword(""), "");
    EXPECT_EQ(unscramblePassword(""), "");
}

TEST(PasswordScrambler, EveryByteButNulRoundTrips)
{
    std::string everyByte;
    for (int b = 1; b <= 255; ++b)
        everyByte += static_cast<char>(b);
    for (int k : {3, 25}) {
        std::deque<int> draws{k};
        for (int i = 0; i < k; ++i)
            draws.push_back(i % 29);
        EXPECT_EQ(unscramblePassword(scramblePassword(everyByte, scripted(draws))), everyByte);
    }
    EXPECT_EQ(unscramblePassword(scramblePassword("\xFF")), "\xFF");
    EXPECT_EQ(unscramblePassword(scramblePassword(everyByte)), everyByte);
}

TEST(PasswordScrambler, DrawsStayInTheirRanges)
{
    for (int run = 0; run < 200; ++run) {
        const std::string stored = scramblePassword("secret");
        const int k = stored.back() - 'A';
        ASSERT_GE(k, 3);
        ASSERT_LE(k, 25);
        for (int i = 0; i < k; ++i) {
            const char filler = stored[stored.size() - 2 - static_cast<std::size_t>(i)];
            ASSERT_GE(filler, 'A');
            ASSERT_LE(filler, ']');
        }
    }
}

TEST(PasswordScrambler, MalformedStoredTextsAreReported)
{
    struct Case
    {
        const char* stored;
        const char* message;
    };
    const Case cases[] = {
        // a group that is not a decimal number
        {"99107x105910aSRQD", "'01x7' is not a valid integer value"},
        // D announces k = 3, but only two characters follow it
        {"RQD", "'RQD' is not a valid integer value"},
        // a first character below "A" announces a negative k
        {"12345", "'12345' is not a valid integer value"},
        // "Z" announces 25 fillers that are not there
        {"aSRQZ", "'aSRQZ' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        try {
            unscramblePassword(c.stored);
            ADD_FAILURE() << c.stored << ": no exception";
        } catch (const platform::EConvertError& e) {
            EXPECT_STREQ(e.what(), c.message) << c.stored;
        }
    }
}

TEST(PasswordScrambler, ShortTextsThatHoldTheirHeaderDecode)
{
    EXPECT_EQ(unscramblePassword("aSRQD"), "");      // header only
    EXPECT_EQ(unscramblePassword("91aSRQD"), "");    // a trailing short group is ignored
    EXPECT_EQ(unscramblePassword("5910aSRQD"), "a"); // one group
}

} // namespace
