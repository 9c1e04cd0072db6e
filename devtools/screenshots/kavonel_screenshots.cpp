// kavonel-screenshots: shows each window of the program with sample content and saves
// a PNG of it, so the look can be compared with the intended layout.
// Usage: kavonel-screenshots OUTPUT_FOLDER   (run under xvfb-run, or offscreen)
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "operations/operation_texts.h"
#include "qt/about_dlg.h"
#include "qt/configuration_applet.h"
#include "qt/dialog_look.h"
#include "qt/status_update.h"
#include "qt/tarrow_dlg.h"
#include "qt/wait_dialog.h"
#include "sim/sim_process.h"

namespace {

QString g_folder;
int g_failures = 0;

void Save(QWidget* widget, const QString& name) {
  QApplication::processEvents();
  const QString path = QDir(g_folder).filePath(name + QStringLiteral(".png"));
  if (!widget->grab().save(path)) {
    std::fprintf(stderr, "could not save %s\n", qPrintable(path));
    ++g_failures;
  } else {
    std::printf("%s\n", qPrintable(path));
  }
}

// Saves the next modal dialog once it shows, then lets close end it.
void WhenShown(const QString& name, std::function<void(QWidget*)> close) {
  auto poll = std::make_shared<std::function<void(int)>>();
  *poll = [name, close, poll](int left) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      QTimer::singleShot(50, [modal, name, close] {
        Save(modal, name);
        close(modal);
      });
      *poll = nullptr;
    } else if (left > 0) {
      QTimer::singleShot(10, [poll, left] {
        if (*poll) (*poll)(left - 1);
      });
    } else {
      std::fprintf(stderr, "%s never showed\n", qPrintable(name));
      ++g_failures;
      *poll = nullptr;
    }
  };
  QTimer::singleShot(0, [poll] { (*poll)(500); });
}

void Accept(QWidget* w) {
  static_cast<QDialog*>(w)->accept();
}

// The window's modal pieces, answered without an operator.
struct SilentDialogs : kavonel::WindowDialogs {
  bool EditSettings() override { return true; }
  void ShowStatus(std::string_view) override {}
  void ShowWaitDialog() override {}
  void EndWaitDialog() override {}
  void ShowAbout(QWidget*) override {}
  kavonel::ScriptChoice ChooseScriptFile(QWidget*) override {
    return {kavonel::ScriptChoice::kChosen, script};
  }
  std::string script;
};

// The window's context menu, saved while it is open.
void SaveContextMenu(QWidget* window) {
  QTimer::singleShot(100, [] {
    QWidget* menu = QApplication::activePopupWidget();
    if (menu == nullptr) {
      std::fprintf(stderr, "context menu never showed\n");
      ++g_failures;
      return;
    }
    Save(menu, QStringLiteral("context_menu"));
    menu->close();
  });
  const QPoint inside(400, 60);
  QContextMenuEvent event(QContextMenuEvent::Mouse, inside, window->mapToGlobal(inside));
  QApplication::sendEvent(window, &event);
}

bool MainWindowAfterRun(const std::vector<std::string>& simArguments, const QString& name,
                        bool withStartAndMenu) {
  kavonel::SimProcess sim(simArguments);
  if (!sim.Started()) {
    std::fprintf(stderr, "reader-sim did not start: %s\n", sim.Error().c_str());
    return false;
  }
  using kavonel::g_settingsDialog;
  g_settingsDialog.m_settings.strComPort = sim.Path();
  g_settingsDialog.m_settings.nReaderType = 2;
  g_settingsDialog.m_settings.nBaudRate = 115200;
  kavonel::WindowOptions options;
  auto dialogs = std::make_unique<SilentDialogs>();
  dialogs->script = KAVONEL_SAMPLE_SCRIPT;
  options.dialogs = std::move(dialogs);
  options.logFilePath = QDir(g_folder).filePath(QStringLiteral("Pellorin.log")).toStdString();
  kavonel::CTarrowDlg window(std::move(options));
  window.show();
  if (withStartAndMenu) Save(&window, QStringLiteral("main_window_start"));
  window.OnInitDialog();
  // Until the detection has ended and given the buttons back (at most 5 s).
  for (int i = 0; i < 500 && !window.ButtonFor(kavonel::MainView::kRunScript)->isEnabled(); ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  window.OnRunScript();
  Save(&window, name);
  if (withStartAndMenu) SaveContextMenu(&window);
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(kavonel::AppIcon());
  g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
  QDir().mkpath(g_folder);

  using kavonel::g_settingsDialog;
  g_settingsDialog.m_listPorts = [] {
    auto ports = kavonel::ListSerialPorts();
    if (ports.empty()) ports = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"};
    return ports;
  };
  WhenShown(QStringLiteral("settings"), Accept);
  g_settingsDialog.DoModal();

  kavonel::g_statusReporter.m_strStatusText = "Orvessa Reader Found!";
  WhenShown(QStringLiteral("status_reporter"), Accept);
  kavonel::g_statusReporter.DoModal();

  kavonel::g_statusReporter.m_strStatusText =
      kavonel::RunVerdictReporterText(kavonel::VERDICT_NOT_ALL_CONFIGURED);
  WhenShown(QStringLiteral("status_reporter_long"), Accept);
  kavonel::g_statusReporter.DoModal();

  kavonel::g_statusReporter.m_strStatusText =
      kavonel::RunVerdictReporterText(kavonel::VERDICT_SCRIPT_ERROR);
  WhenShown(QStringLiteral("status_reporter_error"), Accept);
  kavonel::g_statusReporter.DoModal();

  WhenShown(QStringLiteral("waiting_dialog"),
            [](QWidget*) { kavonel::g_waitDialog.EndDialog(kavonel::CWaitDialog::IDOK); });
  kavonel::g_waitDialog.DoModal();

  WhenShown(QStringLiteral("about"), Accept);
  kavonel::CAboutDlg().DoModal();

  // A real detection and script run against the virtual reader, so the window shows
  // what an operator sees: one command answered with a bad status, then all answered.
  if (!MainWindowAfterRun({"--type", "2", "--status", "04:03=05"}, QStringLiteral("main_window"),
                          true)) {
    return 1;
  }
  if (!MainWindowAfterRun({"--type", "2"}, QStringLiteral("main_window_completed"), false)) {
    return 1;
  }
  return g_failures == 0 ? 0 : 1;
}
