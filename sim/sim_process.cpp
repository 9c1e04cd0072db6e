#include "sim/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace kavonel {

std::string SimProcess::Program() {
  if (const char* env = std::getenv("KAVONEL_READER_SIM"); env && *env) return env;
#ifdef KAVONEL_READER_SIM_PATH
  return KAVONEL_READER_SIM_PATH;
#else
  return "reader-sim";
#endif
}

SimProcess::SimProcess(std::vector<std::string> arguments) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  const std::string program = Program();
  std::vector<std::string> args = {program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    pid_ = -1;
    close(out[0]);
    error_ = "cannot start " + program + ": " + std::strerror(rc);
    return;
  }
  // The first line is the port's path.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t end = line.find('\n');
  if (end == std::string::npos || end == 0) {
    error_ = program + " did not tell its port";
    Stop();
    return;
  }
  path_ = line.substr(0, end);
}

SimProcess::~SimProcess() {
  Stop();
}

bool SimProcess::WaitForExit(int timeoutMs) {
  if (pid_ < 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      exitStatus_ = status;
      pid_ = -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool SimProcess::Stop() {
  if (pid_ >= 0) {
    kill(pid_, SIGTERM);
    if (!WaitForExit(3000)) {
      kill(pid_, SIGKILL);
      WaitForExit(3000);
    }
  }
  return WIFEXITED(exitStatus_) && WEXITSTATUS(exitStatus_) == 0;
}

}  // namespace kavonel
