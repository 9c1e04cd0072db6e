#include "operations/queued_view.h"

#include <chrono>

namespace kavonel {

void QueuedView::PostMonitorText(std::string text) {
  posted_.Push({PostedEvent::kMonitorText, std::move(text), false});
}
void QueuedView::PostReaderCheckState(bool running) {
  posted_.Push({PostedEvent::kReaderCheckState, {}, running});
}
void QueuedView::PostShowFirmwareVersion() {
  posted_.Push({PostedEvent::kShowFirmwareVersion, {}, false});
}

// The worker always ends (every wait of the link is bounded, and an abandoned port
// fails at once), so the queue is drained without a limit of its own.
void QueuedView::DeliverNext() {
  std::optional<PostedEvent> event;
  BeforeWaiting();
  while (!(event = posted_.Pop(std::chrono::seconds(1)))) {
  }
  if (event->kind == PostedEvent::kReaderCheckState && !event->running) endHandled_ = true;
  DeliverPostedEvent(*event, *this, *detection_);
}

void QueuedView::ShowWaitDialog() {
  waitShown_ = true;
  while (waitShown_) DeliverNext();
}

void QueuedView::RunDetection(ReaderDetection& detection) {
  detection_ = &detection;
  endHandled_ = false;
  while (!endHandled_) DeliverNext();
  detection_ = nullptr;
}

}  // namespace kavonel
