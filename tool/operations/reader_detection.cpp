// Reader detection: a worker thread asks the reader for its firmware version and tells
// the user-interface thread through the view's posted notifications.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "operations/operation_texts.h"
#include "operations/operations.h"
#include "link/com_port.h"
#include "link/frame.h"
#include "link/reader_requests.h"

namespace kavonel {

struct ReaderDetection::Shared {
  std::atomic<bool> checkRunning{false};
  std::atomic<bool> readerAnswered{false};
  std::atomic<bool> readerFound{false};

  std::mutex mutex;
  std::condition_variable changed;
  // Everything below is guarded by mutex.
  MainView* view = nullptr;  // null once detached: the worker then posts nothing
  std::vector<uint8_t> version = std::vector<uint8_t>(kVersionBufferSize, 0);
  std::string portProblem;  // why the port did not open; told after the end's status
  int workers = 0;        // started and not yet finished
  bool portBusy = false;  // one worker at a time on the port

  // Posting under the lock: DetachView cannot return while a post is under way.
  template <class Post>
  void ToView(Post post) {
    std::lock_guard<std::mutex> lock(mutex);
    if (view != nullptr) post(*view);
  }
  void PostText(const char* text) {
    ToView([text](MainView& v) { v.PostMonitorText(text); });
  }
};

namespace {

void RunReaderCheck(const std::shared_ptr<ReaderDetection::Shared>& shared, ComPort& port,
                    const ReaderSettings& settings, int readerType, DetectionTiming timing) {
  std::vector<uint8_t> buffer(kVersionBufferSize, 0);
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    std::fill(shared->version.begin(), shared->version.end(), 0);
    shared->portProblem.clear();
  }
  shared->checkRunning = true;
  shared->readerFound = false;
  shared->readerAnswered = false;
  shared->ToView([](MainView& v) { v.PostReaderCheckState(true); });

  if (port.Open(settings.strComPort, settings.nBaudRate) != COM_OK) {
    {
      std::string reason = port.OpenFailureReason();
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->portProblem = std::move(reason);
    }
    shared->PostText("\n");
    shared->PostText(texts::kPortOpenFailed);
  } else if (ExchangeFirmwareVersion(port, readerType, buffer.data()) != COM_OK) {
    shared->PostText("\n");
    shared->PostText(texts::kUnableToCommunicate);
  } else {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->version = buffer;
    }
    shared->readerAnswered = true;
    if (buffer[kStatusOffset] == 0) {
      shared->readerFound = true;
      shared->ToView([](MainView& v) { v.PostShowFirmwareVersion(); });
    }
  }
  std::this_thread::sleep_for(timing.beforeEnd);
  // Closed before the end is announced: the window enables the buttons on that notice,
  // and the next operation opens the same port.
  port.Close();
  shared->checkRunning = false;
  shared->ToView([](MainView& v) { v.PostReaderCheckState(false); });
}

void ReaderCheckThread(std::shared_ptr<ReaderDetection::Shared> shared, ComPort* port,
                       ReaderSettings settings, int readerType, DetectionTiming timing) {
  {
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->changed.wait(lock, [&] { return !shared->portBusy; });
    shared->portBusy = true;
  }
  std::this_thread::sleep_for(timing.beforeStart);
  RunReaderCheck(shared, *port, settings, readerType, timing);
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->portBusy = false;
    --shared->workers;
  }
  shared->changed.notify_all();
}

}  // namespace

ReaderDetection::ReaderDetection(MainView& view, ComPort& port, DetectionTiming timing)
    : view_(view), port_(port), timing_(timing), shared_(std::make_shared<Shared>()) {
  shared_->view = &view;
}

ReaderDetection::~ReaderDetection() {
  DetachView();
}

void ReaderDetection::DetachView() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->view = nullptr;
}

bool ReaderDetection::WaitForWorker(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  return shared_->changed.wait_for(lock, timeout, [&] { return shared_->workers == 0; });
}

void ReaderDetection::Start(const ReaderSettings& settings, int readerType) {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    ++shared_->workers;
  }
  std::thread(ReaderCheckThread, shared_, &port_, settings, readerType, timing_).detach();
}

void ReaderDetection::OnReaderCheckState(bool running) {
  if (running) {
    // Modal: the end notice is normally handled inside this call.
    view_.ShowWaitDialog();
    return;
  }
  view_.EndWaitDialog();
  if (shared_->readerAnswered) {
    view_.EnableButton(MainView::kCheckConnection);
    if (view_.LiveReaderType() != kReaderLark) view_.EnableButton(MainView::kRebootReader);
    view_.EnableButton(MainView::kResetToDefault);
    view_.EnableButton(MainView::kRunScript);
  }
  view_.EnableButton(MainView::kSettings);
  const char* text = shared_->readerFound ? texts::kReaderFound : texts::kReaderNotFound;
  view_.SetStatusLine(text);
  view_.ShowStatus(text);
  std::string portProblem;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    portProblem.swap(shared_->portProblem);
  }
  if (!portProblem.empty()) view_.ShowPortProblem(portProblem);
}

void ReaderDetection::OnShowFirmwareVersion() {
  const int readerType = view_.LiveReaderType();
  std::optional<std::string> text;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    text = FirmwareVersionText(readerType, shared_->version.data());
  }
  if (text) {
    view_.ShowFirmwareVersion(*text);
  } else {
    view_.AppendMonitorText("\n");
    view_.AppendMonitorText(texts::kNoVersionInfo);
  }
}

void ReaderDetection::ClearReaderAnswered() {
  shared_->readerAnswered = false;
}
bool ReaderDetection::CheckRunning() const {
  return shared_->checkRunning;
}
bool ReaderDetection::ReaderAnswered() const {
  return shared_->readerAnswered;
}
bool ReaderDetection::ReaderFound() const {
  return shared_->readerFound;
}

}  // namespace kavonel
