// kavonel-cli's MainView: the monitor text goes to standard output piece by piece, what
// the window shows in dialogs and fields goes to standard error, and what a worker
// posts waits in a queue that the main thread drains.
#pragma once

#include <cstdio>
#include <string>

#include "operations/queued_view.h"

namespace kavonel {

// Standard output. Pieces are buffered and flushed whenever the program waits: for the
// reader (the port's wait hook), for the detection worker, before a status text.
class StdoutMonitor final : public MonitorOutput {
 public:
  void AppendMonitorText(std::string_view text) override;
};
void FlushMonitorText();

// Standard output and error carry the bytes as written, "\n" line ends on every
// platform (one file per platform: stdio_posix.cpp, stdio_win32.cpp).
void UseBinaryStandardStreams();

class CliView final : public QueuedView {
 public:
  // monitor: where monitor pieces go (standard output, or a tee to it and the log).
  CliView(MonitorOutput& monitor, std::string scriptPath, int readerType)
      : monitor_(monitor), scriptPath_(std::move(scriptPath)), readerType_(readerType) {}

  void AppendMonitorText(std::string_view text) override { monitor_.AppendMonitorText(text); }
  void ClearMonitor() override {}
  void SetStatusLine(std::string_view) override {}
  void ShowStatus(std::string_view text) override;
  void DisableOperationButtons() override {}
  void EnableOperationButtons() override {}
  void EnableButton(Button) override {}
  ScriptChoice ChooseScriptFile() override { return {ScriptChoice::kChosen, scriptPath_}; }
  void ShowFirmwareVersion(std::string_view text) override;
  int LiveReaderType() const override { return readerType_; }
  // One more line on standard error, after the status texts, so scripts that read
  // those still find them as they were.
  void ShowPortProblem(std::string_view reason) override;

 private:
  void BeforeWaiting() override { FlushMonitorText(); }

  MonitorOutput& monitor_;
  std::string scriptPath_;
  int readerType_;
};

}  // namespace kavonel
