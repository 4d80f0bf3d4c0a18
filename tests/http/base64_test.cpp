#include <gtest/gtest.h>

#include "http/base64.h"
#include "http/id_authentication.h"

using namespace http;

namespace {

TEST(Base64, MatchesTheReferenceVectors)
{
    // RFC 4648, section 10, and every padding case with bytes above 0x7F.
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFF", 1), "/w=="},
        {std::string("\xFB\xFF", 2), "+/8="},
        {std::string("\x00\x00\x00", 3), "AAAA"},
        {":", "Og=="},
    };
    for (const auto& [bytes, encoded] : cases)
        EXPECT_EQ(encodeBase64(bytes), encoded) << bytes;
}

TEST(Base64, HasNoLineBreaks)
{
    const std::string encoded = encodeBase64(std::string(300, 'x'));
    EXPECT_EQ(encoded.size(), 400u);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

TEST(BasicAuthentication, EncodesUserColonPassword)
{
    EXPECT_EQ(TIdBasicAuthentication("Aladdin", "open sesame").Authentication(),
              "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(TIdBasicAuthentication().Authentication(), "Basic Og==");
    // CP1251 bytes go in unchanged ("пароль").
    EXPECT_EQ(TIdBasicAuthentication("u", "\xEF\xE0\xF0\xEE\xEB\xFC").Authentication(),
              "Basic dTrv4PDu6/w=");
}

} // namespace
