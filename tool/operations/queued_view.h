// A MainView without an event loop of its own (kavonel-cli, a batch's reader): what a
// detection worker posts waits in a queue that the view's own thread drains, as the
// window's event loop would.
#pragma once

#include <string>

#include "operations/main_view.h"
#include "operations/operations.h"
#include "operations/posted_events.h"

namespace kavonel {

class QueuedView : public MainView {
 public:
  // Modal as the window's: delivers what is posted until EndWaitDialog.
  void ShowWaitDialog() override;
  void EndWaitDialog() override { waitShown_ = false; }

  void PostMonitorText(std::string text) override;
  void PostReaderCheckState(bool running) override;
  void PostShowFirmwareVersion() override;

  // Runs a detection to its end: delivers what the worker posts until the end notice
  // has been handled.
  void RunDetection(ReaderDetection& detection);

 protected:
  // Before each wait for the next notice (kavonel-cli shows the trace so far).
  virtual void BeforeWaiting() {}

 private:
  void DeliverNext();

  ReaderDetection* detection_ = nullptr;
  PostedEventQueue posted_;
  bool waitShown_ = false;
  bool endHandled_ = false;
};

}  // namespace kavonel
