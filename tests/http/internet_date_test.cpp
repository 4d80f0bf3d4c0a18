#include <chrono>
#include <optional>

#include <gtest/gtest.h>

#include "internet_date.h"

using namespace http;

namespace {

// This executable runs with TZ set to a zone 3 h 30 min east of UTC, so that written dates
// carry an offset with minutes and reading them back must undo it.

TEST(InternetDate, ReadsTheCommonForms)
{
    const std::int64_t kNov6 = 784111777; // 1994-11-06 08:49:37 UTC
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", kNov6},
        {"Sunday, 06-Nov-94 08:49:37 GMT", kNov6},
        {"Sun, 06-Nov-1994 08:49:37 GMT", kNov6},
        {"Sun Nov  6 08:49:37 1994", kNov6},
        {"Nov-06-1994 08:49:37 UTC", kNov6},
        {"6 Nov 1994 8:49:37 Z", kNov6},
        {"06 november 1994 08:49:37", kNov6},
        {"Sun, 6 Nov 1994 09:49:37 +0100", kNov6},
        {"Sun, 06 Nov 1994 03:49:37 EST", kNov6},
        {"Sun, 06 Nov 1994 11:19:37 +02:30", kNov6},
        {"Sun, 06 Nov 1994 07:49:37 GMT-0100", kNov6},
        {"Sun, 06 Nov 1994", 784080000},
        {"Sun, 06 Nov 1994 08:49 GMT", kNov6 - 37},
        {"Thu, 29 Feb 2024 12:00:00 GMT", 1709208000},
        {"01-Jan-79 00:00:00 GMT", 3439756800},
        {"01-Jan-80 00:00:00 GMT", 315532800},
        // Not dates.
        {"", std::nullopt},
        {"yesterday", std::nullopt},
        {"Fri, 30 Feb 2024 00:00:00 GMT", std::nullopt},
        {"32 Jan 2024", std::nullopt},
        {"06 Nov 1994 25:00:00 GMT", std::nullopt},
        {"06 Nov 1994 08:61:00 GMT", std::nullopt},
        {"06 Nov 1994 08:49:37:01 GMT", std::nullopt},
        {"06 Foo 1994", std::nullopt},
        {"Nov 1994", std::nullopt},
        {"06 Nov", std::nullopt},
        {"06 Nov Nov 1994", std::nullopt},
        {"06 Nov 1994 08:49:37 +99", std::nullopt},
        {"06 Nov 1994 +0100", std::nullopt},
        {"06--Nov-1994", std::nullopt},
        {"06 Nov 99999999999999999999", std::nullopt},
        {"06 Nov 1994 :::", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(readInternetDate(text), expected) << '"' << text << '"';
}

TEST(InternetDate, ReadsBackWhatItWrites)
{
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    const std::int64_t moments[] = {0, 784111777, now, 4102444799, now + 400LL * 366 * 24 * 3600};
    for (const std::int64_t t : moments) {
        const std::string text = writeInternetDate(t);
        EXPECT_EQ(readInternetDate(text), t) << text;
    }
    EXPECT_EQ(writeInternetDate(784111777), "Sun, 6 Nov 1994 12:19:37 +0330");
}

TEST(InternetDate, SurvivesHostileBytes)
{
    // Every byte at every place of a valid date, and cut-off prefixes of it.
    const std::string valid = "Sun, 06-Nov-1994 08:49:37 +0100";
    for (std::size_t at = 0; at < valid.size(); ++at) {
        readInternetDate(std::string_view(valid).substr(0, at));
        for (int b = 0; b < 256; ++b) {
            std::string text = valid;
            text[at] = static_cast<char>(b);
            readInternetDate(text);
        }
    }
    SUCCEED();
}

} // namespace
