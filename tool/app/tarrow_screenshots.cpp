// kavonel-screenshots: shows each window of the program with sample content and saves
// a PNG of it, so the look can be compared with the intended layout.
// Usage: kavonel-screenshots OUTPUT_FOLDER   (run under xvfb-run, or offscreen)
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>

#include "app/tarrow_dlg.h"
#include "dialogs/about_dlg.h"
#include "dialogs/dialog_look.h"
#include "dialogs/status_update.h"
#include "dialogs/wait_dialog.h"
#include "monitor/monitor_text.h"
#include "settings/configuration_applet.h"

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
  kavonel::ScriptChoice ChooseScriptFile(QWidget*) override { return {}; }
};

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
      "Reader Configuration Completed. Not all commands configured 100%";
  WhenShown(QStringLiteral("status_reporter_long"), Accept);
  kavonel::g_statusReporter.DoModal();

  WhenShown(QStringLiteral("waiting_dialog"),
            [](QWidget*) { kavonel::g_waitDialog.EndDialog(kavonel::CWaitDialog::IDOK); });
  kavonel::g_waitDialog.DoModal();

  WhenShown(QStringLiteral("about"), Accept);
  kavonel::CAboutDlg().DoModal();

  {
    kavonel::WindowOptions options;
    options.dialogs = std::make_unique<SilentDialogs>();
    options.logFilePath = QDir(g_folder).filePath(QStringLiteral("Pellorin.log")).toStdString();
    options.startDetection = [](const kavonel::ReaderSettings&, int) {};
    kavonel::CTarrowDlg window(std::move(options));
    window.OnInitDialog();
    window.show();
    Save(&window, QStringLiteral("main_window_start"));

    window.EnableOperationButtons();
    window.ShowFirmwareVersion("V2.4.1 (Tern)");
    window.SetStatusLine("Orvessa Reader Found!");
    window.AppendMonitorText(
        kavonel::FormatMonitorText("[CFG Decoder]%s:- %s\n", "Script", "Loaded 12 commands"));
    uint8_t frame[18] = {'Z', 'a',  'n',  'd',  'r',  'e',  'l',  'l',  '2',
                         0,   0x31, 0x02, 0x00, 0x02, 0x01, 0x01, 0x5A, 0xC3};
    kavonel::DumpFrame(window, frame, sizeof frame, true);
    uint8_t response[16] = {'Z', 'a', 'n',  'd',  'r',  'e',  'l',  'l',
                            '2', 0,   0x31, 0x00, 0x00, 0x00, 0x9B, 0x2E};
    kavonel::DumpFrame(window, response, sizeof response, false);
    window.AppendMonitorText("Status: OK\n");
    Save(&window, QStringLiteral("main_window"));
  }
  return g_failures == 0 ? 0 : 1;
}
