// Malformed scripts: the detail code and the physical line of the first error.
#include <gtest/gtest.h>

#include <string>

#include "decoder.h"
#include "test_support.h"

namespace quassel {
namespace {

using test::HexWord;

struct ErrorCase {
  const char* name;
  std::string script;
  uint32_t detail;
  uint32_t line;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class ErrorsTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorsTest, StopsAtTheFirstError) {
  Decoder decoder;
  const LoadResult result = decoder.LoadText(GetParam().script);
  EXPECT_EQ(result.result, kScriptFormatError);
  EXPECT_EQ(result.detailCode, GetParam().detail);
  EXPECT_EQ(result.errorLine, GetParam().line);
  // Nothing of a failed load is reported or kept.
  EXPECT_EQ(result.commandCount, 0u);
  EXPECT_EQ(result.totalBytes, 0u);
  EXPECT_TRUE(decoder.Bytes().empty());
  EXPECT_FALSE(decoder.Loaded());
}

INSTANTIATE_TEST_SUITE_P(
    CommandFormat, ErrorsTest,
    testing::Values(
        ErrorCase{"group_add", "group add", kDetailCommandFormat, 1},
        ErrorCase{"group_add_on_line_3", "; one\n\ngroup add\n", kDetailCommandFormat, 3},
        ErrorCase{"configuration_delete", "configuration delete", kDetailCommandFormat, 1},
        ErrorCase{"revocation_add", "revocation add", kDetailCommandFormat, 1},
        ErrorCase{"rid_without_index", "revocation list delete rid 01", kDetailCommandFormat, 1},
        ErrorCase{"exception_has_no_rid", "exception list delete rid index", kDetailCommandFormat,
                  1},
        ErrorCase{"fdc_mode_end", "fdc_mode end", kDetailCommandFormat, 1},
        ErrorCase{"word_on_a_later_line", "kat\n; between\n\ndelete", kDetailCommandFormat, 4},
        ErrorCase{"first_error_wins", "group add\ngroup set 9G end", kDetailCommandFormat, 1},
        // Entries belong on the lines below their statement, never to an earlier record.
        ErrorCase{"data_on_entry_statement_line", "revocation list add 01 02", kDetailCommandFormat,
                  1},
        ErrorCase{"data_on_entry_statement_line_after_record",
                  "pollmode set 01 end\nexception list add 0102\n01\nend", kDetailCommandFormat, 2},
        ErrorCase{"data_after_rid_index", "revocation list delete rid index A000000003 01",
                  kDetailCommandFormat, 1}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    InvalidValue, ErrorsTest,
    testing::Values(
        ErrorCase{"odd_digits", "group set 9F1 end", kDetailInvalidValue, 1},
        ErrorCase{"unclosed_body_meets_statement", "group set 01\naid set 02 end",
                  kDetailInvalidValue, 2},
        ErrorCase{"odd_entry_word", "revocation list add\n0102\n010\nend", kDetailInvalidValue, 3},
        ErrorCase{"message_three_texts", "message set\n01 \"A\" \"B\" \"C\"\nend",
                  kDetailInvalidValue, 2},
        ErrorCase{"message_no_closing_quote", "message set\n01 \"A\" \"B\" \"C\" \"D\nend",
                  kDetailInvalidValue, 2},
        ErrorCase{"message_text_without_quotes", "message set\n; ok\n02 A \"B\" \"C\" \"D\"",
                  kDetailInvalidValue, 3},
        ErrorCase{"record_longer_than_length_field",
                  "group set " + HexWord(kMaxRecordData, "00") + " 00 end", kDetailInvalidValue, 1},
        ErrorCase{"entry_longer_than_length_field",
                  "exception list add\n" + HexWord(kMaxRecordData + 1, "11") + "\nend",
                  kDetailInvalidValue, 2}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    NotHex, ErrorsTest,
    testing::Values(
        ErrorCase{"bad_digit", "group set 9G end", kDetailNotHex, 1},
        ErrorCase{"c_prefix", "group set 0x12 end", kDetailNotHex, 1},
        ErrorCase{"semicolon_inside_word", "group set 01;x end", kDetailNotHex, 1},
        ErrorCase{"entry_line", "exception list add\nzz\nend", kDetailNotHex, 2},
        ErrorCase{"message_blank_line", "message set\n\nend", kDetailNotHex, 2},
        ErrorCase{"message_blanks_only", "message set\n \t \r\nend", kDetailNotHex, 2},
        ErrorCase{"message_one_digit", "message set\n1 \"a\" \"b\" \"c\" \"d\"", kDetailNotHex, 2},
        ErrorCase{"message_en_is_not_end", "message set\nen", kDetailNotHex, 2},
        ErrorCase{"nul_character", std::string("group set 0\0 end", 16), kDetailNotHex, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A line is the whole physical line: later lines keep their numbers however long the
// earlier ones are, and an error far into a long line is reported at that line.
INSTANTIATE_TEST_SUITE_P(
    LongLines, ErrorsTest,
    testing::Values(
        ErrorCase{"after_a_300_character_comment", "; " + std::string(298, 'c') + "\ngroup add",
                  kDetailCommandFormat, 2},
        ErrorCase{"far_into_a_long_line", "group set " + HexWord(200, "0A") + " 9G end",
                  kDetailNotHex, 1},
        ErrorCase{"after_a_long_body_line", "group set\n" + HexWord(1000) + "\nend\ngroup add",
                  kDetailCommandFormat, 4},
        ErrorCase{"length_limit_at_its_line",
                  // 257 lines of 255 bytes fill the record exactly; the next byte is one too many.
                  [] {
                    std::string script = "group set\n";
                    for (int i = 0; i < 257; ++i) script += HexWord(255, "01") + "\n";
                    return script + "; full\n02\nend\n";
                  }(),
                  kDetailInvalidValue, 260}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quassel
