// Script text in messages: what is shown as it is, what is escaped, and where a long
// text is cut.
#include "escaped_text.h"

#include <gtest/gtest.h>

#include <string>

#include "decoder.h"

namespace quassel {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string shown;
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
  *os << c.name;
}

class EscapedTextTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapedTextTest, ShowsTheText) {
  EXPECT_EQ(EscapedText(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EscapedTextTest,
    testing::Values(EscapeCase{"printable_ascii", "group ~\"x\"!", "group ~\"x\"!"},
                    EscapeCase{"utf8_of_every_length", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                               "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
                    EscapeCase{"terminal_escape", "x\x1b[2J", "x\\x1b[2J"},
                    EscapeCase{"nul_and_del", std::string("a\0b\x7F", 4), "a\\x00b\\x7f"},
                    EscapeCase{"backslash", "a\\x1b", "a\\x5cx1b"},
                    EscapeCase{"c1_control",
                               "\xC2\x9B"
                               "2J\xC2\xA0",
                               "\\xc2\\x9b2J\xC2\xA0"},
                    EscapeCase{"invisible_format", "\xEF\xBB\xBFgo\xE2\x80\xAE",
                               "\\xef\\xbb\\xbfgo\\xe2\\x80\\xae"},
                    EscapeCase{"overlong_and_surrogate", "\xC0\xAF\xE0\x80\xAF\xED\xA0\x80",
                               "\\xc0\\xaf\\xe0\\x80\\xaf\\xed\\xa0\\x80"},
                    EscapeCase{"beyond_unicode", "\xF4\x90\x80\x80\xF5",
                               "\\xf4\\x90\\x80\\x80\\xf5"},
                    EscapeCase{"truncated_sequences", "\xE2\x82x\x80\xF0\x9F\x98",
                               "\\xe2\\x82x\\x80\\xf0\\x9f\\x98"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EscapedText, CutsBetweenCharactersOnly) {
  bool cut = false;
  EXPECT_EQ(EscapedText("ab\xE2\x82\xAC", 4, &cut), "ab");
  EXPECT_TRUE(cut);
  EXPECT_EQ(EscapedText("ab\x1b", 3, &cut), "ab\\x1b");  // the limit counts bytes of text
  EXPECT_FALSE(cut);
  EXPECT_EQ(EscapedText("ab\xE2\x82", 3, &cut), "ab\\xe2");  // not a character: byte by byte
  EXPECT_TRUE(cut);
}

// What the decoder says about a word goes to a terminal as it is.
TEST(EscapedText, WarningsQuoteTheScriptEscaped) {
  Decoder decoder;
  ASSERT_EQ(decoder
                .LoadText(std::string("x\x1b[2J\nab\0cd", 11) + "\n" + std::string(39, 'q') +
                          "\xE2\x82\xAC")
                .result,
            kOk);
  const auto& found = decoder.Diagnostics();
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].message, "'x\\x1b[2J' is not a statement and is skipped");
  EXPECT_EQ(found[1].message, "'ab\\x00cd' is not a statement and is skipped");
  EXPECT_EQ(found[2].message,
            "'" + std::string(39, 'q') + "...' is not a statement and is skipped");
}

}  // namespace
}  // namespace quassel
