// The family table of the three button operations, column by column and row by row.
#include <gtest/gtest.h>

#include "operations/operations.h"
#include "fake_reader.h"
#include "link/reader_requests.h"
#include "recording_view.h"

namespace kavonel::testing {
namespace {

using Operation = int (*)(MainView&, ComPort&, const ReaderSettings&);
using Texts = std::vector<std::string>;

enum Outcome { kPortFails, kNoAnswer, kStatusOk, kStatusBad };

struct FamilyCase {
  const char* name;
  Operation operation;
  FixedRequest request;
  Outcome outcome;
  Texts monitorAfterDump;  // monitor pieces after the dumps (all pieces for port failure)
  std::string statusLine;  // empty: none
  std::string reporter;
};

std::ostream& operator<<(std::ostream& out, const FamilyCase& c) {
  return out << c.name;
}

const char kOpen[] = "The Comport:- Open Failed\n";
const char kLink[] = "The Tool: Unable to Communicate with the device\n";

const FamilyCase kCases[] = {
    {"CheckPort",
     &CheckReaderConnection,
     kCheckConnectionRequest,
     kPortFails,
     {"\n", kOpen},
     "",
     ""},
    {"CheckLink",
     &CheckReaderConnection,
     kCheckConnectionRequest,
     kNoAnswer,
     {"\n", kLink},
     "",
     ""},
    {"CheckOk",
     &CheckReaderConnection,
     kCheckConnectionRequest,
     kStatusOk,
     {"\n", "The Device is On line\n"},
     "Device ON line",
     "Device ON line"},
    {"CheckBad",
     &CheckReaderConnection,
     kCheckConnectionRequest,
     kStatusBad,
     {"\nThe Device is OFF line\n"},
     "Device is OFF line",
     "Device is OFF line"},
    {"ResetPort",
     &ResetConfigurationToDefault,
     kResetToDefaultRequest,
     kPortFails,
     {kOpen},
     "",
     ""},
    {"ResetLink", &ResetConfigurationToDefault, kResetToDefaultRequest, kNoAnswer, {kLink}, "", ""},
    {"ResetOk",
     &ResetConfigurationToDefault,
     kResetToDefaultRequest,
     kStatusOk,
     {"\n", "\nThe device set to Default configuration successfully\n"},
     "Device Configuration, Success",
     "Device Configuration, Success"},
    {"ResetBad",
     &ResetConfigurationToDefault,
     kResetToDefaultRequest,
     kStatusBad,
     {"\nThe Default configuration fail\n"},
     "Device Configuration, Fail",
     "Device Configuration, Fail"},
    {"RebootPort", &RebootReader, kRebootRequest, kPortFails, {"\n", kOpen}, "", ""},
    {"RebootLink", &RebootReader, kRebootRequest, kNoAnswer, {"\n", kLink}, "", ""},
    {"RebootOk",
     &RebootReader,
     kRebootRequest,
     kStatusOk,
     {"\n", "The Device is rebooting...\n"},
     "Device Rebooting...",
     "Device Rebooting..."},
    {"RebootBad",
     &RebootReader,
     kRebootRequest,
     kStatusBad,
     {"\n", "The Device rebooting failed..\n"},
     "Device Rebooting..Failed",
     "Device Rebooting...Failed"},
};

class FamilyTableTest : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(FamilyTableTest, TextsAndButtonsFollowTheTable) {
  const FamilyCase& c = GetParam();
  RecordingView view;
  FakeReader reader;
  ReaderSettings settings;
  if (c.outcome == kPortFails) {
    settings.strComPort = "COM9";
    reader.line->openFailureReason = "/dev/ttyS8: no such device";
  }
  if (c.outcome == kStatusOk) reader.replies = {StatusReply(0)};
  if (c.outcome == kStatusBad) reader.replies = {StatusReply(3)};
  if (c.outcome == kNoAnswer) reader.replies = {std::nullopt};
  bool busyDuringStatus = false;
  view.onShowStatus = [&] {
    busyDuringStatus = reader.port.IsOpen() && view.Calls("enable").empty();
  };

  const int result = c.operation(view, reader.port, settings);

  EXPECT_EQ(result, c.outcome == kStatusOk ? 0 : c.outcome == kStatusBad ? 3 : -1);
  EXPECT_EQ(view.calls.front(), "disable");
  EXPECT_FALSE(reader.port.IsOpen());
  Texts monitor = view.Calls("monitor:");
  if (c.outcome == kPortFails) {
    EXPECT_EQ(monitor, c.monitorAfterDump);
    // The reason goes beside the monitor text, not into it.
    EXPECT_EQ(view.Calls("port-problem:"), Texts{"/dev/ttyS8: no such device"});
    EXPECT_EQ(view.calls.back(), "enable");
    return;
  }
  EXPECT_TRUE(view.Calls("port-problem:").empty());
  ASSERT_EQ(reader.requests.size(), 1u);
  Bytes expectedRequest(16);
  BuildFixedFrame(expectedRequest.data(), c.request.command, c.request.subCommand);
  EXPECT_EQ(reader.requests[0], expectedRequest);
  // The TX dump is 5 pieces for 16 bytes + 16 byte groups; the RX dump the same.
  const size_t dumpPieces = 4 + 16;
  const size_t dumps = c.outcome == kNoAnswer ? 1 : 2;
  ASSERT_EQ(monitor.size(), dumps * dumpPieces + c.monitorAfterDump.size());
  EXPECT_EQ(monitor[1], "[TX][16]---->");
  if (dumps == 2) {
    EXPECT_EQ(monitor[dumpPieces + 1], "[RX][16]<----");
  }
  EXPECT_EQ(Texts(monitor.end() - static_cast<long>(c.monitorAfterDump.size()), monitor.end()),
            c.monitorAfterDump);
  if (c.statusLine.empty()) {
    EXPECT_TRUE(view.Calls("line:").empty());
    EXPECT_TRUE(view.Calls("status:").empty());
    EXPECT_EQ(view.calls.back(), "enable");
  } else {
    EXPECT_EQ(view.Calls("line:"), Texts{c.statusLine});
    EXPECT_EQ(view.Calls("status:"), Texts{c.reporter});
    EXPECT_TRUE(busyDuringStatus);
    EXPECT_EQ(view.calls.back(), "enable");
  }
}

INSTANTIATE_TEST_SUITE_P(Family, FamilyTableTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonel::testing
