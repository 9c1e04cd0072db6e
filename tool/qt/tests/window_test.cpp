// The main window headless: start-up, settings, button rules, the posted events, the
// monitor and its log file. The modal pieces are a fake that records what was asked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "qt/configuration_applet.h"
#include "qt/dialog_look.h"
#include "qt/tarrow_dlg.h"
#include "qt/testing/qt_testing.h"
#include "resources/dialog_templates.h"

namespace kavonel {
namespace {
namespace fs = std::filesystem;

using kavonel::testing::TestApplication;
using kavonel::testing::WhenModalShown;
using ::testing::ElementsAre;

struct FakeDialogs : WindowDialogs {
  std::vector<std::string> calls;
  // Each showing of the settings dialog takes the next answer; it may change the live
  // settings first, as the operator would.
  std::vector<std::function<bool(ReaderSettings&)>> settingsAnswers;
  bool EditSettings() override {
    calls.push_back("settings");
    if (settingsAnswers.empty()) return false;
    auto answer = settingsAnswers.front();
    settingsAnswers.erase(settingsAnswers.begin());
    return answer(g_settingsDialog.m_settings);
  }
  void ShowStatus(std::string_view text) override {
    calls.push_back("status:" + std::string(text));
  }
  void ShowWaitDialog() override { calls.push_back("wait"); }
  void EndWaitDialog() override { calls.push_back("end wait"); }
  void ShowAbout(QWidget*) override { calls.push_back("about"); }
  ScriptChoice ChooseScriptFile(QWidget*) override {
    calls.push_back("choose");
    return {};
  }
  // The port problem goes to the program's own box, and its comings and goings are
  // noted apart, in order.
  std::vector<std::string> portProblems;
  std::unique_ptr<WindowDialogs> program = MakeProgramDialogs();
  void ShowPortProblem(QWidget* parent, std::string_view reason) override {
    portProblems.push_back("show");
    program->ShowPortProblem(parent, reason);
  }
  void ClosePortProblem() override {
    portProblems.push_back("close");
    program->ClosePortProblem();
  }
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    g_settingsDialog.m_settings = ReaderSettings{};
    dir_ = fs::temp_directory_path() /
           ("kavonel-window-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    logPath_ = dir_ / "Pellorin.log";
  }
  void TearDown() override {
    window_.reset();
    QCoreApplication::processEvents();
    fs::remove_all(dir_);
  }

  // A window whose settings dialog answers OK (changing nothing) unless told otherwise.
  CTarrowDlg& MakeWindow(std::vector<std::function<bool(ReaderSettings&)>> answers = {
                             [](ReaderSettings&) { return true; }}) {
    auto dialogs = std::make_unique<FakeDialogs>();
    dialogs->settingsAnswers = std::move(answers);
    dialogs_ = dialogs.get();
    WindowOptions options;
    options.dialogs = std::move(dialogs);
    options.logFilePath = logPath_.string();
    options.startDetection = [this](const ReaderSettings& s, int type) {
      detections_.push_back({s, type});
    };
    window_ = std::make_unique<CTarrowDlg>(std::move(options));
    return *window_;
  }

  std::vector<bool> Enabled() const {
    std::vector<bool> state;
    for (auto b : {MainView::kCheckConnection, MainView::kResetToDefault, MainView::kRebootReader,
                   MainView::kRunScript, MainView::kSettings}) {
      state.push_back(window_->ButtonFor(b)->isEnabled());
    }
    return state;
  }
  QString Monitor() const { return window_->Monitor()->toPlainText(); }
  QString Label(const char* name) const { return window_->findChild<QLabel*>(name)->text(); }
  QPushButton* Clear() const { return window_->findChild<QPushButton*>("clearButton"); }

  // Shown and active, so the focus is real.
  static bool ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
  }

  // Delivers what was posted, until done() or a bound on the rounds.
  void DeliverUntil(const std::function<bool()>& done) {
    for (int round = 0; round < 2000 && !done(); ++round) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
  }

  fs::path dir_, logPath_;
  FakeDialogs* dialogs_ = nullptr;
  std::vector<std::pair<ReaderSettings, int>> detections_;
  std::unique_ptr<CTarrowDlg> window_;
};

TEST_F(WindowTest, CancellingTheFirstSettingsEndsWithoutDetection) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings&) { return false; }});
  EXPECT_FALSE(window.OnInitDialog());
  EXPECT_EQ(window.DoModal(), QDialog::Accepted);  // ends at once, as if OK
  EXPECT_TRUE(detections_.empty());
  EXPECT_FALSE(window.isVisible());
  // The log file exists (emptied at start) even though the program ends at once.
  EXPECT_TRUE(fs::exists(logPath_));
}

TEST_F(WindowTest, StartUpCopiesSettingsStartsDetectionAndDisablesAllFive) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings& s) {
    s.strComPort = "/tmp/kavonel-reader";
    s.nReaderType = 3;
    return true;
  }});
  ASSERT_TRUE(window.OnInitDialog());
  EXPECT_THAT(Enabled(), ElementsAre(false, false, false, false, false));
  EXPECT_TRUE(Clear()->isEnabled());
  ASSERT_EQ(detections_.size(), 1u);
  EXPECT_EQ(detections_[0].first.strComPort, "/tmp/kavonel-reader");
  EXPECT_EQ(detections_[0].second, 3);
  EXPECT_EQ(window.Settings().nReaderType, 3);
  EXPECT_EQ(window.Monitor()->font(), MonitorFont());
  EXPECT_EQ(window.findChild<QLabel*>("statusLine")->font(), FieldFont());
  EXPECT_EQ(window.findChild<QLabel*>("firmwareVersionField")->font(), FieldFont());
  EXPECT_EQ(window.windowTitle(), TARROW_DIALOG_CAPTION);
}

struct ButtonCase {
  int readerType;
  bool rebootEnabled;
};

class ButtonRules : public WindowTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(ButtonRules, EnableFollowsTheLiveReaderType) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  // The live type counts, not the window's copy (a cancelled pick changes it).
  g_settingsDialog.m_settings.nReaderType = GetParam().readerType;
  window.EnableOperationButtons();
  EXPECT_THAT(Enabled(), ElementsAre(true, true, GetParam().rebootEnabled, true, true));
  window.DisableOperationButtons();
  EXPECT_THAT(Enabled(), ElementsAre(false, false, false, false, false));
  window.EnableButton(MainView::kRebootReader);
  EXPECT_EQ(window.ButtonFor(MainView::kRebootReader)->isEnabled(), GetParam().rebootEnabled);
  EXPECT_TRUE(Clear()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(ReaderTypes, ButtonRules,
                         ::testing::Values(ButtonCase{0, false}, ButtonCase{1, true},
                                           ButtonCase{2, true}, ButtonCase{3, true}));

TEST_F(WindowTest, SettingsOkClearsFieldsDisablesAndRestartsDetection) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings&) { return true; },
                                   [](ReaderSettings& s) {
                                     s.nBaudRate = 19200;
                                     return true;
                                   }});
  ASSERT_TRUE(window.OnInitDialog());
  window.EnableOperationButtons();
  window.AppendMonitorText("old text\n");
  window.SetStatusLine("Orvessa Reader Found!");
  window.ShowFirmwareVersion("V1.2.3");
  window.OnSettings();
  EXPECT_EQ(Monitor(), "");
  EXPECT_EQ(Label("statusLine"), "");
  EXPECT_EQ(Label("firmwareVersionField"), "");
  EXPECT_THAT(Enabled(), ElementsAre(false, false, false, false, false));
  EXPECT_EQ(window.Settings().nBaudRate, 19200);
  ASSERT_EQ(detections_.size(), 2u);
  EXPECT_EQ(detections_[1].first.nBaudRate, 19200);
}

TEST_F(WindowTest, SettingsCancelChangesNothing) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings&) { return true; },
                                   [](ReaderSettings& s) {
                                     s.nReaderType = 0;  // picked, then cancelled
                                     s.nBaudRate = 9600;
                                     return false;
                                   }});
  ASSERT_TRUE(window.OnInitDialog());
  window.EnableOperationButtons();
  window.AppendMonitorText("kept\n");
  window.SetStatusLine("line");
  window.OnSettings();
  EXPECT_EQ(Monitor(), "kept\n");
  EXPECT_EQ(Label("statusLine"), "line");
  EXPECT_THAT(Enabled(), ElementsAre(true, true, true, true, true));
  EXPECT_EQ(window.Settings().nBaudRate, 115200);
  EXPECT_EQ(window.Settings().nReaderType, 2);  // the copy stays; the live type is 0
  EXPECT_EQ(window.LiveReaderType(), 0);
  EXPECT_EQ(detections_.size(), 1u);
  // The next operation already follows the live type: no reboot for a Lark.
  window.DisableOperationButtons();
  window.EnableOperationButtons();
  EXPECT_FALSE(window.ButtonFor(MainView::kRebootReader)->isEnabled());
}

TEST_F(WindowTest, DetectionStateTravelsInTheEvent) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  // Start and end posted back to back: each is handled as what it was posted as, so
  // the end is reported once, however late the start is handled.
  window.PostReaderCheckState(true);
  window.PostReaderCheckState(false);
  DeliverUntil([this] { return dialogs_->calls.size() >= 4; });
  EXPECT_THAT(dialogs_->calls,
              ElementsAre("settings", "wait", "end wait", "status:Orvessa Reader Not Found!!!"));
  // No reader answered: only Settings comes back.
  EXPECT_THAT(Enabled(), ElementsAre(false, false, false, false, true));
  EXPECT_EQ(Label("statusLine"), "Orvessa Reader Not Found!!!");
}

TEST_F(WindowTest, PostedTextWithPercentIsShownAndLoggedUnchanged) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings& s) {
    s.bLogCommands = true;
    return true;
  }});
  ASSERT_TRUE(window.OnInitDialog());
  const std::string text = "[Reader] 100% %s %d %n done\n";
  std::thread worker([&window, text] { window.PostMonitorText(text); });
  worker.join();
  DeliverUntil([this] { return !Monitor().isEmpty(); });
  EXPECT_EQ(Monitor().toStdString(), text);
  EXPECT_EQ(ReadAll(logPath_), text);
}

TEST_F(WindowTest, LongTextsAreCutSafely) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  window.PostMonitorText(std::string(2000, 'p'));
  DeliverUntil([this] { return !Monitor().isEmpty(); });
  EXPECT_EQ(Monitor().toStdString(), std::string(1023, 'p'));
  window.ClearMonitor();
  window.AppendMonitorText(std::string(2000, 'a'));
  EXPECT_EQ(Monitor().toStdString(), std::string(1023, 'a'));
}

TEST_F(WindowTest, LogFileOffThenSwitchedOnThenClear) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings&) { return true; },
                                   [](ReaderSettings& s) {
                                     s.bLogCommands = true;
                                     return true;
                                   }});
  ASSERT_TRUE(window.OnInitDialog());
  window.AppendMonitorText("not logged\n");
  EXPECT_TRUE(fs::exists(logPath_));
  EXPECT_EQ(ReadAll(logPath_), "");
  window.OnSettings();  // logging switched on with OK
  window.AppendMonitorText("logged\n");
  EXPECT_EQ(ReadAll(logPath_), "logged\n");
  window.SetStatusLine("Done");
  QTest::mouseClick(Clear(), Qt::LeftButton);
  EXPECT_EQ(Monitor(), "");
  EXPECT_EQ(Label("statusLine"), "");
  EXPECT_EQ(ReadAll(logPath_), "logged\n");  // Clear leaves the file alone
}

TEST_F(WindowTest, MonitorAppendsAtTheEndAndFollowsIt) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  window.show();
  for (int i = 0; i < 200; ++i) window.AppendMonitorText("line\n");
  window.AppendMonitorText("last");
  EXPECT_TRUE(Monitor().endsWith("line\nlast"));
  QScrollBar* bar = window.Monitor()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(WindowTest, MonitorKeepsNoSelectionAndNoCaret) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  window.show();
  window.AppendMonitorText("select me if you can\n");
  QPlainTextEdit* monitor = window.Monitor();
  QWidget* area = monitor->viewport();
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseMove(area, QPoint(120, 8));
  QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(120, 8));
  QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_FALSE(monitor->textCursor().hasSelection());
  EXPECT_TRUE(monitor->isReadOnly());
  EXPECT_EQ(monitor->textInteractionFlags(), Qt::NoTextInteraction);
}

TEST_F(WindowTest, ContextMenuOffersTheAboutBox) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  window.show();
  QStringList items;
  bool separatorDrawnFirst = false;
  QTimer::singleShot(0, [&items, &separatorDrawnFirst] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* first = menu->actions().value(0);
    separatorDrawnFirst = first != nullptr && first->isSeparator() &&
                          menu->actionGeometry(first).height() > 0;
    QAction* about = nullptr;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) {
        items << action->text();
        about = action;
      }
    }
    ASSERT_NE(about, nullptr);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
  });
  const QPoint inside(400, 60);
  QContextMenuEvent event(QContextMenuEvent::Mouse, inside, window.mapToGlobal(inside));
  QApplication::sendEvent(&window, &event);
  EXPECT_EQ(items, QStringList{KAVONEL_ABOUT_MENU_TEXT});
  EXPECT_TRUE(separatorDrawnFirst);
  EXPECT_EQ(dialogs_->calls.back(), "about");
}

// Enter, as real key events on the focused control. No button is the default one: a
// focused button takes Enter as a press; the monitor, or no control at all, takes it
// and does nothing, and the window never ends by it.
TEST_F(WindowTest, EnterPressesOnlyTheFocusedButton) {
  // An operation started by mistake fails at once on a port that does not exist.
  CTarrowDlg& window = MakeWindow({[](ReaderSettings& s) {
                                     s.strComPort = "/nonexistent/kavonel-reader";
                                     return true;
                                   },
                                   [](ReaderSettings&) { return false; }});
  ASSERT_TRUE(window.OnInitDialog());
  window.EnableOperationButtons();
  ASSERT_TRUE(ShowActive(window));
  window.AppendMonitorText("kept\n");
  window.SetStatusLine("line");

  window.Monitor()->setFocus();
  QTest::keyClick(window.Monitor(), Qt::Key_Return);
  QTest::keyClick(window.Monitor(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(Monitor(), "kept\n");
  EXPECT_THAT(dialogs_->calls, ElementsAre("settings"));  // no operation ran
  EXPECT_TRUE(window.isVisible());

  // The focus on no control: the key reaches the window itself.
  window.Monitor()->clearFocus();
  ASSERT_EQ(window.focusWidget(), nullptr);
  QTest::keyClick(&window, Qt::Key_Return);
  QTest::keyClick(&window, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(window.isVisible());
  EXPECT_NE(window.result(), QDialog::Accepted);
  EXPECT_EQ(Monitor(), "kept\n");
  EXPECT_THAT(dialogs_->calls, ElementsAre("settings"));

  Clear()->setFocus();
  QTest::keyClick(Clear(), Qt::Key_Return);
  EXPECT_EQ(Monitor(), "");
  EXPECT_EQ(Label("statusLine"), "");
  EXPECT_THAT(dialogs_->calls, ElementsAre("settings"));
  EXPECT_TRUE(window.isVisible());

  QPushButton* settings = window.ButtonFor(MainView::kSettings);
  settings->setFocus();
  QTest::keyClick(settings, Qt::Key_Return);
  EXPECT_THAT(dialogs_->calls, ElementsAre("settings", "settings"));
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
  }
}

// The focus goes back to the control that started an operation once it is enabled
// again, and stays off a control that is not.
TEST_F(WindowTest, FocusReturnsToTheControlThatHadIt) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings&) { return true; },
                                   [](ReaderSettings&) { return true; }});
  ASSERT_TRUE(window.OnInitDialog());
  window.EnableOperationButtons();
  ASSERT_TRUE(ShowActive(window));

  // Settings by its key: a new detection, which finds no reader, gives back only
  // Settings, one button at a time.
  QPushButton* settings = window.ButtonFor(MainView::kSettings);
  settings->setFocus();
  QTest::keyClick(settings, Qt::Key_Space);
  EXPECT_NE(QApplication::focusWidget(), settings);
  window.PostReaderCheckState(true);
  window.PostReaderCheckState(false);
  DeliverUntil([this] { return dialogs_->calls.size() >= 5; });
  EXPECT_TRUE(settings->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), settings);

  // Reboot is not given back to a Lark: the focus stays where Qt moved it, and a later
  // operation's end does not pull it anywhere.
  window.EnableOperationButtons();
  QPushButton* reboot = window.ButtonFor(MainView::kRebootReader);
  reboot->setFocus();
  g_settingsDialog.m_settings.nReaderType = 0;
  window.DisableOperationButtons();
  QWidget* movedTo = QApplication::focusWidget();
  window.EnableOperationButtons();
  EXPECT_FALSE(reboot->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), movedTo);
}

// The reason a port did not open goes when its failure is over: with the next operation
// or settings the operator confirms, not with settings cancelled.
TEST_F(WindowTest, PortProblemGoesWithTheNextOperationOrConfirmedSettings) {
  CTarrowDlg& window = MakeWindow({[](ReaderSettings& s) {
                                     s.strComPort = "/nonexistent/kavonel-reader";
                                     return true;
                                   },
                                   [](ReaderSettings&) { return false; },
                                   [](ReaderSettings&) { return true; }});
  ASSERT_TRUE(window.OnInitDialog());
  window.EnableOperationButtons();
  const auto shown = [&window] {
    auto* box = window.findChild<QMessageBox*>();
    return box != nullptr && box->isVisible();
  };
  // Each operation takes the last reason away before it tries the port; the three
  // button operations then give their own, the script run ends at the file choice.
  for (MainView::Button button : {MainView::kCheckConnection, MainView::kResetToDefault,
                                  MainView::kRebootReader, MainView::kRunScript}) {
    window.ShowPortProblem("earlier failure");
    dialogs_->portProblems.clear();
    window.ButtonFor(button)->click();
    const bool scriptRun = button == MainView::kRunScript;
    const std::vector<std::string> expected =
        scriptRun ? std::vector<std::string>{"close"} : std::vector<std::string>{"close", "show"};
    EXPECT_EQ(dialogs_->portProblems, expected) << button;
    EXPECT_EQ(shown(), !scriptRun) << button;
  }
  window.OnCheckConnection();
  ASSERT_TRUE(shown());
  window.OnSettings();  // cancelled: nothing has changed
  EXPECT_TRUE(shown());
  window.OnSettings();  // confirmed
  EXPECT_FALSE(shown());
}

TEST_F(WindowTest, EscapeEndsTheWindow) {
  CTarrowDlg& window = MakeWindow();
  WhenModalShown([](QWidget* w) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &escape);
  });
  EXPECT_EQ(window.DoModal(), QDialog::Rejected);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, CloseBoxEndsTheWindow) {
  CTarrowDlg& window = MakeWindow();
  WhenModalShown([](QWidget* w) { w->close(); });
  EXPECT_EQ(window.DoModal(), QDialog::Rejected);
}

TEST_F(WindowTest, EventsQueuedForADestroyedWindowAreDropped) {
  CTarrowDlg& window = MakeWindow();
  ASSERT_TRUE(window.OnInitDialog());
  window.PostMonitorText("never shown\n");
  window.PostReaderCheckState(true);
  window.PostShowFirmwareVersion();
  window_.reset();
  // Delivery would touch the freed window (the sanitizer build would catch it).
  QCoreApplication::processEvents();
  SUCCEED();
}

TEST(WindowPortProblemTest, ShownBesideTheWindowWithoutBlockingIt) {
  TestApplication();
  QWidget window;
  std::unique_ptr<WindowDialogs> dialogs = MakeProgramDialogs();
  dialogs->ShowPortProblem(&window, "/dev/ttyUSB0: no such device");
  dialogs->ShowPortProblem(&window, "/dev/ttyUSB1: no such device");
  // One message, showing the latest reason, and nothing modal waits for the operator.
  const auto boxes = window.findChildren<QMessageBox*>();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0]->isVisible());
  EXPECT_EQ(boxes[0]->text(), "/dev/ttyUSB1: no such device");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  dialogs->ClosePortProblem();
  EXPECT_FALSE(boxes[0]->isVisible());
  dialogs->ClosePortProblem();  // nothing shown: nothing happens
  // The next failure brings the same box back.
  dialogs->ShowPortProblem(&window, "/dev/ttyUSB0: permission denied");
  EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1);
  EXPECT_TRUE(boxes[0]->isVisible());
}

}  // namespace
}  // namespace kavonel
