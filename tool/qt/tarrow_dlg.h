// The main dialog: hosts the command monitor, the firmware version field, the status
// line and the operation buttons, and implements MainView for the operations. The
// modal pieces (settings, status reporter, waiting dialog, about box, file choice) go
// through WindowDialogs so tests can put in a fake.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "operations/main_view.h"
#include "operations/operations.h"
#include "monitor/log_file.h"
#include "monitor/monitor_tee.h"
#include "settings/reader_settings.h"

class QPlainTextEdit;
class QPushButton;
class QLabel;

namespace Ui {
class CTarrowDlg;
}

namespace kavonel {

class ComPort;

// Events the detection worker posts to the window (numbers as the reader tools have
// always used).
enum WindowEvent {
  kShowFirmwareVersionEvent = 1125,
  kMonitorTextEvent = 1126,
  kReaderCheckStateEvent = 1127,
};

class WindowDialogs {
 public:
  virtual ~WindowDialogs() = default;
  // The settings dialog (g_settingsDialog); true when it ended with OK.
  virtual bool EditSettings() = 0;
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void ShowWaitDialog() = 0;
  virtual void EndWaitDialog() = 0;
  virtual void ShowAbout(QWidget* parent) = 0;
  virtual ScriptChoice ChooseScriptFile(QWidget* parent) = 0;
  // Why the port did not open: a message beside the window, not modal, so the operator
  // reads it without the log and can go on working.
  virtual void ShowPortProblem(QWidget* parent, std::string_view reason) {
    (void)parent;
    (void)reason;
  }
  // Takes that message away: a reason must not outlive its failure, so it goes when the
  // operator confirms the settings or starts the next operation.
  virtual void ClosePortProblem() {}
};

// The program's own dialogs: g_settingsDialog, g_statusReporter, g_waitDialog,
// CAboutDlg and the open-file dialog.
std::unique_ptr<WindowDialogs> MakeProgramDialogs();

struct WindowOptions {
  std::unique_ptr<WindowDialogs> dialogs;  // null: MakeProgramDialogs()
  std::string logFilePath;                 // empty: Pellorin.log beside the program
  ComPort* port = nullptr;                 // null: TheComPort()
  // Replaces the start of reader detection (tests); null: the real detection.
  std::function<void(const ReaderSettings&, int readerType)> startDetection;
};

class CTarrowDlg final : public QDialog, public MainView {
 public:
  explicit CTarrowDlg(WindowOptions options = {});
  ~CTarrowDlg() override;

  // Start-up: the settings dialog first. False when it was cancelled; then nothing
  // else happens (no detection, no port opened) and the program ends.
  bool OnInitDialog();
  // OnInitDialog, then the window runs modally until Escape or the close box.
  int DoModal();

  // The buttons' handlers.
  void OnSettings();
  void OnRunScript();
  void OnCheckConnection();
  void OnResetToDefault();
  void OnRebootReader();
  void OnClear();
  void OnAbout();
  void StartReaderDetection();

  // MainView
  void AppendMonitorText(std::string_view text) override;
  void ClearMonitor() override;
  void SetStatusLine(std::string_view text) override;
  void ShowStatus(std::string_view text) override;
  void DisableOperationButtons() override;
  void EnableOperationButtons() override;
  void EnableButton(Button button) override;
  ScriptChoice ChooseScriptFile() override;
  void ShowWaitDialog() override;
  void EndWaitDialog() override;
  void ShowFirmwareVersion(std::string_view text) override;
  int LiveReaderType() const override;
  void ShowPortProblem(std::string_view reason) override;
  void PostMonitorText(std::string text) override;
  void PostReaderCheckState(bool running) override;
  void PostShowFirmwareVersion() override;

  const ReaderSettings& Settings() const { return m_settings; }
  const CLogFile& LogFile() const { return m_logFile; }
  ReaderDetection& Detection() { return m_detection; }
  QPlainTextEdit* Monitor() const;
  QPushButton* ButtonFor(Button button) const;

 protected:
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The monitor widget as a MonitorOutput: appends at the end and follows the text.
  class MonitorDisplay final : public MonitorOutput {
   public:
    explicit MonitorDisplay(QPlainTextEdit*& widget) : widget_(widget) {}
    void AppendMonitorText(std::string_view text) override;

   private:
    QPlainTextEdit*& widget_;
  };

  // Posting from any thread reaches the window only while it exists.
  struct PostGate {
    std::mutex lock;
    QObject* target = nullptr;
  };
  void Post(QEvent* event);
  // Gives the focus back to the control that had it before the buttons were disabled,
  // once that control is enabled again.
  void RestoreFocus();

  std::unique_ptr<Ui::CTarrowDlg> ui_;
  std::unique_ptr<WindowDialogs> m_dialogs;
  std::function<void(const ReaderSettings&, int)> m_startDetection;
  ReaderSettings m_settings;
  CLogFile m_logFile;
  QPlainTextEdit* m_monitorWidget = nullptr;
  MonitorDisplay m_display{m_monitorWidget};
  MonitorTee m_monitor{m_display, m_logFile, m_settings.bLogCommands};
  std::shared_ptr<PostGate> m_gate = std::make_shared<PostGate>();
  ComPort& m_port;
  bool m_ownsWaitHook = false;
  QPointer<QWidget> m_focusBeforeOperation;
  // Last: it goes first, so a running detection is detached before anything else.
  ReaderDetection m_detection;
};

}  // namespace kavonel
