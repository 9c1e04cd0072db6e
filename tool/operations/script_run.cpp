// The configuration script run: decode the chosen script, send each record as one
// frame, trace every step in the monitor, and give one verdict.
#include <array>
#include <filesystem>
#include <string>

#include "operations/operation_texts.h"
#include "operations/operations.h"
#include "link/com_port.h"
#include "link/frame.h"
#include "monitor/monitor_text.h"
#include "quassel.h"

namespace kavonel {

ScriptDecoder LibraryScriptDecoder() {
  return {&LoadConfigurationText, &GetNextConfigCommand};
}

void ShowRunVerdict(MainView& view, RunVerdict verdict) {
  const char* line = RunVerdictStatusLineText(verdict);
  if (line == nullptr) return;
  view.SetStatusLine(line);
  view.ShowStatus(RunVerdictReporterText(verdict));
}

namespace {

constexpr uint32_t kScriptFormatError = 0x20000007;

// Steps from the file choice to the last command; the wrap-up is the caller's.
struct RunState {
  RunVerdict verdict = VERDICT_COMPLETED;
  uint32_t lastResult = 0;
  uint32_t detailCode = 0;
  uint32_t errorLine = 0;
  std::string portProblem;  // why the port did not open, told after the verdict
};

void RunSteps(MainView& view, ComPort& port, const ReaderSettings& settings,
              const ScriptDecoder& decoder, ScriptRunObserver* observer, RunState& run) {
  ScriptChoice choice = view.ChooseScriptFile();
  if (choice.result == ScriptChoice::kCancelled) {
    run.verdict = VERDICT_NONE;
    return;
  }
  if (choice.result != ScriptChoice::kChosen) {
    view.AppendMonitorText(texts::kFileError);
    run.verdict = VERDICT_SCRIPT_ERROR;
    return;
  }
  // The port is opened before the script is read: with no usable port nothing is decoded.
  if (port.Open(settings.strComPort, settings.nBaudRate) != COM_OK) {
    view.AppendMonitorText(texts::kPortOpenFailed);
    run.portProblem = port.OpenFailureReason();
    run.verdict = VERDICT_COMM_ERROR;
    return;
  }

  uint32_t commandCount = 0, maxRecordSize = 0, totalBytes = 0;
  const std::string fileName = std::filesystem::path(choice.path).filename().string();
  run.lastResult = decoder.loadConfigurationText(
      choice.path.c_str(), static_cast<uint32_t>(settings.nReaderType), &commandCount,
      &maxRecordSize, &totalBytes, &run.detailCode, &run.errorLine);
  view.SetStatusLine(texts::kScriptRunning);
  view.AppendMonitorText("\n");
  view.AppendMonitorText("\n");
  if (run.lastResult != 0) {
    view.AppendMonitorText(FormatMonitorText("[CFG Decoder]%s:- %s\n", fileName.c_str(),
                                             DecoderResultText(run.lastResult)));
    run.verdict = VERDICT_SCRIPT_ERROR;
    return;
  }
  view.AppendMonitorText(
      FormatMonitorText("[CFG Decoder] %s:- Script decoded successfully\n", fileName.c_str()));
  if (observer != nullptr) observer->Decoded(commandCount);

  std::array<uint8_t, kScriptFrameBufferSize> frame{};
  for (uint32_t index = 0; index < commandCount; ++index) {
    frame.fill(0);
    // The room behind the header, not the longest record: a record that cannot be
    // framed ends the run as a script error instead of overrunning the buffer.
    uint32_t length = kMaxScriptRecordSize;
    run.lastResult = decoder.getNextConfigCommand(frame.data() + kFrameHeaderSize, &length);
    if (run.lastResult != 0 || length > kMaxScriptRecordSize) {
      if (run.lastResult == 0) run.lastResult = 0x20000002;  // a decoder that broke its word
      view.AppendMonitorText(
          FormatMonitorText("[CFG Decoder]%s\n", DecoderResultText(run.lastResult)));
      run.verdict = VERDICT_SCRIPT_ERROR;
      return;
    }
    const size_t frameLength = FrameScriptCommand(frame.data(), length);
    view.AppendMonitorText("\n\n\n");
    view.AppendMonitorText(
        CommandDisplayText(frame[kFrameHeaderSize], frame[kFrameHeaderSize + 1]) + "\n");
    DumpFrame(view, frame.data(), frameLength, true);

    const uint8_t command = frame[kFrameHeaderSize], subCommand = frame[kFrameHeaderSize + 1];
    std::array<uint8_t, kResponseHeadSize> response{};
    bool exchanged = port.SendBytes(frame.data(), frameLength) == COM_OK;
    if (exchanged && observer != nullptr) observer->Sent(command, subCommand);
    exchanged = exchanged && port.ReceiveResponseHead(response.data()) == COM_OK;
    if (!exchanged) {
      if (observer != nullptr) observer->NoAnswer(command, subCommand);
      view.AppendMonitorText("\n");
      view.AppendMonitorText(texts::kUnableToCommunicate);
      run.verdict = VERDICT_COMM_ERROR;
      return;
    }
    DumpFrame(view, response.data(), response.size(), false);
    const uint8_t status = response[kStatusOffset];
    if (observer != nullptr) observer->Answered(command, subCommand, status);
    if (status != 0) run.verdict = VERDICT_NOT_ALL_CONFIGURED;
    view.AppendMonitorText(FormatMonitorText("Result:%s\n", ReaderStatusText(status)));
  }
}

}  // namespace

RunVerdict RunConfigurationScript(MainView& view, ComPort& port, const ReaderSettings& settings) {
  return RunConfigurationScript(view, port, settings, LibraryScriptDecoder());
}

RunVerdict RunConfigurationScript(MainView& view, ComPort& port, const ReaderSettings& settings,
                                  const ScriptDecoder& decoder, ScriptRunObserver* observer) {
  view.DisableOperationButtons();
  view.ClearMonitor();
  RunState run;
  RunSteps(view, port, settings, decoder, observer, run);

  // Wrap-up on every path.
  view.EnableOperationButtons();
  if (run.lastResult == kScriptFormatError) {
    view.AppendMonitorText(FormatMonitorText("\n[CFG Decoder]%s line %d\n\n",
                                             DecoderResultText(run.detailCode),
                                             static_cast<int>(run.errorLine)));
    run.verdict = VERDICT_SCRIPT_ERROR;
  }
  ShowRunVerdict(view, run.verdict);
  if (!run.portProblem.empty()) view.ShowPortProblem(run.portProblem);
  port.Close();
  return run.verdict;
}

}  // namespace kavonel
