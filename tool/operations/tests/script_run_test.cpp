// The script run against a scripted decoder and a reader on the in-memory line: the
// trace, the verdict and the wrap-up of every row of the failure table.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "operations/operation_texts.h"
#include "operations/operations.h"
#include "expected_dump.h"
#include "fake_reader.h"
#include "recording_view.h"

namespace kavonel::testing {
namespace {

// The decoder's exports are plain functions, so the scripted decoder lives in one place.
struct ScriptedDecoder {
  uint32_t loadResult = 0, detailCode = 0, errorLine = 0;
  std::vector<Bytes> records;
  size_t cursor = 0;
  size_t failAt = SIZE_MAX;  // GetNextConfigCommand of this record answers failCode
  uint32_t failCode = 0;
  int loads = 0;
  std::string path;
  uint32_t deviceType = 99;
  std::vector<uint32_t> capacities;
};
ScriptedDecoder g_decoder;

uint32_t ScriptedLoad(const char* path, uint32_t deviceType, uint32_t* count, uint32_t* maxSize,
                      uint32_t* total, uint32_t* detail, uint32_t* line) {
  ++g_decoder.loads;
  g_decoder.path = path;
  g_decoder.deviceType = deviceType;
  *detail = g_decoder.detailCode;
  *line = g_decoder.errorLine;
  if (g_decoder.loadResult != 0) return g_decoder.loadResult;
  *count = static_cast<uint32_t>(g_decoder.records.size());
  *maxSize = 4;
  *total = 0;
  for (const Bytes& r : g_decoder.records) {
    *maxSize = std::max<uint32_t>(*maxSize, r.size());
    *total += r.size();
  }
  g_decoder.cursor = 0;
  return 0;
}

uint32_t ScriptedNext(uint8_t* destination, uint32_t* capacity) {
  g_decoder.capacities.push_back(*capacity);
  if (g_decoder.cursor == g_decoder.failAt) return g_decoder.failCode;
  if (g_decoder.cursor >= g_decoder.records.size()) return 0x20000008;
  const Bytes& record = g_decoder.records[g_decoder.cursor];
  if (record.size() > *capacity) return 0x20000002;
  std::memcpy(destination, record.data(), record.size());
  *capacity = static_cast<uint32_t>(record.size());
  ++g_decoder.cursor;
  return 0;
}

Bytes Record(uint8_t command, uint8_t subCommand, Bytes data = {}) {
  data.insert(data.begin(), {command, subCommand, static_cast<uint8_t>(data.size() >> 8),
                             static_cast<uint8_t>(data.size() & 0xFF)});
  return data;
}

std::string Dump(const Bytes& frame, bool tx) {
  return kavonel::testing::ExpectedDump(frame, tx);
}

class ScriptRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_decoder = ScriptedDecoder{};
    view.choice = {ScriptChoice::kChosen, "/scripts/sub/a.txt"};
  }
  RunVerdict Run() {
    return RunConfigurationScript(view, reader.port, settings, {&ScriptedLoad, &ScriptedNext});
  }
  // Everything after the decode: what the last calls were.
  std::vector<std::string> TailCalls(size_t n) const {
    return {view.calls.end() - static_cast<long>(n), view.calls.end()};
  }

  RecordingView view;
  FakeReader reader;
  ReaderSettings settings;
};

TEST_F(ScriptRunTest, CancelledChoiceShowsNothingAndOpensNoPort) {
  view.choice = {ScriptChoice::kCancelled, ""};
  EXPECT_EQ(Run(), VERDICT_NONE);
  EXPECT_EQ(view.calls, (std::vector<std::string>{"disable", "clear", "choose", "enable"}));
  EXPECT_EQ(reader.line->openCount, 0);
  EXPECT_EQ(g_decoder.loads, 0);
}

TEST_F(ScriptRunTest, FailedChoiceIsAScriptError) {
  view.choice = {ScriptChoice::kFailed, ""};
  EXPECT_EQ(Run(), VERDICT_SCRIPT_ERROR);
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{"disable", "clear", "choose", "monitor:File error occured\n",
                                      "enable", "line:Error in Script. Processing Aborted.",
                                      "status:Error in Script. Processing Aborted."}));
  EXPECT_EQ(reader.line->openCount, 0);
}

TEST_F(ScriptRunTest, PortThatDoesNotOpenReadsNoScript) {
  settings.strComPort = "COM7";  // /dev/ttyS6 does not exist on the line
  reader.line->openFailureReason = "/dev/ttyS6: no such device";
  EXPECT_EQ(Run(), VERDICT_COMM_ERROR);
  EXPECT_EQ(g_decoder.loads, 0);
  // The reason comes after the verdict and stays out of the monitor text.
  EXPECT_EQ(view.calls,
            (std::vector<std::string>{
                "disable", "clear", "choose", "monitor:The Comport:- Open Failed\n", "enable",
                "line:Device Communication Error..", "status:Device Communication Error..",
                "port-problem:/dev/ttyS6: no such device"}));
}

TEST_F(ScriptRunTest, NameThatIsNoPortSaysSo) {
  settings.strComPort = "COM0";
  EXPECT_EQ(Run(), VERDICT_COMM_ERROR);
  EXPECT_EQ(view.Calls("port-problem:"), std::vector<std::string>{"not a port name: COM0"});
}

TEST_F(ScriptRunTest, TwoCommandRunTracesEveryFrame) {
  g_decoder.records = {Record(0x01, 0x01, {0xAA}), Record(0x04, 0x00)};
  reader.replies = {StatusReply(0), StatusReply(0)};
  settings.nReaderType = 3;
  EXPECT_EQ(Run(), VERDICT_COMPLETED);
  EXPECT_EQ(g_decoder.path, "/scripts/sub/a.txt");
  EXPECT_EQ(g_decoder.deviceType, 3u);
  ASSERT_EQ(reader.requests.size(), 2u);
  std::string expected = "\n\n[CFG Decoder] a.txt:- Script decoded successfully\n";
  expected += "\n\n\nSet Poll Mode\n" + Dump(reader.requests[0], true) +
              Dump(StatusReply(0), false) + "Result:OK\n";
  expected += "\n\n\nSet Configuration\n" + Dump(reader.requests[1], true) +
              Dump(StatusReply(0), false) + "Result:OK\n";
  EXPECT_EQ(view.monitor, expected);
  // The frame is the record behind the long header, with its CRC low byte first.
  const Bytes& first = reader.requests[0];
  ASSERT_EQ(first.size(), 17u);
  EXPECT_EQ(std::string(first.begin(), first.begin() + 10), std::string("Zandrell2\0", 10));
  EXPECT_EQ(Bytes(first.begin() + 10, first.begin() + 15), Record(0x01, 0x01, {0xAA}));
  const uint16_t crc = FrameCrc(first.data(), 15);
  EXPECT_EQ(first[15], crc & 0xFF);
  EXPECT_EQ(first[16], crc >> 8);
  EXPECT_EQ(TailCalls(3),
            (std::vector<std::string>{"enable", "line:Configuration Script run, Completed",
                                      "status:Configuration Script run, Completed"}));
  EXPECT_FALSE(reader.port.IsOpen());
}

TEST_F(ScriptRunTest, DecoderIsOfferedTheFreeRoomOfTheFrameBuffer) {
  g_decoder.records = {Record(0x01, 0x01), Record(0x01, 0x03)};
  reader.replies = {StatusReply(0), StatusReply(0)};
  Run();
  EXPECT_EQ(g_decoder.capacities, (std::vector<uint32_t>{4084, 4084}));
}

TEST_F(ScriptRunTest, RecordTooLongForTheFrameEndsAsScriptError) {
  g_decoder.records = {Record(0x04, 0x00, Bytes(4081, 0x11))};  // 4085 bytes
  EXPECT_EQ(Run(), VERDICT_SCRIPT_ERROR);
  EXPECT_TRUE(reader.requests.empty());
  EXPECT_NE(view.monitor.find("[CFG Decoder]Not enough memory.\n"), std::string::npos);
}

TEST_F(ScriptRunTest, EmptyScriptCompletesWithoutSending) {
  EXPECT_EQ(Run(), VERDICT_COMPLETED);
  EXPECT_EQ(view.monitor, "\n\n[CFG Decoder] a.txt:- Script decoded successfully\n");
  EXPECT_EQ(reader.line->openCount, 1);
  EXPECT_EQ(reader.line->closeCount, 1);
  EXPECT_TRUE(reader.line->written.empty());
}

TEST_F(ScriptRunTest, LoadFailureNamesTheFile) {
  g_decoder.loadResult = 0x20000005;
  EXPECT_EQ(Run(), VERDICT_SCRIPT_ERROR);
  EXPECT_EQ(view.monitor, "\n\n[CFG Decoder]a.txt:- File open error\n\n");
  EXPECT_FALSE(reader.port.IsOpen());
}

TEST_F(ScriptRunTest, FormatErrorReportsItsLineAfterTheButtonsComeBack) {
  g_decoder.loadResult = 0x20000007;
  g_decoder.detailCode = 0x20000010;
  g_decoder.errorLine = 7;
  EXPECT_EQ(Run(), VERDICT_SCRIPT_ERROR);
  EXPECT_EQ(TailCalls(8),
            (std::vector<std::string>{
                "line:Configuration Script is running..", "monitor:\n", "monitor:\n",
                "monitor:[CFG Decoder]a.txt:- Script Format error\n\n", "enable",
                "monitor:\n[CFG Decoder]Command format error found in script line 7\n\n",
                "line:Error in Script. Processing Aborted.",
                "status:Error in Script. Processing Aborted."}));
}

TEST_F(ScriptRunTest, FormatErrorWithoutDetailShowsTheSuccessText) {
  g_decoder.loadResult = 0x20000007;
  EXPECT_EQ(Run(), VERDICT_SCRIPT_ERROR);
  EXPECT_NE(view.monitor.find("\n[CFG Decoder]Completed successfully\n line 0\n\n"),
            std::string::npos);
}

TEST_F(ScriptRunTest, HandOutFailureStopsTheRun) {
  g_decoder.records = {Record(0x01, 0x01), Record(0x01, 0x03), Record(0x01, 0x05)};
  g_decoder.failAt = 1;
  g_decoder.failCode = 0x20000008;
  reader.replies = {StatusReply(0), StatusReply(0)};
  EXPECT_EQ(Run(), VERDICT_SCRIPT_ERROR);
  EXPECT_EQ(reader.requests.size(), 1u);
  EXPECT_EQ(view.Calls("monitor:").back(),
            "[CFG Decoder]All the commands in the buffer processed\n\n");
}

TEST_F(ScriptRunTest, UnnamedRecordIsSentUnderAPlaceholder) {
  g_decoder.records = {Record(0x99, 0x42)};
  reader.replies = {StatusReply(0)};
  EXPECT_EQ(Run(), VERDICT_COMPLETED);
  EXPECT_EQ(reader.requests.size(), 1u);
  EXPECT_NE(view.monitor.find("\n\n\nCommand 99 42\n"), std::string::npos);
}

struct StatusCase {
  uint8_t status;
  const char* text;
};
class ScriptRunStatusTest : public ScriptRunTest,
                            public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ScriptRunStatusTest, BadStatusIsReportedAndTheRunGoesOn) {
  g_decoder.records = {Record(0x01, 0x01), Record(0x01, 0x03)};
  reader.replies = {StatusReply(GetParam().status), StatusReply(0)};
  EXPECT_EQ(Run(), VERDICT_NOT_ALL_CONFIGURED);
  EXPECT_EQ(reader.requests.size(), 2u);
  const std::vector<std::string> results = [&] {
    std::vector<std::string> r;
    for (const std::string& piece : view.Calls("monitor:")) {
      if (piece.starts_with("Result:")) r.push_back(piece);
    }
    return r;
  }();
  EXPECT_EQ(results, (std::vector<std::string>{std::string("Result:") + GetParam().text + "\n",
                                               "Result:OK\n"}));
  EXPECT_EQ(TailCalls(2), (std::vector<std::string>{
                              "line:Reader not configured 100%.",
                              "status:Script OK.\nReader not configured 100%.\nSome commands "
                              "returned error statuses."}));
}

INSTANTIATE_TEST_SUITE_P(Statuses, ScriptRunStatusTest,
                         ::testing::Values(StatusCase{5, "Incorrect Parameter"},
                                           StatusCase{8, "Timeout "}, StatusCase{9, "Failed"},
                                           StatusCase{10, "Failed"}, StatusCase{0xFF, "Failed"}));

TEST_F(ScriptRunTest, LinkFailureAtTheThirdOfFiveCommandsReplacesABadStatus) {
  for (int i = 0; i < 5; ++i) g_decoder.records.push_back(Record(0x04, 0x02, {uint8_t(i)}));
  reader.replies = {StatusReply(5), StatusReply(0), std::nullopt};
  EXPECT_EQ(Run(), VERDICT_COMM_ERROR);
  EXPECT_EQ(reader.requests.size(), 3u);  // four and five are never sent
  EXPECT_EQ(TailCalls(5),
            (std::vector<std::string>{
                "monitor:\n", "monitor:The Tool: Unable to Communicate with the device\n", "enable",
                "line:Device Communication Error..", "status:Device Communication Error.."}));
}

TEST_F(ScriptRunTest, ShortAnswerIsALinkFailure) {
  g_decoder.records = {Record(0x01, 0x01)};
  Bytes partial = StatusReply(0);
  partial.resize(10);
  reader.replies = {partial};
  EXPECT_EQ(Run(), VERDICT_COMM_ERROR);
  EXPECT_EQ(view.Calls("monitor:").back(), "The Tool: Unable to Communicate with the device\n");
}

TEST_F(ScriptRunTest, PortStaysOpenUntilTheVerdictIsClosed) {
  g_decoder.records = {Record(0x01, 0x01)};
  reader.replies = {StatusReply(0)};
  bool openDuringStatus = false;
  view.onShowStatus = [&] { openDuringStatus = reader.port.IsOpen(); };
  Run();
  EXPECT_TRUE(openDuringStatus);
  EXPECT_FALSE(reader.port.IsOpen());
}

TEST(RunVerdictTexts, EveryVerdictHasItsTexts) {
  EXPECT_EQ(RunVerdictStatusLineText(VERDICT_NONE), nullptr);
  RecordingView view;
  ShowRunVerdict(view, VERDICT_NONE);
  EXPECT_TRUE(view.calls.empty());
  EXPECT_STREQ(DecoderResultText(0x20000001), "Failed due to unspecified error.\n");
  EXPECT_STREQ(DecoderResultText(0x2000000A), "Failed due to unspecified error.\n");
  EXPECT_STREQ(DecoderResultText(0x20000012), "Value cannot convert to Hex in script");
}

}  // namespace
}  // namespace kavonel::testing
