#include "batch/reader_view.h"

#include <chrono>

namespace kavonel {

TraceFile::TraceFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

void TraceFile::AppendMonitorText(std::string_view text) {
  if (file_ != nullptr) std::fwrite(text.data(), 1, text.size(), file_);
}

void TraceFile::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

void TraceFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void ReaderView::PostMonitorText(std::string text) {
  posted_.Push({PostedEvent::kMonitorText, std::move(text), false});
}
void ReaderView::PostReaderCheckState(bool running) {
  posted_.Push({PostedEvent::kReaderCheckState, {}, running});
}
void ReaderView::PostShowFirmwareVersion() {
  posted_.Push({PostedEvent::kShowFirmwareVersion, {}, false});
}

// The worker always ends (every wait of the link is bounded, and an abandoned port
// fails at once), so the queue is drained without a limit of its own.
void ReaderView::DeliverNext() {
  std::optional<PostedEvent> event;
  while (!(event = posted_.Pop(std::chrono::seconds(1)))) {
  }
  if (event->kind == PostedEvent::kReaderCheckState && !event->running) endHandled_ = true;
  DeliverPostedEvent(*event, *this, *detection_);
}

void ReaderView::ShowWaitDialog() {
  waitShown_ = true;
  while (waitShown_) DeliverNext();
}

void ReaderView::RunDetection(ReaderDetection& detection) {
  detection_ = &detection;
  endHandled_ = false;
  while (!endHandled_) DeliverNext();
  detection_ = nullptr;
}

}  // namespace kavonel
