#include "monitor/monitor_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace kavonel {
namespace {

using ::testing::ElementsAreArray;

struct Recorder : MonitorOutput {
  std::vector<std::string> pieces;
  void AppendMonitorText(std::string_view text) override { pieces.emplace_back(text); }
};

std::vector<uint8_t> Frame(size_t size, uint16_t lengthField) {
  std::vector<uint8_t> frame(size);
  std::iota(frame.begin(), frame.end(), uint8_t{0xA0});
  if (size >= 14) {
    frame[12] = static_cast<uint8_t>(lengthField >> 8);
    frame[13] = static_cast<uint8_t>(lengthField & 0xFF);
  }
  return frame;
}

std::vector<std::string> ExpectedDump(const std::vector<uint8_t>& frame, size_t dumped,
                                      const std::string& header) {
  std::vector<std::string> pieces{"\n", header};
  for (size_t i = 0; i < dumped; ++i) {
    if (i % 16 == 0) pieces.push_back("\n");
    char byte[8];
    std::snprintf(byte, sizeof byte, " %02x", frame[i]);
    pieces.push_back(byte);
  }
  pieces.push_back("\n");
  return pieces;
}

struct DumpCase {
  const char* name;
  size_t size;
  uint16_t lengthField;
  bool tx;
  size_t dumped;
  const char* header;
};

class DumpFrameTest : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpFrameTest, MakesOneAppendPerPieceInOrder) {
  const DumpCase& c = GetParam();
  const auto frame = Frame(c.size, c.lengthField);
  Recorder out;
  DumpFrame(out, frame.data(), frame.size(), c.tx);
  EXPECT_THAT(out.pieces, ElementsAreArray(ExpectedDump(frame, c.dumped, c.header)));
  // L + ceil(L / 16) + 3 appends for a frame held whole.
  EXPECT_EQ(out.pieces.size(), c.dumped + (c.dumped + 15) / 16 + 3);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DumpFrameTest,
    ::testing::Values(DumpCase{"Request16", 16, 0, true, 16, "[TX][16]---->"},
                      DumpCase{"Request17", 17, 1, true, 17, "[TX][17]---->"},
                      DumpCase{"Request18", 18, 2, true, 18, "[TX][18]---->"},
                      DumpCase{"Response16", 16, 0, false, 16, "[RX][16]<----"},
                      // A response head whose length field promises more than was received stops
                      // at the bytes held; the header still names the announced size.
                      DumpCase{"ResponseLongerThanHeld", 16, 0x0100, false, 16, "[RX][272]<----"},
                      // Data length 0xFFFF wraps the 16-bit size, as the reader tools always did.
                      DumpCase{"WrappedLength", 16, 0xFFFF, true, 15, "[TX][15]---->"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DumpFrame, EighteenByteFrameLayoutAsText) {
  const auto frame = Frame(18, 2);
  Recorder out;
  DumpFrame(out, frame.data(), frame.size(), true);
  std::string text;
  for (const auto& piece : out.pieces) text += piece;
  EXPECT_EQ(text, "\n[TX][18]---->\n a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab 00 02 ae af\n b0 b1\n");
}

TEST(DumpFrame, ShortOrMissingFrameDumpsOnlyWhatIsHeld) {
  const auto frame = Frame(5, 0);
  Recorder out;
  DumpFrame(out, frame.data(), frame.size(), false);
  EXPECT_THAT(out.pieces, ElementsAreArray(ExpectedDump(frame, 5, "[RX][16]<----")));
  Recorder none;
  DumpFrame(none, nullptr, 16, true);
  EXPECT_THAT(none.pieces, ElementsAreArray({"\n", "[TX][16]---->", "\n"}));
}

TEST(FormatMonitorText, FormatsLikePrintf) {
  EXPECT_EQ(FormatMonitorText("[%s] %d%% %02x\n", "CFG", 50, 0xA), "[CFG] 50% 0a\n");
  EXPECT_EQ(FormatMonitorText("%s", ""), "");
}

TEST(FormatMonitorText, CutsLongTextAt1023Characters) {
  const std::string longText(2000, 'x');
  const std::string text = FormatMonitorText("%s", longText.c_str());
  EXPECT_EQ(text, std::string(kMonitorTextLimit, 'x'));
}

TEST(FormatMonitorText, NeverSplitsAMultiByteCharacter) {
  // 1022 ASCII bytes then "é" (2 bytes): the character would straddle the limit.
  const std::string text =
      FormatMonitorText("%s%s", std::string(1022, 'a').c_str(), "\xC3\xA9tail");
  EXPECT_EQ(text, std::string(1022, 'a'));
  // 1020 bytes then a 3-byte character ends exactly at the limit: kept.
  const std::string fits =
      FormatMonitorText("%s%s", std::string(1020, 'a').c_str(), "\xE2\x80\xA6more");
  EXPECT_EQ(fits, std::string(1020, 'a') + "\xE2\x80\xA6");
}

TEST(CutMonitorText, LeavesShortTextAndCutsLongOne) {
  EXPECT_EQ(CutMonitorText("100%"), "100%");
  const std::string longText(2000, '%');
  EXPECT_EQ(CutMonitorText(longText).size(), kMonitorTextLimit);
  // Bytes that are not UTF-8 at all are cut plainly at the limit.
  const std::string binary(2000, '\x80');
  EXPECT_EQ(CutMonitorText(binary).size(), kMonitorTextLimit);
}

}  // namespace
}  // namespace kavonel
