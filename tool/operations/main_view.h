// What the operations need of the main window, and nothing more. The window
// (CTarrowDlg), kavonel-cli and the tests each implement it, so all three produce the
// same monitor text.
#pragma once

#include <string>
#include <string_view>

#include "monitor/monitor_output.h"

namespace kavonel {

struct ScriptChoice {
  enum Result { kChosen, kCancelled, kFailed } result = kCancelled;
  std::string path;  // full path when kChosen
};

class MainView : public MonitorOutput {
 public:
  // --- user-interface thread ---
  // AppendMonitorText (from MonitorOutput): one formatted piece, shown and logged.
  virtual void ClearMonitor() = 0;
  virtual void SetStatusLine(std::string_view text) = 0;
  // The modal status reporter; returns when the operator has closed it.
  virtual void ShowStatus(std::string_view text) = 0;
  virtual void DisableOperationButtons() = 0;
  // Reboot comes back only while the live reader type is not 0.
  virtual void EnableOperationButtons() = 0;
  // Enables one of the four reader buttons or Settings (detection end enables them
  // one by one).
  enum Button { kCheckConnection, kResetToDefault, kRebootReader, kRunScript, kSettings };
  virtual void EnableButton(Button button) = 0;
  // The open-file choice of a script (*.txt).
  virtual ScriptChoice ChooseScriptFile() = 0;
  // The waiting dialog: Show returns only when End has been called (or the operator
  // closed it); End does nothing when it is not shown.
  virtual void ShowWaitDialog() = 0;
  virtual void EndWaitDialog() = 0;
  virtual void ShowFirmwareVersion(std::string_view text) = 0;
  // The live reader type of the settings dialog (not the window's copy).
  virtual int LiveReaderType() const = 0;
  // Why the port did not open, in the operator's words (one line), after the
  // operation's status texts. Never part of the monitor text, which stays as it was.
  virtual void ShowPortProblem(std::string_view reason) { (void)reason; }

  // --- any thread (reader detection's worker) ---
  // Each arrives later on the user-interface thread, in posting order: a text through
  // AppendMonitorText, a state through the detection's OnReaderCheckState, the version
  // through its OnShowFirmwareVersion.
  virtual void PostMonitorText(std::string text) = 0;
  virtual void PostReaderCheckState(bool running) = 0;
  virtual void PostShowFirmwareVersion() = 0;
};

}  // namespace kavonel
