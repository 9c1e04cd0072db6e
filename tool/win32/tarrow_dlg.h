// The main dialog (template 102) on Win32: hosts the command monitor, the firmware
// version field, the status line and the operation buttons, and implements MainView for
// the operations. The modal pieces (settings, status reporter, waiting dialog, about
// box, file choice, the port problem box) go through WindowDialogs so tests can put in
// a fake.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "monitor/log_file.h"
#include "monitor/monitor_tee.h"
#include "operations/main_view.h"
#include "operations/operations.h"
#include "settings/reader_settings.h"
#include "win32/dialog_support.h"
#include "win32/monitor_edit.h"

namespace kavonel {

class ComPort;

// Messages the detection worker posts to the window (numbers as the reader tools have
// always used). WM_MONITOR_TEXT carries a heap text (a std::string) that its handler
// frees; WM_READER_CHECK_STATE carries in lParam whether detection started (1) or ended
// (0), so a state handled late is never read as another.
enum : UINT {
  WM_SHOW_FIRMWARE_VERSION = WM_USER + 101,
  WM_MONITOR_TEXT = WM_USER + 102,
  WM_READER_CHECK_STATE = WM_USER + 103,
};

class WindowDialogs {
 public:
  virtual ~WindowDialogs() = default;
  // The settings dialog (g_settingsDialog); true when it ended with OK.
  virtual bool EditSettings(HWND owner) = 0;
  virtual void ShowStatus(HWND owner, std::string_view text) = 0;
  virtual void ShowWaitDialog(HWND owner) = 0;
  virtual void EndWaitDialog() = 0;
  virtual void ShowAbout(HWND owner) = 0;
  virtual ScriptChoice ChooseScriptFile(HWND owner) = 0;
  // Why the port did not open: a box beside the window, not modal, so the operator reads
  // it without the log and can go on working. Closed again when the operator confirms
  // the settings or starts the next operation: a reason never outlives its failure.
  virtual void ShowPortProblem(HWND owner, std::string_view reason) {
    (void)owner;
    (void)reason;
  }
  virtual void ClosePortProblem() {}
};

// The program's own dialogs: g_settingsDialog, g_statusReporter, g_waitDialog,
// CAboutDlg, the open-file dialog and the port problem box.
std::unique_ptr<WindowDialogs> MakeProgramDialogs();

struct WindowOptions {
  std::unique_ptr<WindowDialogs> dialogs;  // null: MakeProgramDialogs()
  std::string logFilePath;                 // empty: Pellorin.log beside the program
  ComPort* port = nullptr;                 // null: TheComPort()
  // Replaces the start of reader detection (tests); null: the real detection.
  std::function<void(const ReaderSettings&, int readerType)> startDetection;
};

class CTarrowDlg final : public TemplateDialog, public MainView {
 public:
  explicit CTarrowDlg(WindowOptions options = {});
  ~CTarrowDlg() override;
  CTarrowDlg(const CTarrowDlg&) = delete;
  CTarrowDlg& operator=(const CTarrowDlg&) = delete;

  // The settings dialog first; when it is cancelled, the window ends at once (nothing
  // else happens: no detection, no port opened). Then the window runs modally until
  // Escape or the close box.
  INT_PTR DoModal();
  // The same window, modeless (tests): null when the settings were cancelled.
  HWND Create();

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
  static int ButtonId(Button button);
  // Shows the monitor text gathered so far at once.
  void FlushMonitor() { m_display.Flush(); }

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // Posting from any thread reaches the window only while it exists.
  struct PostGate {
    std::mutex lock;
    HWND target = nullptr;
  };
  bool OnInitDialog();
  void OnCommand(int id, int code);
  void OnDestroy();
  bool Post(UINT message, LPARAM lParam);
  // An operation starts: the reason of an earlier failure goes.
  void BeginOperation();
  void RestoreFocus();

  std::unique_ptr<WindowDialogs> m_dialogs;
  std::function<void(const ReaderSettings&, int)> m_startDetection;
  ReaderSettings m_settings;
  CLogFile m_logFile;
  MonitorEdit m_display;
  MonitorTee m_monitor{m_display, m_logFile, m_settings.bLogCommands};
  std::shared_ptr<PostGate> m_gate = std::make_shared<PostGate>();
  ComPort& m_port;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  HFONT m_monitorFont = nullptr;
  HFONT m_fieldFont = nullptr;
  HWND m_focusBeforeOperation = nullptr;
  bool m_modal = true;  // DoModal; Create makes it modeless
  // Last: it goes first, so a running detection is detached before anything else.
  ReaderDetection m_detection;
};

}  // namespace kavonel
