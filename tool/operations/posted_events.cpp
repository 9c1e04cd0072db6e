#include "operations/posted_events.h"

namespace kavonel {

void PostedEventQueue::Push(PostedEvent event) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
  }
  available_.notify_one();
}

std::optional<PostedEvent> PostedEventQueue::Pop(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!available_.wait_for(lock, timeout, [&] { return !events_.empty(); })) return std::nullopt;
  PostedEvent event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void DeliverPostedEvent(const PostedEvent& event, MainView& view, ReaderDetection& detection) {
  switch (event.kind) {
    case PostedEvent::kMonitorText:
      view.AppendMonitorText(event.text);
      break;
    case PostedEvent::kReaderCheckState:
      detection.OnReaderCheckState(event.running);
      break;
    case PostedEvent::kShowFirmwareVersion:
      detection.OnShowFirmwareVersion();
      break;
  }
}

}  // namespace kavonel
