// One reader's MainView in a batch: its monitor text goes to its own trace file,
// byte for byte what a single-port run prints; what the window would show in dialogs
// and fields is kept for the reader's line and report entry. Everything a detection
// worker posts is delivered on the reader's own thread.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "operations/queued_view.h"

namespace kavonel {

// A trace file, buffered: pieces go out when the reader waits (Flush) and at Close.
class TraceFile final : public MonitorOutput {
 public:
  explicit TraceFile(const std::string& path);
  ~TraceFile() override { Close(); }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // Why it did not open (errno), 0 when it did.
  int OpenError() const { return openError_; }
  void AppendMonitorText(std::string_view text) override;
  void Flush();
  void Close();

 private:
  void WritePending();

  std::FILE* file_ = nullptr;
  int openError_ = 0;
  std::string pending_;
};

class ReaderView final : public QueuedView {
 public:
  ReaderView(MonitorOutput& trace, std::string scriptPath, int readerType)
      : trace_(trace), scriptPath_(std::move(scriptPath)), readerType_(readerType) {}

  void AppendMonitorText(std::string_view text) override { trace_.AppendMonitorText(text); }
  void ClearMonitor() override {}
  void SetStatusLine(std::string_view) override {}
  void ShowStatus(std::string_view text) override { lastStatus_ = text; }
  void DisableOperationButtons() override {}
  void EnableOperationButtons() override {}
  void EnableButton(Button) override {}
  ScriptChoice ChooseScriptFile() override { return {ScriptChoice::kChosen, scriptPath_}; }
  void ShowFirmwareVersion(std::string_view text) override { firmwareVersion_ = text; }
  int LiveReaderType() const override { return readerType_; }
  void ShowPortProblem(std::string_view reason) override { portProblem_ = reason; }

  const std::string& LastStatus() const { return lastStatus_; }
  const std::optional<std::string>& FirmwareVersion() const { return firmwareVersion_; }
  const std::string& PortProblem() const { return portProblem_; }

 private:
  MonitorOutput& trace_;
  std::string scriptPath_;
  int readerType_;
  std::string lastStatus_;
  std::optional<std::string> firmwareVersion_;
  std::string portProblem_;
};

}  // namespace kavonel
