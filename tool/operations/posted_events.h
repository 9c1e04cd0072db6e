// The worker's posted notifications for a view without an event loop of its own
// (kavonel-cli, the tests): a thread-safe queue that the user-interface thread drains.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "operations/operations.h"

namespace kavonel {

struct PostedEvent {
  enum Kind { kMonitorText, kReaderCheckState, kShowFirmwareVersion } kind;
  std::string text;      // kMonitorText
  bool running = false;  // kReaderCheckState
};

class PostedEventQueue {
 public:
  void Push(PostedEvent event);
  // The next event, waiting up to timeout for one.
  std::optional<PostedEvent> Pop(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable available_;
  std::deque<PostedEvent> events_;
};

// Hands one event to its handler, as the window's event handlers do.
void DeliverPostedEvent(const PostedEvent& event, MainView& view, ReaderDetection& detection);

}  // namespace kavonel
