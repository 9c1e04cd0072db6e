// Reader detection per reader type, with the worker on its own thread and the reader
// on the in-memory line (its clock moves only when the line is waited on).
#include <gtest/gtest.h>

#include <thread>

#include "operations/operations.h"
#include "fake_reader.h"
#include "link/reader_requests.h"
#include "recording_view.h"

namespace kavonel::testing {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

constexpr DetectionTiming kFast{1ms, 1ms};
const char kFound[] = "Orvessa Reader Found!";
const char kNotFound[] = "Orvessa Reader Not Found!!!";

std::string WithNul(std::string text) {
  return text + std::string(1, '\0');
}

Bytes LarkVersion(const std::string& text, uint8_t status = 0) {
  // The version text begins 12 bytes into the data.
  return ResponseFrame(0x29, status, WithNul("............" + text), 41);
}
Bytes TernVersion(const std::string& text, uint8_t status = 0) {
  return ResponseFrame(0x09, status, WithNul(text), 70);
}

struct DetectionCase {
  const char* name;
  int readerType;
  std::optional<Bytes> reply;  // nullopt: the reader stays silent
  Texts shown;                 // version / monitor calls between the waiting dialog and its end
  bool answered;
  bool found;
};
std::ostream& operator<<(std::ostream& out, const DetectionCase& c) {
  return out << c.name;
}

const DetectionCase kCases[] = {
    {"Lark", 0, LarkVersion("LK-4.2.1"), {"version:LK-4.2.1"}, true, true},
    {"LarkBadStatus", 0, LarkVersion("LK-4.2.1", 2), {}, true, false},
    {"TernCompat",
     1,
     std::nullopt,
     {"monitor:\n", "monitor:Unable to Retrieve Version Info from device\n"},
     true,
     true},
    {"TernThreeFields", 2, TernVersion("A,B,FW1.2.3"), {"version:1.2.3"}, true, true},
    {"TernRepeatedCommas", 2, TernVersion(",,A,,B,,XY9"), {"version:9"}, true, true},
    {"TernTwoFields",
     2,
     TernVersion("A,B"),
     {"monitor:\n", "monitor:Unable to Retrieve Version Info from device\n"},
     true,
     true},
    {"TernShortThirdField", 2, TernVersion("A,B,X"), {"version:"}, true, true},
    {"TernStatus6", 2, TernVersion("A,B,FW1", 6), {}, true, false},
    {"HeronStatus0", 3, ResponseFrame(0x29, 0, "HR-7.0"), {"version:HR-7.0"}, true, true},
    {"HeronEmptyVersion", 3, ResponseFrame(0x29, 0, ""), {"version:"}, true, true},
    {"HeronStatus4", 3, ResponseFrame(0x29, 4), {}, true, false},
    {"SilentTern",
     2,
     std::nullopt,
     {"monitor:\n", "monitor:The Tool: Unable to Communicate with the device\n"},
     false,
     false},
    {"SilentHeron",
     3,
     std::nullopt,
     {"monitor:\n", "monitor:The Tool: Unable to Communicate with the device\n"},
     false,
     false},
};

class DetectionTableTest : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectionTableTest, ReportsAndEnablesAsTheTableSays) {
  const DetectionCase& c = GetParam();
  FakeReader reader;
  reader.replies = {c.reply};
  RecordingView view;
  view.liveReaderType = c.readerType;
  ReaderSettings settings;
  settings.nReaderType = c.readerType;
  ReaderDetection detection(view, reader.port, kFast);
  view.detection = &detection;

  detection.Start(settings, c.readerType);
  ASSERT_TRUE(view.PumpDetection());
  ASSERT_TRUE(detection.WaitForWorker(10s));

  Texts expected = {"wait"};
  expected.insert(expected.end(), c.shown.begin(), c.shown.end());
  expected.push_back("end-wait");
  if (c.answered) {
    expected.push_back("button:check");
    if (c.readerType != 0) expected.push_back("button:reboot");
    expected.push_back("button:reset");
    expected.push_back("button:run");
  }
  expected.push_back("button:settings");
  expected.push_back(std::string("line:") + (c.found ? kFound : kNotFound));
  expected.push_back(std::string("status:") + (c.found ? kFound : kNotFound));
  EXPECT_EQ(view.calls, expected);
  EXPECT_EQ(detection.ReaderAnswered(), c.answered);
  EXPECT_EQ(detection.ReaderFound(), c.found);
  EXPECT_FALSE(detection.CheckRunning());
  EXPECT_FALSE(reader.port.IsOpen());
  if (c.readerType == 1) {
    EXPECT_TRUE(reader.line->written.empty());  // only a purge
    EXPECT_GE(reader.line->purgeCount, 1);
  } else {
    ASSERT_EQ(reader.requests.size(), 1u);
    Bytes request(16);
    ASSERT_TRUE(BuildVersionRequest(c.readerType, request.data()));
    EXPECT_EQ(reader.requests[0], request);
  }
}

INSTANTIATE_TEST_SUITE_P(ReaderTypes, DetectionTableTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderDetectionTest, PortThatDoesNotOpenLeavesOnlySettings) {
  FakeReader reader;
  RecordingView view;
  ReaderSettings settings;
  settings.strComPort = "ttyNONE";
  reader.line->openFailureReason = "/dev/ttyNONE: no such device";
  ReaderDetection detection(view, reader.port, kFast);
  view.detection = &detection;
  detection.Start(settings, 2);
  ASSERT_TRUE(view.PumpDetection());
  EXPECT_EQ(view.calls, (Texts{"wait", "monitor:\n", "monitor:The Comport:- Open Failed\n",
                               "end-wait", "button:settings", std::string("line:") + kNotFound,
                               std::string("status:") + kNotFound,
                               "port-problem:/dev/ttyNONE: no such device"}));
  EXPECT_TRUE(detection.WaitForWorker(10s));
  // A later detection that reaches the port tells no old reason.
  reader.line->existingPaths.insert(DevicePathForPort("ttyNONE"));
  reader.replies = {std::nullopt};
  view.calls.clear();
  detection.Start(settings, 2);
  ASSERT_TRUE(view.PumpDetection());
  EXPECT_TRUE(view.Calls("port-problem:").empty());
  EXPECT_TRUE(detection.WaitForWorker(10s));
}

TEST(ReaderDetectionTest, LateStartNoticeIsStillOneDetection) {
  // The worker has finished before the first notice is handled: the state travels in
  // the notice, so the waiting dialog still opens once and the result shows once.
  FakeReader reader;
  reader.replies = {TernVersion("A,B,FW2.0")};
  RecordingView view;
  ReaderDetection detection(view, reader.port, kFast);
  view.detection = &detection;
  detection.Start(ReaderSettings{}, 2);
  ASSERT_TRUE(detection.WaitForWorker(10s));
  ASSERT_TRUE(view.PumpDetection());
  EXPECT_EQ(view.Calls("wait"), Texts{""});
  EXPECT_EQ(view.Calls("status:"), Texts{kFound});
  EXPECT_EQ(view.Calls("version:"), Texts{"2.0"});
}

TEST(ReaderDetectionTest, VersionIsReadWithTheLiveReaderType) {
  // Lark's text lies at byte 26; shown as HERON (byte 14) the same answer reads differently.
  FakeReader reader;
  reader.replies = {LarkVersion("LK-1")};
  RecordingView view;
  view.liveReaderType = 0;
  ReaderDetection detection(view, reader.port, kFast);
  view.detection = &detection;
  detection.Start(ReaderSettings{}, 0);
  ASSERT_TRUE(view.PumpDetection());
  EXPECT_EQ(view.Calls("version:"), Texts{"LK-1"});
  EXPECT_TRUE(detection.WaitForWorker(10s));
}

TEST(ReaderDetectionTest, SettingsConfirmedForgetsTheAnswer) {
  FakeReader reader;
  reader.replies = {TernVersion("A,B,FW2.0")};
  RecordingView view;
  ReaderDetection detection(view, reader.port, kFast);
  view.detection = &detection;
  detection.Start(ReaderSettings{}, 2);
  ASSERT_TRUE(view.PumpDetection());
  EXPECT_TRUE(detection.ReaderAnswered());
  detection.ClearReaderAnswered();
  EXPECT_FALSE(detection.ReaderAnswered());
  EXPECT_TRUE(detection.WaitForWorker(10s));
}

TEST(ReaderDetectionTest, PortIsFreeWhenTheEndIsAnnounced) {
  // The window enables the buttons on the end notice; the next operation must be able
  // to open the port at once.
  FakeReader reader;
  reader.replies = {TernVersion("A,B,FW2.0"), StatusReply(0)};
  RecordingView view;
  ReaderDetection detection(view, reader.port, kFast);
  view.detection = &detection;
  int status = -2;
  view.onShowStatus = [&] {
    if (status == -2) status = CheckReaderConnection(view, reader.port, ReaderSettings{});
  };
  detection.Start(ReaderSettings{}, 2);
  ASSERT_TRUE(view.PumpDetection());
  EXPECT_TRUE(detection.WaitForWorker(10s));
  EXPECT_EQ(status, 0);
}

TEST(ReaderDetectionTest, DetachedViewGetsNothingMore) {
  FakeReader reader;
  reader.replies = {TernVersion("A,B,FW2.0")};
  RecordingView view;
  view.pumpTimeout = 50ms;
  ReaderDetection detection(view, reader.port, DetectionTiming{20ms, 1ms});
  view.detection = &detection;
  detection.Start(ReaderSettings{}, 2);
  detection.DetachView();
  ASSERT_TRUE(detection.WaitForWorker(10s));
  EXPECT_FALSE(view.PumpDetection());
  EXPECT_TRUE(view.calls.empty());
  EXPECT_FALSE(reader.port.IsOpen());
}

TEST(ReaderDetectionTest, ViewAndDetectionMayGoWhileTheWorkerRuns) {
  // As at program exit: the worker outlives the window and must not touch it. The port
  // is the process-wide kind, outliving both.
  // Never destroyed, like the program's one port: the worker may still use it when
  // the tests end.
  static FakeReader& reader = *new FakeReader;
  reader.replies = {TernVersion("A,B,FW2.0")};
  {
    auto view = std::make_unique<RecordingView>();
    auto detection =
        std::make_unique<ReaderDetection>(*view, reader.port, DetectionTiming{20ms, 20ms});
    view->detection = detection.get();
    detection->Start(ReaderSettings{}, 2);
  }
  // Give the worker time to run into the gone view, were it to reach it (the
  // sanitizer builds would report the access).
  std::this_thread::sleep_for(300ms);
}

}  // namespace
}  // namespace kavonel::testing
