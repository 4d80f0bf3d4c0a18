#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "platform/cp1251_literal.h"

using namespace platform;

namespace {

std::string allHighBytes()
{
    std::string bytes;
    for (int b = 0x80; b <= 0xFF; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST(CodePage, RussianTextConvertsBothWays)
{
    const std::string utf8 = "Обновить базы Ёё №";
    const std::string cp1251 = "\xCE\xE1\xED\xEE\xE2\xE8\xF2\xFC \xE1\xE0\xE7\xFB \xA8\xB8 \xB9";
    EXPECT_EQ(utf8ToCp1251(utf8), cp1251);
    EXPECT_EQ(cp1251ToUtf8(cp1251), utf8);
}

TEST(CodePage, EveryCp1251ByteRoundTripsThroughUtf8)
{
    const std::string bytes = allHighBytes();
    EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(bytes)), bytes);
}

TEST(CodePage, UnrepresentableAndMalformedInputBecomesQuestionMarks)
{
    struct Case
    {
        std::string utf8;
        std::string cp1251;
    };
    const Case cases[] = {
        {"日本", "??"}, // CJK has no CP1251 byte
        {"a\xFF"
         "b",
         "a?b"},                     // a byte that never starts UTF-8
        {"\xD0", "?"},               // sequence cut at the end
        {"\xC0\xAF", "??"},          // overlong encoding of "/"
        {"\xED\xA0\x80", "???"},     // a surrogate
        {"\xF0\x9F\x98\x80!", "?!"}, // four-byte character
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8ToCp1251(c.utf8), c.cp1251) << c.utf8;
}

TEST(CodePage, Cp866NamesBecomeCp1251)
{
    // "Привет.txt" and "отчёт" as MS-DOS wrote them
    EXPECT_EQ(cp866ToCp1251("\x8F\xE0\xA8\xA2\xA5\xE2.txt"), utf8ToCp1251("Привет.txt"));
    EXPECT_EQ(cp866ToCp1251("\xAE\xE2\xE7\xF1\xE2"), utf8ToCp1251("отчёт"));
    // Box drawing has no CP1251 counterpart; ASCII passes unchanged.
    EXPECT_EQ(cp866ToCp1251("\xC9\xCD\xBB A\\b"), "??? A\\b");
}

TEST(CodePage, UpperCaseTouchesAsciiLettersOnly)
{
    EXPECT_EQ(asciiUpper("kvo44301.zip"), "KVO44301.ZIP");
    const std::string cyrillic = utf8ToCp1251("база");
    EXPECT_EQ(asciiUpper(cyrillic + "x"), cyrillic + "X");
}

TEST(CodePage, LiteralsAreConvertedAtCompileTime)
{
    constexpr std::string_view text = "Неудача!"_cp1251;
    static_assert(text.size() == 8);
    EXPECT_EQ(std::string(text), utf8ToCp1251("Неудача!"));
    EXPECT_EQ(std::string("      plain"_cp1251), "      plain");
}

} // namespace
