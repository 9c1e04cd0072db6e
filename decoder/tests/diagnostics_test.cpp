// What the decoder passes over without an error, reported for script authors.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "decoder.h"

namespace quassel {
namespace {

struct Expected {
  uint32_t line;
  const char* contains;
};

struct DiagnosticCase {
  const char* name;
  std::string script;
  std::vector<Expected> warnings;
};

void PrintTo(const DiagnosticCase& c, std::ostream* os) {
  *os << c.name;
}

class DiagnosticsTest : public testing::TestWithParam<DiagnosticCase> {};

TEST_P(DiagnosticsTest, ListsWhatWasPassedOver) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(GetParam().script).result, kOk);
  const auto& found = decoder.Diagnostics();
  ASSERT_EQ(found.size(), GetParam().warnings.size());
  for (size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].line, GetParam().warnings[i].line) << found[i].message;
    EXPECT_NE(found[i].message.find(GetParam().warnings[i].contains), std::string::npos)
        << found[i].message;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiagnosticsTest,
    testing::Values(
        DiagnosticCase{"clean_script",
                       "pollmode set 01 end\nrevocation list add\n01\nend\nfdc_mode set\n"
                       "kat set\n; only comments\n\nend\nexception list delete all\nend",
                       {}},
        DiagnosticCase{
            "skipped_words", "\nhello group set end World", {{2, "'hello'"}, {2, "'World'"}}},
        DiagnosticCase{"stray_end", "pollmode set end end", {{1, "'end' outside"}}},
        DiagnosticCase{"long_word_is_cut",
                       std::string(100, 'q'),
                       {{1, "'qqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqq...'"}}},
        DiagnosticCase{
            "body_open_at_end", "; intro\ngroup\nset 01\n02", {{2, "'group set' has no 'end'"}}},
        DiagnosticCase{"entry_list_open_at_end",
                       "exception list add\n01",
                       {{1, "entry list of 'exception list add' has no 'end'"}}},
        DiagnosticCase{"statement_incomplete_at_end",
                       "revocation list delete",
                       {{1, "'revocation list delete' is incomplete"}}},
        DiagnosticCase{"message_lines",
                       "message set\n01 \"a\" \"b\" \"c\" \"d\"\n;c\nFE\nend",
                       {{2, "message 01"}, {4, "message FE"}}},
        DiagnosticCase{"message_block_open_at_end",
                       "message set\nFF",
                       {{2, "message FF"}, {1, "block of 'message set' has no 'end'"}}},
        DiagnosticCase{"kat_lines", "kat set\n9F0607\n; comment\n\nend", {{2, "KAT line"}}},
        DiagnosticCase{"text_after_block_statement",
                       "kat set 01 02\nend\nmessage set x\nend",
                       {{1, "after 'kat set'"}, {3, "after 'message set'"}}},
        DiagnosticCase{"text_after_block_end",
                       "kat set\nend group set 01 end",
                       {{2, "after the 'end' of the KAT block"}}},
        DiagnosticCase{"skip_block",
                       "revocation list delete all end\ngroup set 01 end\nend ; ok",
                       {{1, "after 'revocation list delete all'"}, {2, "line skipped"}}},
        // Only at the very start is the mark passed over (and then silently).
        DiagnosticCase{"byte_order_mark", "\xEF\xBB\xBFpollmode set 01 end", {}},
        DiagnosticCase{"byte_order_mark_later",
                       "pollmode set 01 end\n\xEF\xBB\xBFhello",
                       {{2, "'\\xef\\xbb\\xbfhello' is not a statement"}}},
        DiagnosticCase{"skip_block_end_with_text",
                       "exception list delete all\nendx 01",
                       {{2, "after the 'end' of 'exception list delete all'"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Diagnostics, KeptUpToTheErrorOfAFailedLoad) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText("hello\ngroup add").result, kScriptFormatError);
  ASSERT_EQ(decoder.Diagnostics().size(), 1u);
  EXPECT_EQ(decoder.Diagnostics()[0].line, 1u);
}

TEST(Diagnostics, ReplacedByTheNextLoad) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText("hello").result, kOk);
  ASSERT_EQ(decoder.LoadText("pollmode set end").result, kOk);
  EXPECT_TRUE(decoder.Diagnostics().empty());
}

TEST(Diagnostics, CappedWithACountOfTheRest) {
  std::string script;
  for (size_t i = 0; i < kMaxDiagnostics + 250; ++i) script += "x\n";
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(script).result, kOk);
  ASSERT_EQ(decoder.Diagnostics().size(), kMaxDiagnostics + 1);
  EXPECT_EQ(decoder.Diagnostics().back().message, "250 more warnings not listed");
}

}  // namespace
}  // namespace quassel
