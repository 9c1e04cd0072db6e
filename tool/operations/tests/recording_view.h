// A MainView for tests: records every call in order, queues what a worker posts, and
// delivers it the way the window does (the waiting dialog drains the queue until it is
// ended).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "operations/main_view.h"
#include "operations/operations.h"
#include "operations/posted_events.h"

namespace kavonel::testing {

class RecordingView : public MainView {
 public:
  std::vector<std::string> calls;  // "monitor:TEXT", "line:TEXT", "status:TEXT", ...
  std::string monitor;             // the monitor's whole text since the last clear
  ScriptChoice choice{ScriptChoice::kCancelled, ""};
  int liveReaderType = 2;
  ReaderDetection* detection = nullptr;
  std::function<void()> onShowStatus;
  std::chrono::milliseconds pumpTimeout{10000};

  void AppendMonitorText(std::string_view text) override {
    calls.push_back("monitor:" + std::string(text));
    monitor += text;
  }
  void ClearMonitor() override {
    calls.push_back("clear");
    monitor.clear();
  }
  void SetStatusLine(std::string_view text) override {
    calls.push_back("line:" + std::string(text));
  }
  void ShowStatus(std::string_view text) override {
    calls.push_back("status:" + std::string(text));
    if (onShowStatus) onShowStatus();
  }
  void DisableOperationButtons() override { calls.push_back("disable"); }
  void EnableOperationButtons() override { calls.push_back("enable"); }
  void EnableButton(Button button) override {
    static const char* const kNames[] = {"check", "reset", "reboot", "run", "settings"};
    calls.push_back(std::string("button:") + kNames[button]);
  }
  ScriptChoice ChooseScriptFile() override {
    calls.push_back("choose");
    return choice;
  }
  void ShowWaitDialog() override {
    calls.push_back("wait");
    waitShown_ = true;
    while (waitShown_) {
      if (!DeliverNext()) {
        calls.push_back("wait-timeout");
        return;
      }
    }
  }
  void EndWaitDialog() override {
    calls.push_back("end-wait");
    waitShown_ = false;
  }
  void ShowFirmwareVersion(std::string_view text) override {
    calls.push_back("version:" + std::string(text));
  }
  int LiveReaderType() const override { return liveReaderType; }
  void ShowPortProblem(std::string_view reason) override {
    calls.push_back("port-problem:" + std::string(reason));
  }

  void PostMonitorText(std::string text) override {
    posted_.Push({PostedEvent::kMonitorText, std::move(text), false});
  }
  void PostReaderCheckState(bool running) override {
    posted_.Push({PostedEvent::kReaderCheckState, {}, running});
  }
  void PostShowFirmwareVersion() override {
    posted_.Push({PostedEvent::kShowFirmwareVersion, {}, false});
  }

  // Delivers posted events until the end of a detection has been handled; false when
  // nothing came within pumpTimeout.
  bool PumpDetection() {
    endHandled_ = false;
    while (!endHandled_) {
      if (!DeliverNext()) return false;
    }
    return true;
  }

  // The calls whose text starts with prefix, prefix removed.
  std::vector<std::string> Calls(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& call : calls) {
      if (call.starts_with(prefix)) out.push_back(call.substr(prefix.size()));
    }
    return out;
  }

 private:
  bool DeliverNext() {
    auto event = posted_.Pop(pumpTimeout);
    if (!event) return false;
    if (event->kind == PostedEvent::kReaderCheckState && !event->running) endHandled_ = true;
    DeliverPostedEvent(*event, *this, *detection);
    return true;
  }

  PostedEventQueue posted_;
  bool waitShown_ = false;
  bool endHandled_ = false;
};

}  // namespace kavonel::testing
