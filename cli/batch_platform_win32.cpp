// A batch's console on Windows: the console's control events and the readers' news as
// events, WaitForMultipleObjects for the wait.
#include <stdio.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <mutex>

#include "batch/port_watch.h"
#include "batch_platform.h"
#include "link/com_port.h"

namespace kavonel {
namespace {

// The console's control events, queued for the main loop; the handler runs on a thread
// of its own that the system starts for each event.
std::mutex g_interruptMutex;
std::string g_interrupts;
HANDLE g_interrupted = nullptr;  // manual reset: signalled while interrupts wait

void Post(char interrupt) {
  std::lock_guard<std::mutex> lock(g_interruptMutex);
  g_interrupts += interrupt;
  SetEvent(g_interrupted);
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      Post('i');
      return TRUE;
    case CTRL_BREAK_EVENT:
      Post('t');
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The process ends as soon as this returns, or when the system's grace (some
      // seconds) runs out: the readers are abandoned and the files written meanwhile,
      // and the main loop's exit ends the process.
      Post('t');
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

struct BatchWaiter::State {
  HANDLE wake = nullptr;  // manual reset: signalled until ClearWake
};

BatchWaiter::BatchWaiter() : state_(std::make_unique<State>()) {
  state_->wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

BatchWaiter::~BatchWaiter() {
  if (state_->wake != nullptr) CloseHandle(state_->wake);
}

bool BatchWaiter::CatchInterrupts() {
  if (g_interrupted == nullptr) g_interrupted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return state_->wake != nullptr && g_interrupted != nullptr &&
         SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

std::string BatchWaiter::TakeInterrupts() {
  std::lock_guard<std::mutex> lock(g_interruptMutex);
  std::string interrupts;
  interrupts.swap(g_interrupts);
  if (g_interrupted != nullptr) ResetEvent(g_interrupted);
  return interrupts;
}

void BatchWaiter::Wake() {
  SetEvent(state_->wake);
}

void BatchWaiter::ClearWake() {
  ResetEvent(state_->wake);
}

void BatchWaiter::Wait(const PortWatcher* watch, int timeoutMs) {
  HANDLE handles[3] = {g_interrupted, state_->wake, nullptr};
  DWORD count = 2;
  if (watch != nullptr) handles[count++] = reinterpret_cast<HANDLE>(watch->Handle());
  WaitForMultipleObjects(count, handles, FALSE,
                         timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

OpenFileRoom RaiseOpenFileLimit() {
  // Handles are plentiful; the C runtime's streams are not (512 unless raised), and each
  // reader's trace is one.
  OpenFileRoom room;
  room.perReader = 1;
  for (int wanted : {8192, 2048}) {
    if (_setmaxstdio(wanted) == wanted) break;
  }
  room.limit = static_cast<uint64_t>(_getmaxstdio());
  room.inUse = 3;
  return room;
}

std::string OpenFileLimitCommand(uint64_t) {
  return {};
}

bool StandardErrorIsLive() {
  // A console takes the cursor movements of the live lines once asked to (Windows 10
  // and later); a pipe, a file or an older console gets plain lines.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (error == INVALID_HANDLE_VALUE || !GetConsoleMode(error, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_s(&local, &time);
  return local;
}

std::string PortIdentity(const std::string& port) {
  // Device names are not case-sensitive: COM5 and com5 are one port.
  std::string device = DevicePathForPort(port);
  std::transform(device.begin(), device.end(), device.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return device;
}

}  // namespace kavonel
