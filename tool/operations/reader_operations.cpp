// The three button operations: one fixed request each, its status byte reported with
// the texts of the operation's column of the family table.
#include <array>
#include <string>

#include "operations/operation_texts.h"
#include "operations/operations.h"
#include "link/com_port.h"
#include "link/frame.h"
#include "monitor/monitor_text.h"

namespace kavonel {
namespace {

void AppendFailure(MainView& view, const ButtonOperationTexts& texts, const char* text) {
  if (texts.emptyLineBeforeFailure) view.AppendMonitorText("\n");
  view.AppendMonitorText(text);
}

void AppendPieces(MainView& view, const char* const (&pieces)[2]) {
  for (const char* piece : pieces) {
    if (piece != nullptr) view.AppendMonitorText(piece);
  }
}

int Exchange(MainView& view, ComPort& port, const ReaderSettings& settings,
             const ButtonOperationTexts& texts) {
  std::array<uint8_t, kFixedFrameSize> request{};
  BuildFixedFrame(request.data(), texts.request.command, texts.request.subCommand);
  if (port.Open(settings.strComPort, settings.nBaudRate) != COM_OK) {
    AppendFailure(view, texts, texts::kPortOpenFailed);
    const std::string reason = port.OpenFailureReason();
    if (!reason.empty()) view.ShowPortProblem(reason);
    return -1;
  }
  DumpFrame(view, request.data(), request.size(), true);
  std::array<uint8_t, kFixedFrameSize> response{};
  if (port.SendBytes(request.data(), request.size()) != COM_OK ||
      port.ReceiveBytes(response.data(), response.size()) != COM_OK) {
    AppendFailure(view, texts, texts::kUnableToCommunicate);
    return -1;
  }
  DumpFrame(view, response.data(), response.size(), false);
  const uint8_t status = response[kStatusOffset];
  // The reporter is modal: the buttons stay disabled and the port open until it is closed.
  if (status == 0) {
    AppendPieces(view, texts.successMonitor);
    view.SetStatusLine(texts.successStatus);
    view.ShowStatus(texts.successStatus);
  } else {
    AppendPieces(view, texts.failureMonitor);
    view.SetStatusLine(texts.failureStatusLine);
    view.ShowStatus(texts.failureReporter);
  }
  return status;
}

int RunButtonOperation(MainView& view, ComPort& port, const ReaderSettings& settings,
                       const ButtonOperationTexts& texts) {
  view.DisableOperationButtons();
  const int result = Exchange(view, port, settings, texts);
  view.EnableOperationButtons();
  port.Close();
  return result;
}

}  // namespace

int CheckReaderConnection(MainView& view, ComPort& port, const ReaderSettings& settings) {
  return RunButtonOperation(view, port, settings, kCheckConnectionTexts);
}

int ResetConfigurationToDefault(MainView& view, ComPort& port, const ReaderSettings& settings) {
  return RunButtonOperation(view, port, settings, kResetToDefaultTexts);
}

int RebootReader(MainView& view, ComPort& port, const ReaderSettings& settings) {
  return RunButtonOperation(view, port, settings, kRebootReaderTexts);
}

}  // namespace kavonel
