// The platform's side of a batch on the console: Ctrl-C and its kin, waking the main loop
// from the readers' threads, the wait itself, and what the console, the clock and the
// system say of a port. One file per platform (batch_platform_posix.cpp,
// batch_platform_win32.cpp); the loop itself is batch_command.cpp, the same everywhere.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace kavonel {

class PortWatcher;

class BatchWaiter {
 public:
  BatchWaiter();
  ~BatchWaiter();
  BatchWaiter(const BatchWaiter&) = delete;
  BatchWaiter& operator=(const BatchWaiter&) = delete;

  // From now on Ctrl-C and the demands to end (SIGTERM; Ctrl-Break and the console's
  // closing on Windows) reach TakeInterrupts instead of ending the process.
  bool CatchInterrupts();
  // The interrupts since the last call, in order: 'i' for Ctrl-C, 't' for a demand to
  // end at once.
  std::string TakeInterrupts();

  // From any thread: the main loop's Wait returns, now or at its next call.
  void Wake();
  // On the main loop, before it looks at what woke it: a Wake from now on counts again.
  void ClearWake();

  // Until an interrupt, a Wake, a change of the watch's ports (watch may be null) or
  // timeoutMs (-1: no limit).
  void Wait(const PortWatcher* watch, int timeoutMs);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Room for open files: the soft limit raised to the hard one, as servers do at their
// start, and what one reader holds while it runs.
struct OpenFileRoom {
  uint64_t limit = 0;  // files this process may have open now; 0: no limit worth counting
  uint64_t inUse = 0;  // open now
  unsigned perReader = 0;
};
OpenFileRoom RaiseOpenFileLimit();
// The command that lets the operator's next run have need open files; empty where there
// is none.
std::string OpenFileLimitCommand(uint64_t need);

// Standard error is a terminal that takes the live lines' cursor movements.
bool StandardErrorIsLive();
// The local time, for the default folder's name.
std::tm LocalTime(std::time_t time);
// What names one port whatever the spelling (a link and its device, COM5 and com5):
// empty when the system does not know it.
std::string PortIdentity(const std::string& port);

}  // namespace kavonel
