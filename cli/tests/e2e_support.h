// For the end-to-end tests: run a program and capture what it writes, and the monitor
// text an exchange should produce, written out independently of the monitor code.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "operations/tests/expected_dump.h"

namespace kavonel::testing {

struct ProcessResult {
  std::string out;
  std::string err;
  int exitCode = -1;
};

// Runs program with arguments, standard input closed; both outputs are read as they
// come, so neither pipe can fill up and stall the child.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args) {
  ProcessResult result;
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// A file's bytes; empty when it cannot be read.
inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits for a condition that the program under test brings about; the bound only keeps
// a broken build from hanging the suite.
template <class Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 3000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A program (kavonel-cli unless told) in the background, its outputs in files, for tests
// that signal it.
class Background {
 public:
  Background(const std::vector<std::string>& args, const std::filesystem::path& dir, uid_t user = 0,
             std::string program = KAVONEL_CLI_PATH)
      : dir_(dir) {
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen((dir / "stdout").c_str(), "w", stdout) ||
          !freopen((dir / "stderr").c_str(), "w", stderr)) {
        _exit(125);
      }
      if (user != 0 && (setgid(user) != 0 || setuid(user) != 0)) _exit(126);
      std::vector<char*> argv;
      argv.push_back(program.data());
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Background() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void Signal(int signal) { kill(pid_, signal); }
  pid_t Pid() const { return pid_; }
  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return false;
    }
    return true;
  }
  int Wait() {
    if (pid_ > 0) {
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
      exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exit_;
  }
  std::string Err() const { return Read(dir_ / "stderr"); }

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int exit_ = -1;
};

inline std::string Dump(const std::vector<uint8_t>& frame, bool tx) {
  return ExpectedDump(frame, tx);
}

}  // namespace kavonel::testing
