// The window and kavonel-cli run the same operations against the same reader-sim: the
// window's command monitor must hold, byte for byte, what kavonel-cli writes to its
// standard output, and its status reporter the texts kavonel-cli writes to standard
// error. The window runs offscreen; its file choice and dialogs are answered here.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "e2e_support.h"
#include "link/com_port.h"
#include "link/serial_device.h"
#include "qt/configuration_applet.h"
#include "qt/tarrow_dlg.h"
#include "qt/testing/qt_testing.h"
#include "sim/sim_process.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// A path of this test's own: CTest runs the tests of this program in parallel processes.
std::string UniqueTempPath(const std::string& name) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string prefix = std::string(test->test_suite_name()) + "." + test->name() + ".";
  std::replace(prefix.begin(), prefix.end(), '/', '_');
  return (fs::path(::testing::TempDir()) / (prefix + name)).string();
}

// The window's modal pieces, answered without a screen; the waiting dialog is a nested
// event loop, as a real modal dialog would run.
class AnsweringDialogs final : public WindowDialogs {
 public:
  AnsweringDialogs(std::string script, std::vector<std::string>& statuses, bool cancel = false,
                   std::vector<std::string>* portProblems = nullptr)
      : script_(std::move(script)),
        statuses_(statuses),
        cancel_(cancel),
        portProblems_(portProblems) {}
  bool EditSettings() override { return true; }
  void ShowStatus(std::string_view text) override { statuses_.emplace_back(text); }
  void ShowWaitDialog() override {
    QEventLoop loop;
    waitLoop_ = &loop;
    loop.exec();
    waitLoop_ = nullptr;
  }
  void EndWaitDialog() override {
    if (waitLoop_ != nullptr) waitLoop_->quit();
  }
  void ShowAbout(QWidget*) override {}
  ScriptChoice ChooseScriptFile(QWidget*) override {
    if (cancel_) return {ScriptChoice::kCancelled, ""};
    return {ScriptChoice::kChosen, script_};
  }
  void ShowPortProblem(QWidget*, std::string_view reason) override {
    if (portProblems_ != nullptr) portProblems_->emplace_back(reason);
  }

 private:
  std::string script_;
  std::vector<std::string>& statuses_;
  bool cancel_;
  std::vector<std::string>* portProblems_;
  QEventLoop* waitLoop_ = nullptr;
};

struct WindowRun {
  std::string monitor;
  std::vector<std::string> statuses;
  std::vector<std::string> portProblems;
};

enum class Operation { kRun, kCheck, kReset, kReboot, kDetect };

// One operation through the window against the reader at port.
WindowRun RunInWindow(Operation operation, const std::string& port, int readerType,
                      const std::string& script, int timeoutMs) {
  TestApplication();
  WindowRun result;
  g_settingsDialog.m_settings = ReaderSettings{port, readerType, 115200, false};
  ComTimeouts timeouts;
  timeouts.firstHeadByte = timeouts.fixedByte = std::chrono::milliseconds(timeoutMs);
  ComPort comPort(MakePlatformSerialDevice(), std::make_shared<SteadyClock>(), timeouts);
  WindowOptions options;
  options.dialogs =
      std::make_unique<AnsweringDialogs>(script, result.statuses, false, &result.portProblems);
  options.port = &comPort;
  options.logFilePath = UniqueTempPath("window.log");
  if (operation != Operation::kDetect) options.startDetection = [](const ReaderSettings&, int) {};
  {
    CTarrowDlg window(std::move(options));
    EXPECT_TRUE(window.OnInitDialog());
    switch (operation) {
      case Operation::kRun:
        window.OnRunScript();
        break;
      case Operation::kCheck:
        window.OnCheckConnection();
        break;
      case Operation::kReset:
        window.OnResetToDefault();
        break;
      case Operation::kReboot:
        window.OnRebootReader();
        break;
      case Operation::kDetect: {
        // Until the detection's result is reported (bounded, so a fault fails the test).
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
          if (!result.statuses.empty()) loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_TRUE(window.Detection().WaitForWorker(std::chrono::seconds(20)));
        break;
      }
    }
    result.monitor = window.Monitor()->toPlainText().toStdString();
  }
  return result;
}

// kavonel-cli's standard error, less the version line that the window shows in a field
// and the port's trouble that it shows in a message of its own.
std::string ReporterText(const std::string& err) {
  std::string text;
  size_t start = 0;
  for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = err.substr(start, end - start + 1);
    if (!line.starts_with("Firmware Version: ") && !line.starts_with("kavonel-cli: ")) {
      text += line;
    }
  }
  return text;
}

// The port's trouble as kavonel-cli writes it: its own lines, after the status texts.
std::string PortProblemLines(const std::string& err) {
  const size_t at = err.find("kavonel-cli: ");
  return at == std::string::npos ? std::string() : err.substr(at);
}

// What the window's reporter showed, one text after the other, as kavonel-cli writes them.
std::string Joined(const std::vector<std::string>& statuses) {
  std::string text;
  for (const std::string& status : statuses) text += status + "\n";
  return text;
}

struct SameRunCase {
  const char* name;
  Operation operation;
  Args sim;
  int readerType;
  int timeoutMs;
  const char* scriptText = nullptr;  // null: the sample reader-setup.txt
  bool portMissing = false;          // a port that does not open
};
std::ostream& operator<<(std::ostream& o, const SameRunCase& c) {
  return o << c.name;
}

const char* CliCommand(Operation operation) {
  switch (operation) {
    case Operation::kRun:
      return "run";
    case Operation::kCheck:
      return "check";
    case Operation::kReset:
      return "reset";
    case Operation::kReboot:
      return "reboot";
    case Operation::kDetect:
      return "detect";
  }
  return "";
}

const SameRunCase kCases[] = {
    {"RunCompleted", Operation::kRun, {}, 2, 2000},
    {"RunBadStatus", Operation::kRun, {"--status", "04:03=05@2"}, 2, 2000},
    {"RunLinkFailure", Operation::kRun, {"--hang-up-after", "3"}, 2, 2000},
    {"RunSilent", Operation::kRun, {"--silent"}, 2, 100},
    {"CheckOk", Operation::kCheck, {}, 2, 2000},
    {"ResetBad", Operation::kReset, {"--status", "04:09=07"}, 2, 2000},
    {"RebootBad", Operation::kReboot, {"--status", "77:05=0A"}, 3, 2000},
    {"DetectLark", Operation::kDetect, {"--type", "0"}, 0, 2000},
    {"DetectTernCompat", Operation::kDetect, {"--type", "1"}, 1, 2000},
    {"DetectTernNoVersion", Operation::kDetect, {"--version-text", "Tern,SN1"}, 2, 2000},
    {"DetectHeron", Operation::kDetect, {"--type", "3"}, 3, 2000},
    {"DetectSilent", Operation::kDetect, {"--silent"}, 2, 100},
    {"RunScriptError", Operation::kRun, {}, 2, 2000, "; bad\npollmode set 01 end\ngroup add\n"},
    {"RunPortMissing", Operation::kRun, {}, 2, 2000, nullptr, true},
    {"DetectPortMissing", Operation::kDetect, {}, 2, 2000, nullptr, true},
    {"CheckPortMissing", Operation::kCheck, {}, 2, 2000, nullptr, true},
};

class WindowVersusCliTest : public ::testing::TestWithParam<SameRunCase> {};

TEST_P(WindowVersusCliTest, MonitorIsTheCliOutput) {
  const SameRunCase& c = GetParam();
  std::string script = (fs::path(KAVONEL_SOURCE_DIR) / "examples/reader-setup.txt").string();
  if (c.scriptText != nullptr) {
    script = UniqueTempPath("script.txt");
    std::ofstream(script) << c.scriptText;
  }
  const std::string missing = "/dev/kavonel-no-such-port";

  SimProcess cliSim(c.sim);
  ASSERT_TRUE(cliSim.Started()) << cliSim.Error();
  Args args = {CliCommand(c.operation),
               "--port",
               c.portMissing ? missing : cliSim.Path(),
               "--type",
               std::to_string(c.readerType),
               "--baud",
               "115200",
               "--timeout",
               std::to_string(c.timeoutMs)};
  if (c.operation == Operation::kRun) args.push_back(script);
  const ProcessResult cli = RunProcess(KAVONEL_CLI_PATH, args);

  SimProcess windowSim(c.sim);  // a fresh reader: status rules count from the start
  ASSERT_TRUE(windowSim.Started()) << windowSim.Error();
  const WindowRun window = RunInWindow(c.operation, c.portMissing ? missing : windowSim.Path(),
                                       c.readerType, script, c.timeoutMs);

  EXPECT_FALSE(cli.out.empty() && c.operation != Operation::kDetect);
  EXPECT_EQ(window.monitor, cli.out);
  EXPECT_EQ(Joined(window.statuses), ReporterText(cli.err));
  std::string windowProblems;
  for (const std::string& reason : window.portProblems) {
    windowProblems += "kavonel-cli: " + reason + "\n";
  }
  EXPECT_EQ(windowProblems, PortProblemLines(cli.err));
  EXPECT_EQ(window.portProblems.size(), c.portMissing ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(SameRuns, WindowVersusCliTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WindowRunTest, CancelledChoiceLeavesNothingBehind) {
  TestApplication();
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  g_settingsDialog.m_settings = ReaderSettings{sim.Path(), 2, 115200, false};
  std::vector<std::string> statuses;
  WindowOptions options;
  options.dialogs = std::make_unique<AnsweringDialogs>("", statuses, /*cancel=*/true);
  options.logFilePath = UniqueTempPath("window.log");
  options.startDetection = [](const ReaderSettings&, int) {};
  CTarrowDlg window(std::move(options));
  ASSERT_TRUE(window.OnInitDialog());
  window.AppendMonitorText("before the run\n");
  window.OnRunScript();
  EXPECT_EQ(window.Monitor()->toPlainText().toStdString(), "");
  EXPECT_TRUE(statuses.empty());
  EXPECT_TRUE(window.ButtonFor(MainView::kRunScript)->isEnabled());
  EXPECT_TRUE(window.ButtonFor(MainView::kRebootReader)->isEnabled());
  EXPECT_TRUE(window.ButtonFor(MainView::kSettings)->isEnabled());
}

}  // namespace
}  // namespace kavonel::testing
