// Placeholder bodies until the operations are built; the window links against these.
#include "app/operations.h"

namespace kavonel {

struct ReaderDetection::Shared {};

RunVerdict RunConfigurationScript(MainView& view, ComPort&, const ReaderSettings&) {
  view.DisableOperationButtons();
  view.EnableOperationButtons();
  return VERDICT_NONE;
}
int CheckReaderConnection(MainView&, ComPort&, const ReaderSettings&) { return -1; }
int ResetConfigurationToDefault(MainView&, ComPort&, const ReaderSettings&) { return -1; }
int RebootReader(MainView&, ComPort&, const ReaderSettings&) { return -1; }

ReaderDetection::ReaderDetection(MainView& view, ComPort& port)
    : view_(view), port_(port), shared_(std::make_shared<Shared>()) {}
ReaderDetection::~ReaderDetection() = default;
void ReaderDetection::Start(const ReaderSettings&, int) {
  view_.PostReaderCheckState(true);
  view_.PostReaderCheckState(false);
}
void ReaderDetection::OnReaderCheckState(bool running) {
  if (running) return;
  view_.EndWaitDialog();
  view_.EnableButton(MainView::kSettings);
}
void ReaderDetection::OnShowFirmwareVersion() {}
void ReaderDetection::ClearReaderAnswered() {}
bool ReaderDetection::CheckRunning() const { return false; }
bool ReaderDetection::ReaderAnswered() const { return false; }
bool ReaderDetection::ReaderFound() const { return false; }

}  // namespace kavonel
