// lint's checks and explain's readings on scripts decoded by the real decoder, so the
// line of every finding is the line the script author sees.
#include "script_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "script_explain.h"

namespace kavonel::emv {
namespace {

struct Decoded {
  quassel::Decoder decoder;
  std::vector<uint32_t> lineEnds;
  std::vector<quassel::RecordView> records;

  explicit Decoded(const std::string& text, bool file = false) {
    decoder.SetLineEnds(&lineEnds);
    const quassel::LoadResult load = file ? decoder.LoadFile(text) : decoder.LoadText(text);
    EXPECT_EQ(load.result, quassel::kOk) << text;
    records = decoder.Records();
  }
  CheckResult Check() const { return CheckScript(records, decoder.Bytes(), LineMap(lineEnds)); }
  std::vector<ExplainedRecord> Explain() const {
    return ExplainScript(records, decoder.Bytes(), LineMap(lineEnds));
  }
};

std::string Listed(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& f : findings) text += std::to_string(f.line) + ": " + f.message + "\n";
  return text;
}

struct Expected {
  uint32_t line;
  std::string part;  // a part of the message: the tag, and what is wrong
};

struct Case {
  const char* what;
  std::string script;
  std::vector<Expected> findings;  // in this order, and no others
};

const std::string k128Bytes(256, 'A');

const Case kCases[] = {
    {"length past the end, at the last element of a multi-line body, three-byte tag",
     "configuration set\n"
     "  9F1A 02 0840\n"
     "  ; the limit\n"
     "  DF8123 06 0000000050\n"
     "end\n",
     {{4,
       "DF8123 (Reader contactless floor limit): length 6 runs past the end of the body (5 bytes "
       "left)"}}},
    {"bytes left over that are no whole element",
     "group set\n  FFE4 01 01\n  9F1A 02 0840\n  9F\nend\n",
     {{4, "tag 9F: the body ends within its tag and length (1 byte left: 9F)"}}},
    {"a length form that is not read",
     "group set FFE4 01 01\n 9F1A 83 000002 0840 end\n",
     {{2, "9F1A (Terminal country code): length byte 83"}}},
    {"length outside the table's range, also in long form and in a template",
     "configuration set\n"
     "  9F1A 03 084000\n"
     "  9F35 81 02 2200\n"
     "  DF8131 81 80 " +
         k128Bytes +
         "\n"
         "  E1 82 0007 9F33 04 E0F8C800\n"
         "end\n",
     {{2, "9F1A (Terminal country code): length 3, allowed 2"},
      {3, "9F35 (Terminal type): length 2, allowed 1"},
      {5, "9F33 (Terminal capabilities): length 4, allowed 3"}}},
    {"values against their format",
     "configuration set\n"
     "  9F1A 02 084A\n"
     "  DF8124 06 00000001500F\n"
     "  9F1C 08 5445524D0731 3233\n"
     "  9F16 0F 4D45524348414E54203132333435 36\n"
     "  9F4E 04 43 41 46 7F\n"
     "end\n",
     {{2, "9F1A (Terminal country code): 084A is not all digits (format n)"},
      {3,
       "DF8124 (Reader contactless transaction limit (no on-device CVM)): 00000001500F is not "
       "all digits"},
      {4,
       "9F1C (Terminal identification): byte 07 at 5 of the value is not printable text "
       "(format an)"},
      {6, "9F4E (Merchant name and location): byte 7F at 4"}}},
    {"the same tag twice at one level, top and in a template; once per level is fine",
     "group set\n"
     "  FFE4 01 00\n"
     "  DF8123 06 000000005000\n"
     "  E1 0A 9F1A 02 0840\n"
     "        9F1A 02 0840\n"
     "  9F1A 02 0840\n"
     "  DF8123 06 000000005000\n"
     "end\n",
     {{5, "9F1A (Terminal country code) appears twice in one template (first on line 4)"},
      {7,
       "DF8123 (Reader contactless floor limit) appears twice in one record (first on line 3)"}}},
    {"AIDs: without 9F06, a 9F06 too short, a group no group set sets",
     "group set FFE4 01 01 end\n"
     "group set FFE4 01 02 end\n"
     "aid set\n  FFE4 01 01\n  9F09 02 0096\nend\n"
     "aid set 9F06 04 A0000000 FFE4 01 01 end\n"
     "aid set\n  9F06 07 A0000000041010\n  FFE4 01 03\nend\n"
     "aid delete 9F06 07 A0000000041010 FFE4 01 07 end\n",
     {{3, "aid set without 9F06"},
      {7, "9F06 (Application identifier (AID)): length 4, allowed 5 to 16"},
      {10, "FFE4 (Group number): group 03 is set by no group set of this script"}}},
    {"revocation and exception entries",
     "revocation list add\n"
     "  A000000003 92 000123\n"
     "  A000000003 92 0001\n"
     "end\n"
     "revocation list delete entry\n  A000000004 EF 00004200\nend\n"
     "revocation list delete rid index\n  A000000003 92\n  A000000003 92 00\nend\n"
     "exception list add\n"
     "  4761739001010010 01\n"
     "  374245455400126F 00     ; 15 digits, padded\n"
     "  4761739001010011 01     ; wrong check digit\n"
     "  47617390010A0010 01\n"
     "  4761739F01010010 01     ; padding in the middle\n"
     "  47 \n"
     "end\n"
     "exception list delete entry\n  5413330089020012 01\nend\n",
     {{3, "revocation list entry of 8 bytes, expected 9"},
      {6, "revocation list entry of 10 bytes, expected 9"},
      {10, "revocation list entry of 7 bytes, expected 6"},
      {15, "exception list PAN 4761739001010011 fails its Luhn check: the last digit should be 0"},
      {16, "exception list PAN 47617390010A0010 has a non-digit before its F padding (digit 12)"},
      {17, "exception list PAN 4761739F01010010 has a non-digit before its F padding (digit 8)"},
      {18, "exception list entry of 1 byte"},
      {21,
       "exception list PAN 5413330089020012 fails its Luhn check: the last digit should be 1"}}},
    {"bodies that are not TLV are never read as TLV",
     "pollmode set 9F 1A 05 end\n"
     "baudrate set 9F1A 03 08 end\n"
     "devicesource set DF81 end\n"
     "fdc_mode set\n"
     "message set\n  01 \"A\" \"B\" \"C\" \"D\"\nend\n"
     "kat set\n  9F1A 05 00\nend\n",
     {}},
    {"FFE0 to FFFF are two-byte primitive tags; other FF tags are constructed",
     "group set\n  FFE4 01 01\n  FFE0 02 9F1A\n  FFFF 00\n  FF01 05 9F1A 02 0840\nend\n",
     {}},
};

TEST(ScriptChecksTest, EachFindingOnItsLine) {
  for (const Case& c : kCases) {
    const Decoded decoded(c.script);
    const CheckResult result = decoded.Check();
    const std::string listed = Listed(result.findings);
    ASSERT_EQ(result.findings.size(), c.findings.size()) << c.what << "\n" << listed;
    for (size_t i = 0; i < c.findings.size(); ++i) {
      EXPECT_EQ(result.findings[i].line, c.findings[i].line) << c.what << "\n" << listed;
      EXPECT_NE(result.findings[i].message.find(c.findings[i].part), std::string::npos)
          << c.what << "\n"
          << listed;
    }
  }
}

// Set-ups for several card schemes (and the examples) give no warning at all.
TEST(ScriptChecksTest, ValidScriptsOfSeveralSchemesAreQuiet) {
  const std::string schemes =
      "configuration set\n"
      "  9F1A 02 0276 5F2A 02 0978 5F36 01 02 9F35 01 22 9F33 03 E0F8C8\n"
      "  9F40 05 6000F0A001 9F1C 08 3132333435363738 9F15 02 5999 9F01 06 000000123456\n"
      "  9F4E 0C 4B41564F4E454C204D41494E 9F16 0F 3132333435363738393031323334 35\n"
      "end\n"
      "group set FFE4 01 01 9F66 04 3600C000 DF8123 06 000000005000 end\n"
      "group set FFE4 01 02 DF8117 01 00 DF8118 01 60 DF8119 01 08 DF811B 01 20\n"
      "  DF8120 05 F45084800C DF8121 05 0000000000 DF8122 05 F45084800C\n"
      "  DF811E 01 10 DF812C 01 00 9F6D 02 0001 DF811C 02 012C DF811D 01 00\n"
      "  DF8130 01 0D DF8132 02 0014 DF8133 02 0032 DF8134 02 0012 DF8135 02 0018\n"
      "  DF8136 02 012C DF8137 01 32 DF810C 01 02\n"
      "end\n"
      "group set FFE4 01 03 9F6D 02 0001 9F7C 14 0000000000000000000000000000000000000000 end\n"
      "aid set 9F06 07 A0000000031010 FFE4 01 01 9F09 02 0096 end  ; Visa\n"
      "aid set 9F06 07 A0000000041010 FFE4 01 02 9F09 02 0002 end  ; Mastercard\n"
      "aid set 9F06 06 A00000002501 FFE4 01 03 9F09 02 0001 end    ; American Express\n"
      "aid set 9F06 07 A0000001523010 FFE4 01 03 end               ; Discover\n"
      "aid set 9F06 07 A0000000651010 FFE4 01 03 end               ; JCB\n"
      "aid set 9F06 08 A000000333010101 FFE4 01 03 end             ; UnionPay\n"
      "drlrisk set 9F5A 05 3108400840 DF8124 06 000000008000 end\n"
      "exception list add\n  374245455400126F 00\n  6011000991300009 01\n"
      "  3530111333300000 00\nend\n";
  EXPECT_EQ(Listed(Decoded(schemes).Check().findings), "");
  for (const auto& entry : std::filesystem::directory_iterator(KAVONEL_EXAMPLES_DIR)) {
    EXPECT_EQ(Listed(Decoded(entry.path().string(), true).Check().findings), "") << entry.path();
  }
}

// Explain: each element on its line, the readings its format allows, and the elements
// re-encoded give the record's bytes back.
TEST(ScriptExplainTest, ReadsValuesAndKeepsEveryByte) {
  const Decoded decoded(
      "configuration set\n"
      "  9F1A 02 0840 5F2A 02 0978\n"
      "  5F36 01 02\n"
      "  9F1C 08 5445524D0A31 3233\n"
      "end\n"
      "group set\n"
      "  FFE4 01 01 9F1B 04 00001388\n"
      "  DF8123 06 000000005000\n"
      "  BF0C 0D DF8126 06 000000002500 FFE5 00\n"
      "  DF8131 81 80 " +
      k128Bytes +
      " 9F1A 0A 12345678901234567890\n"
      "end\n"
      "pollmode set 01 end\n"
      "exception list add\n  374245455400126F 00\nend\n");
  const std::vector<ExplainedRecord> records = decoded.Explain();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].line, 1u);
  EXPECT_STREQ(records[1].statement, "group set");
  EXPECT_EQ(records[3].line, 14u);
  EXPECT_EQ(records[3].readable, "PAN 374245455400126, PAN sequence number 00");

  const std::string text = ExplainText(records);
  for (const char* line :
       {"1: configuration set [04 00] 25 bytes\n",
        "  2: 9F1A Terminal country code, 2 bytes: 0840 = 840 United States (US)\n",
        "  2: 5F2A Transaction currency code, 2 bytes: 0978 = 978 Euro (EUR)\n",
        "  4: 9F1C Terminal identification, 8 bytes: 5445524D0A313233 = \"TERM\\x0a123\"\n",
        "  7: 9F1B Terminal floor limit, 4 bytes: 00001388 = 50.00\n",
        "  8: DF8123 Reader contactless floor limit, 6 bytes: 000000005000 = 50.00\n",
        "  9: BF0C (not in the dictionary), 13 bytes, template\n",
        "    9: DF8126 Reader CVM required limit, 6 bytes: 000000002500 = 25.00\n",
        "    9: FFE5 (not in the dictionary), 0 bytes\n",
        "  10: 9F1A Terminal country code, 10 bytes: 12345678901234567890 = "
        "12345678901234567890\n",
        "12: pollmode set [01 01] 1 byte: 01\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }

  const nlohmann::json json = ExplainJson(records);
  ASSERT_EQ(json.size(), records.size());
  EXPECT_FALSE(json[2].contains("elements"));  // poll mode: not TLV
  EXPECT_EQ(json[1]["elements"][3]["elements"][0]["line"], 9);
  // Re-encoding: tag, shortest length, value; a template from its elements.
  const auto encode = [](const nlohmann::json& elements, const auto& self) -> std::string {
    std::string hex;
    for (const nlohmann::json& e : elements) {
      const std::string value =
          e.contains("elements") ? self(e["elements"], self) : e["value"].get<std::string>();
      std::vector<uint8_t> length;
      AppendLength(length, value.size() / 2);
      hex += e["tag"].get<std::string>() + HexText(length) + value;
    }
    return hex;
  };
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(json[i]["data"], HexText(decoded.records[i].data));
    if (json[i].contains("elements")) {
      EXPECT_EQ(encode(json[i]["elements"], encode), json[i]["data"]) << i;
    }
  }
}

}  // namespace
}  // namespace kavonel::emv
