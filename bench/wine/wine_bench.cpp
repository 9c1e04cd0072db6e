// bench_wine: kavonel-cli.exe under Wine beside the Linux kavonel-cli, in the same run.
// 1. `run` of 2,000 commands against an instant reader-sim (behind COM5 for Windows).
// 2. CPU while waiting 3 s for a silent reader: a `check` that waits 3 s less one that
//    waits 1 ms, so that Wine's start-up cancels out; the program's CPU and the Wine
//    server's together.
// Needs what the Wine tests need: WINEPREFIX and KAVONEL_WINDOWS_BIN.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_script.h"
#include "wine_support.h"

using namespace std::chrono;
using kavonel::testing::ProcessResult;

namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// CPU seconds of the Wine servers (utime + stime of every wineserver process).
double WineServerCpu() {
  double total = 0;
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (!(comm >> name) || name.rfind("wineserver", 0) != 0) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string field;
    for (int i = 1; i <= 13 && stat >> field; ++i) {
    }
    long utime = 0, stime = 0;
    stat >> utime >> stime;
    total += static_cast<double>(utime + stime) / tick;
  }
  return total;
}

double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

struct Timed {
  ProcessResult result;
  double seconds;
  double cpu;  // the program's and the Wine servers'
};

template <typename Run>
Timed Measure(Run run) {
  const double cpu0 = ChildrenCpu() + WineServerCpu();
  const auto start = steady_clock::now();
  Timed t{run(), 0, 0};
  t.seconds = duration<double>(steady_clock::now() - start).count();
  t.cpu = ChildrenCpu() + WineServerCpu() - cpu0;
  return t;
}

}  // namespace

int main() {
  using namespace kavonel::testing;
  const std::string script = kavonel::bench::WriteBenchScript();
  const int commands = kavonel::bench::kScriptCommands;

  Timed onLinux, onWindows;
  {
    kavonel::SimProcess sim({"--instant"});
    if (!sim.Started()) return std::fprintf(stderr, "bench_wine: %s\n", sim.Error().c_str()), 1;
    RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script});  // warm-up
    onLinux = Measure([&] {
      return RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script});
    });
  }
  {
    WineReader reader({"--instant"});
    if (!reader.Ready()) return std::fprintf(stderr, "bench_wine: %s\n", reader.Error().c_str()), 1;
    const auto runIt = [&] {
      return RunWindows("kavonel-cli.exe", {"run", "--port", kWinePort, WinePath(script)});
    };
    runIt();  // warm-up
    onWindows = Measure(runIt);
  }
  const Timed startUp = Measure([] { return RunWindows("kavonel-cli.exe", {"--version"}); });
  if (onLinux.result.exitCode != 0 || onWindows.result.exitCode != 0) {
    std::fprintf(stderr, "bench_wine: a run failed (Linux %d, Windows %d): %s%s\n",
                 onLinux.result.exitCode, onWindows.result.exitCode, onLinux.result.err.c_str(),
                 onWindows.result.err.c_str());
    return 1;
  }
  const double linuxRate = commands / onLinux.seconds;
  const double windowsRate = commands / onWindows.seconds;
  std::printf(
      "kavonel-cli.exe run under Wine, %d commands: %8.0f commands/s (%.3f s, of which "
      "%.3f s Wine's start-up)\n",
      commands, windowsRate, onWindows.seconds, startUp.seconds);
  std::printf("baseline: Linux kavonel-cli run, same script: %8.0f commands/s (%.3f s)\n",
              linuxRate, onLinux.seconds);
  std::printf("ratio: %.2f of the Linux rate (goal: at least 0.5)\n", windowsRate / linuxRate);

  Timed waiting, short_;
  {
    WineReader reader({"--silent"});
    if (!reader.Ready()) return std::fprintf(stderr, "bench_wine: %s\n", reader.Error().c_str()), 1;
    short_ = Measure([] {
      return RunWindows("kavonel-cli.exe", {"check", "--port", kWinePort, "--timeout", "1"});
    });
    waiting = Measure([] {
      return RunWindows("kavonel-cli.exe", {"check", "--port", kWinePort, "--timeout", "3000"});
    });
  }
  const double waitSeconds = waiting.seconds - short_.seconds;
  const double share = (waiting.cpu - short_.cpu) / (waitSeconds > 0 ? waitSeconds : 3.0);
  std::printf(
      "CPU while waiting %.1f s for a silent reader under Wine: %.2f %% of a core "
      "(goal: under 2 %%; %.3f s CPU with the wait, %.3f s without)\n",
      waitSeconds, share * 100, waiting.cpu, short_.cpu);
  return 0;
}
