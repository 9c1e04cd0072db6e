// The records each statement and body yields, byte for byte, and the buffer's counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_names.h"
#include "decoder.h"
#include "test_support.h"

namespace quassel {
namespace {

using test::Hex;
using test::HexWord;
using test::RecordLines;

struct RecordCase {
  const char* name;
  std::string script;
  std::vector<std::string> records;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << c.name;
}

class RecordsTest : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordsTest, YieldsTheRecords) {
  Decoder decoder;
  const LoadResult result = decoder.LoadText(GetParam().script);
  ASSERT_EQ(result.result, kOk) << "detail " << std::hex << result.detailCode << " line "
                                << std::dec << result.errorLine;
  EXPECT_EQ(RecordLines(decoder), GetParam().records);
  EXPECT_EQ(result.commandCount, GetParam().records.size());
}

// Every statement with its command and sub-command byte.
INSTANTIATE_TEST_SUITE_P(
    Statements, RecordsTest,
    testing::Values(
        RecordCase{"configuration_set", "configuration set 9F1A01 end", {"04 00 00 03 9F 1A 01"}},
        RecordCase{"aid_set",
                   "aid set 9F0607A0000000031010 end",
                   {"04 02 00 0A 9F 06 07 A0 00 00 00 03 10 10"}},
        RecordCase{"aid_delete", "aid delete 01 end", {"04 04 00 01 01"}},
        RecordCase{"group_set", "group set 01 end", {"04 03 00 01 01"}},
        RecordCase{"group_delete", "group delete 01 end", {"04 05 00 01 01"}},
        RecordCase{"pollmode_set", "pollmode set 01 end", {"01 01 00 01 01"}},
        RecordCase{"devicesource_set", "devicesource set 02 end", {"01 05 00 01 02"}},
        RecordCase{"baudrate_set", "baudrate set 05 end", {"30 01 00 01 05"}},
        RecordCase{"cashtransrisk_set", "cashtransrisk set 01 end", {"04 0C 00 01 01"}},
        RecordCase{"cashbacktransrisk_set", "cashbacktransrisk set 01 end", {"04 0D 00 01 01"}},
        RecordCase{"drlrisk_set", "drlrisk set 01 end", {"04 0E 00 01 01"}},
        RecordCase{"fdc_mode_set", "fdc_mode set", {"04 08 00 00"}},
        RecordCase{"kat_set", "kat set\n01 02 whatever\nend", {"04 07 00 00"}},
        RecordCase{"message_set", "message set\n01 \"a\" \"b\" \"c\" \"d\"\nend", {"01 03 00 00"}},
        RecordCase{"revocation_list_add",
                   "revocation list add\nA000000003 01 123456\nend",
                   {"84 04 00 09 A0 00 00 00 03 01 12 34 56"}},
        RecordCase{"revocation_list_delete_entry",
                   "revocation list delete entry\n0102\nend",
                   {"84 0D 00 02 01 02"}},
        RecordCase{"revocation_list_delete_rid_index",
                   "revocation list delete rid index\nA00000000301\nend",
                   {"84 05 00 06 A0 00 00 00 03 01"}},
        RecordCase{
            "revocation_list_delete_all", "revocation list delete all\nend", {"84 06 00 00"}},
        RecordCase{"exception_list_add", "exception list add\n0102\nend", {"84 09 00 02 01 02"}},
        RecordCase{"exception_list_delete_entry",
                   "exception list delete entry\n0102\nend",
                   {"84 0A 00 02 01 02"}},
        RecordCase{"exception_list_delete_all", "exception list delete all\nend", {"84 0B 00 00"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Lexical rules: case, blanks, comments, lines and how statements share them.
INSTANTIATE_TEST_SUITE_P(
    Lexical, RecordsTest,
    testing::Values(
        RecordCase{"upper_case_keywords", "GROUP SET 9F 1A END", {"04 03 00 02 9F 1A"}},
        RecordCase{"one_word_lower_case", "Group Set 9f1a end", {"04 03 00 02 9F 1A"}},
        RecordCase{"body_over_lines_with_comment",
                   "group set\n9F1A\n; a comment\nend",
                   {"04 03 00 02 9F 1A"}},
        RecordCase{
            "words_over_lines", "revocation ; first\nlist\n\nadd\n01\nend", {"84 04 00 01 01"}},
        RecordCase{"two_statements_on_a_line",
                   "pollmode set 01 end baudrate set 05 end",
                   {"01 01 00 01 01", "30 01 00 01 05"}},
        RecordCase{"unknown_word_skipped", "hello group set end", {"04 03 00 00"}},
        RecordCase{"stray_end_skipped", "end end pollmode set end", {"01 01 00 00"}},
        RecordCase{"tabs_and_crlf", "pollmode\tset\r\n01\t\r\nend\r\n", {"01 01 00 01 01"}},
        RecordCase{"comment_hides_end", "group set 01 ;02 end\nend", {"04 03 00 01 01"}},
        RecordCase{
            "semicolon_inside_word_is_no_comment", "group set 01 end hello;x", {"04 03 00 01 01"}},
        RecordCase{"fdc_then_statement_on_same_line",
                   "fdc_mode set pollmode set 01 end",
                   {"04 08 00 00", "01 01 00 01 01"}},
        RecordCase{"empty_body", "configuration set end", {"04 00 00 00"}},
        RecordCase{"no_final_line_feed", "pollmode set 01 end", {"01 01 00 01 01"}},
        RecordCase{"end_of_file_inside_body", "group set 01 02", {"04 03 00 02 01 02"}},
        RecordCase{"end_of_file_between_words",
                   "pollmode set 01 end\nrevocation list",
                   {"01 01 00 01 01"}},
        RecordCase{"long_comment_is_one_line",
                   "; " + std::string(400, 'x') + " 0G\ngroup set end",
                   {"04 03 00 00"}},
        RecordCase{"long_line_keeps_words_whole",
                   "group set " + HexWord(150, "AB") + " end pollmode set 01 end",
                   {"04 03 00 96 " + Hex(std::vector<uint8_t>(150, 0xAB)), "01 01 00 01 01"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Entry lists, message, KAT and skip blocks.
INSTANTIATE_TEST_SUITE_P(
    Blocks, RecordsTest,
    testing::Values(
        RecordCase{"one_record_per_entry_line",
                   "revocation list add\n0102\n\n; not an entry\n0304 05\n06\nend",
                   {"84 04 00 02 01 02", "84 04 00 03 03 04 05", "84 04 00 01 06"}},
        RecordCase{"end_on_entry_line",
                   "revocation list add\n0102030405 01 end group set 02 end",
                   {"84 04 00 06 01 02 03 04 05 01", "04 03 00 01 02"}},
        RecordCase{
            "comment_on_entry_line", "exception list add\n0102 ; 0304\nend", {"84 09 00 02 01 02"}},
        RecordCase{"comment_on_statement_line",
                   "revocation list add ; entries below\n01\nend",
                   {"84 04 00 01 01"}},
        RecordCase{"end_on_statement_line",
                   "revocation list add end pollmode set 01 end",
                   {"01 01 00 01 01"}},
        RecordCase{"end_line_goes_on_at_statement_level",
                   "exception list add\n01\nEND pollmode set 02 end",
                   {"84 09 00 01 01", "01 01 00 01 02"}},
        RecordCase{"message_end_any_case",
                   "message set ignored\n FF\n;c\nENDING stuff\npollmode set 01 end",
                   {"01 03 00 00", "01 01 00 01 01"}},
        RecordCase{"message_texts_odd_but_valid",
                   "message set\n01\"\"\"x y\"\"~\" \"z\" trailing\nend",
                   {"01 03 00 00"}},
        RecordCase{"kat_lines_unread",
                   "kat set\n\"unbalanced\n\n zz\n  End\ngroup set end",
                   {"04 07 00 00", "04 03 00 00"}},
        RecordCase{"skip_block_skips_statements",
                   "revocation list delete all end\ngroup set 01 end\nendless\npollmode set 01 end",
                   {"84 06 00 00", "01 01 00 01 01"}},
        RecordCase{"end_of_file_inside_entry_list",
                   "exception list add\n01\n02",
                   {"84 09 00 01 01", "84 09 00 01 02"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordBytes, TheSeventeenByteBuffer) {
  Decoder decoder;
  const LoadResult result =
      decoder.LoadText("pollmode set 01 end\nrevocation list add\n0102030405060708\nend\n");
  ASSERT_EQ(result.result, kOk);
  EXPECT_EQ(result.commandCount, 2u);
  EXPECT_EQ(result.totalBytes, 17u);
  EXPECT_EQ(result.maxRecordSize, 12u);
  EXPECT_EQ(Hex(decoder.Bytes()), "01 01 00 01 01 84 04 00 08 01 02 03 04 05 06 07 08");
}

TEST(RecordBytes, LengthIsBigEndianAcrossTheLowByte) {
  for (size_t count : {255u, 256u, 257u, 4096u}) {
    Decoder decoder;
    // Split over words and lines, so the length is raised word by word.
    const std::string script = "group set\n" + HexWord(count - 1, "5A") + "\n" + "A5 end";
    ASSERT_EQ(decoder.LoadText(script).result, kOk) << count;
    const auto bytes = decoder.Bytes();
    ASSERT_EQ(bytes.size(), count + 4);
    EXPECT_EQ(bytes[2], count >> 8) << count;
    EXPECT_EQ(bytes[3], count & 0xFF) << count;
    EXPECT_EQ(bytes.back(), 0xA5);
    EXPECT_EQ(decoder.LastLoad().maxRecordSize, count + 4);
  }
}

TEST(RecordBytes, LargestRecordDataIsAccepted) {
  Decoder decoder;
  const LoadResult result = decoder.LoadText("group set " + HexWord(kMaxRecordData, "00") + " end");
  ASSERT_EQ(result.result, kOk);
  EXPECT_EQ(result.maxRecordSize, 4 + kMaxRecordData);
  EXPECT_EQ(decoder.Bytes()[2], 0xFF);
  EXPECT_EQ(decoder.Bytes()[3], 0xFF);
}

TEST(RecordBytes, ScriptWithoutRecords) {
  for (const char* script : {"", "\n\n", "; only a comment\n   \t\n;another"}) {
    Decoder decoder;
    const LoadResult result = decoder.LoadText(script);
    EXPECT_EQ(result.result, kOk);
    EXPECT_EQ(result.commandCount, 0u);
    EXPECT_EQ(result.totalBytes, 0u);
    EXPECT_EQ(result.maxRecordSize, 4u);
  }
}

TEST(RecordBytes, DeviceTypeChangesNothing) {
  const std::string script = "pollmode set 01 end\nexception list add\n0102\nend\nkat set\nend";
  Decoder reference;
  ASSERT_EQ(reference.LoadText(script, 0).result, kOk);
  for (uint32_t type : {1u, 2u, 3u, 99u}) {
    Decoder decoder;
    ASSERT_EQ(decoder.LoadText(script, type).result, kOk);
    EXPECT_EQ(Hex(decoder.Bytes()), Hex(reference.Bytes())) << type;
  }
}

// Every record the decoder can make has a display name for the program to show.
TEST(RecordBytes, EveryRecordKindHasADisplayName) {
  const std::string script =
      "configuration set end aid set end aid delete end group set end group delete end\n"
      "pollmode set end devicesource set end baudrate set end cashtransrisk set end\n"
      "cashbacktransrisk set end drlrisk set end fdc_mode set kat set\nend\nmessage set\nend\n"
      "revocation list add\n01\nend revocation list delete entry\n01\nend\n"
      "revocation list delete rid index\n01\nend\nrevocation list delete all\nend\n"
      "exception list add\n01\nend exception list delete entry\n01\nend\n"
      "exception list delete all\nend\n";
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(script).result, kOk);
  ASSERT_EQ(decoder.Records().size(), 21u);
  for (const RecordView& record : decoder.Records()) {
    EXPECT_NE(CommandDisplayName(record.command, record.subCommand), nullptr) << Hex(record.bytes);
  }
}

TEST(DisplayNames, KnownAndUnknownPairs) {
  EXPECT_STREQ(CommandDisplayName(0x01, 0x01), "Set Poll Mode");
  EXPECT_STREQ(CommandDisplayName(0x84, 0x04), "Add Entry to EMV Revocation List ");
  EXPECT_STREQ(CommandDisplayName(0x84, 0x0D), "Delete Entry from EMV Revocation List");
  EXPECT_EQ(CommandDisplayName(0x04, 0x01), nullptr);
  EXPECT_EQ(CommandDisplayName(0x00, 0x00), nullptr);
  EXPECT_EQ(CommandDisplayName(0x85, 0x04), nullptr);
}

}  // namespace
}  // namespace quassel
