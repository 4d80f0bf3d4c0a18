#include <gtest/gtest.h>

#include "platform/convert_error.h"

using namespace platform;

namespace {

TEST(ParseInt, AcceptsTheRuntimeForms)
{
    struct Case
    {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"80", 80},
        {"-12", -12},
        {"+7", 7},
        {"  42", 42},
        {"0x50", 80},
        {"0X1f", 31},
        {"$FF", 255},
        {"$FFFFFFFF", -1},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"$100000000", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"0x", std::nullopt},
        {"yes", std::nullopt},
        {"12 ", std::nullopt},
        {"1.5", std::nullopt},
        {"FF", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tryParseInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseInt, ThrowsWithTheTextInTheMessage)
{
    try {
        parseIntOrThrow("12a");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
}

} // namespace
