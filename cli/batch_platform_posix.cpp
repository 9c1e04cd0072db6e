// A batch's console on Linux: signals and wake-ups as bytes on pipes, poll for the wait.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "batch/port_watch.h"
#include "batch_platform.h"
#include "link/com_port.h"

namespace kavonel {
namespace {

// Ctrl-C and SIGTERM, as bytes on a pipe that the main loop polls.
int g_signalPipe[2] = {-1, -1};
void OnSignal(int signal) {
  const char c = signal == SIGINT ? 'i' : 't';
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

}  // namespace

struct BatchWaiter::State {
  int wake[2] = {-1, -1};
};

BatchWaiter::BatchWaiter() : state_(std::make_unique<State>()) {
  ::pipe2(state_->wake, O_CLOEXEC | O_NONBLOCK);
}

BatchWaiter::~BatchWaiter() {
  for (int fd : state_->wake) {
    if (fd >= 0) ::close(fd);
  }
}

bool BatchWaiter::CatchInterrupts() {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return true;
}

std::string BatchWaiter::TakeInterrupts() {
  std::string interrupts;
  char c;
  while (::read(g_signalPipe[0], &c, 1) == 1) interrupts += c;
  return interrupts;
}

void BatchWaiter::Wake() {
  const char c = 'w';
  [[maybe_unused]] const ssize_t n = ::write(state_->wake[1], &c, 1);
}

void BatchWaiter::ClearWake() {
  char buffer[256];
  while (::read(state_->wake[0], buffer, sizeof buffer) > 0) {
  }
}

void BatchWaiter::Wait(const PortWatcher* watch, int timeoutMs) {
  pollfd fds[3] = {{g_signalPipe[0], POLLIN, 0},
                   {state_->wake[0], POLLIN, 0},
                   {watch != nullptr ? static_cast<int>(watch->Handle()) : -1, POLLIN, 0}};
  ::poll(fds, watch != nullptr ? 3 : 2, timeoutMs);
}

OpenFileRoom RaiseOpenFileLimit() {
  OpenFileRoom room;
  room.perReader = 3;  // the port, the eventfd that wakes its waits, the trace
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return room;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return room;
  room.limit = limit.rlim_cur;
  room.inUse = 3;
  if (DIR* fds = opendir("/proc/self/fd")) {
    uint64_t count = 0;
    while (const dirent* entry = readdir(fds)) count += entry->d_name[0] != '.';
    closedir(fds);
    room.inUse = count > 0 ? count - 1 : 0;  // less the listing's own
  }
  return room;
}

std::string OpenFileLimitCommand(uint64_t need) {
  const std::string n = std::to_string(need);
  // A root shell raises its own hard limit; anyone else's needs root to raise it.
  if (geteuid() == 0) return "ulimit -n " + n;
  return "sudo prlimit --pid $$ --nofile=" + n + ":" + n;
}

bool StandardErrorIsLive() {
  return ::isatty(STDERR_FILENO) == 1;
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

std::string PortIdentity(const std::string& port) {
  std::error_code error;
  const std::string device = std::filesystem::canonical(DevicePathForPort(port), error).string();
  return error ? std::string() : device;
}

}  // namespace kavonel
