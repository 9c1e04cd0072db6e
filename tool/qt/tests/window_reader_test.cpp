// The window with the real reader detection against reader-sim on a pseudo-terminal:
// the waiting dialog, the report and the button rules as the operator sees them.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>

#include "link/com_port.h"
#include "qt/configuration_applet.h"
#include "qt/tarrow_dlg.h"
#include "qt/testing/qt_testing.h"
#include "sim/sim_process.h"

namespace kavonel {
namespace {

using kavonel::testing::TestApplication;
using kavonel::testing::WhenModalNamed;

// The program's own waiting dialog and status reporter; the settings answer OK.
struct ProgramModals : WindowDialogs {
  std::unique_ptr<WindowDialogs> real = MakeProgramDialogs();
  int waits = 0;
  bool EditSettings() override { return true; }
  void ShowStatus(std::string_view text) override { real->ShowStatus(text); }
  void ShowWaitDialog() override {
    ++waits;
    real->ShowWaitDialog();
  }
  void EndWaitDialog() override { real->EndWaitDialog(); }
  void ShowAbout(QWidget* parent) override { real->ShowAbout(parent); }
  ScriptChoice ChooseScriptFile(QWidget* parent) override { return real->ChooseScriptFile(parent); }
};

struct Outcome {
  QString report;
  bool waitShownAtReport = true;
  int waits = 0;
  QString firmware;
  QString monitor;
  std::vector<bool> enabled;
};

Outcome RunStartUp(ComPort& port, const std::string& portName, int readerType) {
  TestApplication();
  g_settingsDialog.m_settings = ReaderSettings{};
  g_settingsDialog.m_settings.strComPort = portName;
  g_settingsDialog.m_settings.nReaderType = readerType;
  auto modals = std::make_unique<ProgramModals>();
  ProgramModals* seen = modals.get();
  WindowOptions options;
  options.dialogs = std::move(modals);
  options.logFilePath = "/dev/null";
  options.port = &port;
  Outcome outcome;
  bool reported = false;
  {
    CTarrowDlg window(std::move(options));
    WhenModalNamed(
        "CStatusUpdate",
        [&](QWidget* reporter) {
          outcome.report = reporter->findChild<QLabel*>("statusText")->text();
          outcome.waitShownAtReport = false;
          for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "CWaitDialog" && w->isVisible())
              outcome.waitShownAtReport = true;
          }
          reported = true;
          static_cast<QDialog*>(reporter)->accept();
        },
        4000);
    EXPECT_TRUE(window.OnInitDialog());
    EXPECT_TRUE(QTest::qWaitFor([&reported] { return reported; }, 20000));
    EXPECT_TRUE(window.Detection().WaitForWorker(std::chrono::seconds(5)));
    QCoreApplication::processEvents();
    outcome.waits = seen->waits;
    outcome.firmware = window.findChild<QLabel*>("firmwareVersionField")->text();
    outcome.monitor = window.Monitor()->toPlainText();
    for (auto b : {MainView::kCheckConnection, MainView::kResetToDefault, MainView::kRebootReader,
                   MainView::kRunScript, MainView::kSettings}) {
      outcome.enabled.push_back(window.ButtonFor(b)->isEnabled());
    }
  }
  return outcome;
}

TEST(WindowWithReader, DetectionFindsTheReaderAndEnablesTheButtons) {
  SimProcess sim({"--type", "2", "--instant"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ComPort port;
  const Outcome outcome = RunStartUp(port, sim.Path(), 2);
  EXPECT_EQ(outcome.report, "Orvessa Reader Found!");
  EXPECT_EQ(outcome.waits, 1);
  EXPECT_FALSE(outcome.waitShownAtReport);  // ended before the report
  EXPECT_FALSE(outcome.firmware.isEmpty());
  EXPECT_EQ(outcome.enabled, (std::vector<bool>{true, true, true, true, true}));
}

TEST(WindowWithReader, LarkNeverGetsRebootAfterDetection) {
  SimProcess sim({"--type", "0", "--instant"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ComPort port;
  const Outcome outcome = RunStartUp(port, sim.Path(), 0);
  EXPECT_EQ(outcome.report, "Orvessa Reader Found!");
  EXPECT_EQ(outcome.enabled, (std::vector<bool>{true, true, false, true, true}));
}

TEST(WindowWithReader, NoReaderLeavesOnlySettings) {
  ComPort port;
  const Outcome outcome = RunStartUp(port, "/nonexistent/kavonel-reader", 2);
  EXPECT_EQ(outcome.report, "Orvessa Reader Not Found!!!");
  EXPECT_TRUE(outcome.firmware.isEmpty());
  EXPECT_FALSE(outcome.monitor.isEmpty());
  EXPECT_EQ(outcome.enabled, (std::vector<bool>{false, false, false, false, true}));
}

TEST(WindowWithReader, FocusComesBackToTheButtonAfterItsOperation) {
  SimProcess sim({"--type", "2", "--instant"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ComPort port;
  TestApplication();
  g_settingsDialog.m_settings = ReaderSettings{};
  g_settingsDialog.m_settings.strComPort = sim.Path();
  WindowOptions options;
  options.dialogs = std::make_unique<ProgramModals>();
  options.logFilePath = "/dev/null";
  options.port = &port;
  CTarrowDlg window(std::move(options));
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QStringList reports;
  const auto closeReport = [&reports](QWidget* reporter) {
    reports << reporter->findChild<QLabel*>("statusText")->text();
    static_cast<QDialog*>(reporter)->accept();
  };
  WhenModalNamed("CStatusUpdate", closeReport, 4000);
  ASSERT_TRUE(window.OnInitDialog());
  ASSERT_TRUE(QTest::qWaitFor([&reports] { return !reports.isEmpty(); }, 20000));
  ASSERT_TRUE(window.Detection().WaitForWorker(std::chrono::seconds(5)));

  // Reset by its key, then the real status reporter closed by the operator.
  QPushButton* reset = window.ButtonFor(MainView::kResetToDefault);
  ASSERT_TRUE(QTest::qWaitFor([reset] { return reset->isEnabled(); }, 5000));
  reset->setFocus();
  WhenModalNamed("CStatusUpdate", closeReport, 4000);
  QTest::keyClick(reset, Qt::Key_Space);
  ASSERT_TRUE(QTest::qWaitFor([&reports] { return reports.size() == 2; }, 20000));
  EXPECT_EQ(reports.back(), "Device Configuration, Success");
  // The window is active again once the reporter has gone (the offscreen platform
  // leaves that to the caller).
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget(), reset);
}

}  // namespace
}  // namespace kavonel
