// bench_batch: `kavonel-cli run` of one 200-command script on N = 1, 4, 16 and 32
// readers at once, each a reader-sim that answers as a real line at 115200 baud would
// (--wire-baud). Prints each wall time beside N = 1's of the same run, and the
// process's CPU time per reader. Goal: 16 readers in at most 1.15 times the time of
// one, 32 in at most 1.3 times.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/sim_process.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr int kCommands = 200;

struct Timing {
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system of the kavonel-cli process
  int exitCode = -1;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

Timing RunCli(const std::vector<std::string>& args) {
  Timing timing;
  const auto start = steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv{const_cast<char*>(KAVONEL_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KAVONEL_CLI_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  timing.wallSeconds = duration<double>(steady_clock::now() - start).count();
  timing.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  timing.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return timing;
}

}  // namespace

int main() {
  const fs::path dir =
      fs::temp_directory_path() / ("kavonel-bench-batch-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path script = dir / "200.txt";
  {
    std::ofstream out(script);
    for (int i = 0; i < kCommands / 2; ++i) {
      out << "pollmode set 01 end\n";
      out << "configuration set\n  9F1A 02 0840\n  5F2A 02 0978\nend\n";
    }
  }
  std::printf("%d commands per reader, reader-sim --wire-baud 115200\n", kCommands);
  std::printf("%8s %10s %12s %16s\n", "readers", "wall s", "vs 1 reader", "CPU ms/reader");
  double single = 0;
  for (int n : {1, 4, 16, 32}) {
    const std::string prefix = (dir / ("n" + std::to_string(n) + "-r")).string();
    kavonel::SimProcess sims(
        {"--count", std::to_string(n), "--link", prefix, "--wire-baud", "115200"});
    if (!sims.Started()) {
      std::fprintf(stderr, "bench_batch: reader-sim did not start: %s\n", sims.Error().c_str());
      return 1;
    }
    const std::vector<std::string> args = {"run",
                                           "--ports",
                                           prefix + "*",
                                           "--log-dir",
                                           (dir / ("logs" + std::to_string(n))).string(),
                                           script.string()};
    RunCli(args);  // warm-up: page cache, the readers' first answers
    const Timing t = RunCli(args);
    if (t.exitCode != 0) {
      std::fprintf(stderr, "bench_batch: kavonel-cli ended with %d for %d readers\n", t.exitCode,
                   n);
      return 1;
    }
    if (n == 1) single = t.wallSeconds;
    std::printf("%8d %10.3f %11.2fx %16.1f\n", n, t.wallSeconds, t.wallSeconds / single,
                1000.0 * t.cpuSeconds / n);
  }
  std::printf("goal: 16 readers <= 1.15x, 32 readers <= 1.30x of one reader\n");
  fs::remove_all(dir);
  return 0;
}
