#include <gtest/gtest.h>

#include "http/id_header_list.h"

using namespace http;

namespace {

TEST(HeaderList, LooksUpFoldedLinesIgnoringCase)
{
    TIdHeaderList h;
    h.Add("Content-Type:  text/html ");
    h.Add("WWW-Authenticate: Basic realm=\"a\",");
    h.Add("\t  charset=x ");
    h.Add(" ");
    h.Add("www-authenticate: Digest");
    h.Add("NoColonHere");
    h.Add("Empty:");
    EXPECT_EQ(h.Values("content-type"), "text/html");
    EXPECT_EQ(h.Values("WWW-AUTHENTICATE"), "Basic realm=\"a\", charset=x");
    EXPECT_EQ(h.Extract("WWW-Authenticate"),
              (std::vector<std::string>{"Basic realm=\"a\", charset=x", "Digest"}));
    EXPECT_EQ(h.Values("Missing"), "");
    EXPECT_FALSE(h.Has("Missing"));
    EXPECT_FALSE(h.Has("NoColonHere"));
    EXPECT_TRUE(h.Has("Empty"));
    EXPECT_EQ(h.Values("Empty"), "");
}

TEST(HeaderList, SetValueReplacesAppendsAndRemoves)
{
    TIdHeaderList h;
    h.Add("A: 1");
    h.Add("B: 2");
    h.Add(" continued");
    h.Add("C: 3");
    h.SetValue("b", "two");
    h.SetValue("D", "4");
    h.SetValue("A", "");
    h.SetValue("Nothing", "");
    EXPECT_EQ(h.Lines(), (std::vector<std::string>{"b: two", "C: 3", "D: 4"}));
}

} // namespace
