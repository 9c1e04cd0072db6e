// bench_wine: kavonel-cli.exe under Wine beside the Linux kavonel-cli, in the same run.
// 1. `run` of 2,000 commands against an instant reader-sim (behind COM5 for Windows),
//    beside the barest request/answer loops a Windows program can run under Wine
//    (wine_ping_pong.exe, without and with overlapped I/O): the ceilings. Medians of
//    three runs.
// 2. CPU while waiting for a silent reader: the CPU time kavonel-cli.exe and its Wine
//    server spend inside the wait alone, sampled once the reader has the request and
//    again 2.5 s later, inside a 3 s wait, less what the server spends in 2.5 s with no
//    program running (it serves the prefix's own services too); three waits added up.
// 3. The window, Kavonel.exe, driven by kavonel_window_driver.exe: the same script run
//    through its open-file dialog, from the click on Open to the status reporter, beside
//    kavonel-cli.exe's run (medians of three); and the CPU of the window and the Wine
//    server while the window's own thread waits for a silent reader's answer to a check.
// Needs what the Wine tests need: WINEPREFIX, KAVONEL_WINDOWS_BIN, and for the window an
// X display (DISPLAY).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_script.h"
#include "wine_support.h"

using namespace std::chrono;
using kavonel::testing::ProcessResult;

namespace {

// utime + stime of a process and all its threads, in seconds; 0 once it is gone.
double ProcessCpu(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  // The name in parentheses may hold spaces: count the fields from behind it.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  for (int i = 3; i <= 13 && fields >> field; ++i) {
  }
  long utime = 0, stime = 0;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The Wine servers of our prefix (others on the machine serve other developers).
std::vector<pid_t> OurWineServers() {
  const std::string prefix = "WINEPREFIX=" + kavonel::testing::EnvOr("WINEPREFIX", "");
  std::vector<pid_t> servers;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (!(comm >> name) || name.rfind("wineserver", 0) != 0) continue;
    std::ifstream environ(entry.path() / "environ");
    std::string variable;
    while (std::getline(environ, variable, '\0')) {
      if (variable == prefix) {
        servers.push_back(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
        break;
      }
    }
  }
  return servers;
}

// Runs a Windows program under Wine with its outputs thrown away; its process id.
pid_t StartWindows(const std::string& program, const std::vector<std::string>& args) {
  const std::string wine = kavonel::testing::EnvOr("KAVONEL_WINE", "/usr/lib/wine/wine64");
  std::vector<std::string> all = {wine, kavonel::testing::WindowsBin() + "/" + program};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, 0);
    dup2(devNull, 1);
    dup2(devNull, 2);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(wine.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// The CPU seconds the Wine servers have used so far.
double ServersCpu(const std::vector<pid_t>& servers) {
  double total = 0;
  for (pid_t server : servers) total += ProcessCpu(server);
  return total;
}

// What the Wine servers use in 2.5 s with no program of ours running (they serve the
// prefix's own services too): the baseline of a wait's figure.
double IdleServersCpu(const std::vector<pid_t>& servers) {
  const double before = ServersCpu(servers);
  std::this_thread::sleep_for(milliseconds(2500));
  return ServersCpu(servers) - before;
}

struct CpuSample {
  double program = 0;     // seconds of CPU of kavonel-cli.exe
  double server = 0;      // and of the Wine server (which also serves the prefix's services)
  double idleServer = 0;  // of the Wine server in as long a time with no program running
  double wall = 0;        // seconds of the wait they were taken in; 0: the wait was not caught
};

// The CPU that kavonel-cli.exe and the Wine server use while the program waits for a
// silent reader.
CpuSample WaitingCpu() {
  const std::string record =
      (std::filesystem::temp_directory_path() / ("kavonel-bench-wait-" + std::to_string(getpid())))
          .string();
  std::filesystem::remove(record);
  kavonel::testing::WineReader reader({"--silent", "--record", record});
  if (!reader.Ready()) return {};
  const std::vector<pid_t> servers = OurWineServers();
  const auto serverCpu = [&servers] { return ServersCpu(servers); };
  const double idle = IdleServersCpu(servers);
  const pid_t program = StartWindows(
      "kavonel-cli.exe", {"check", "--port", kavonel::testing::kWinePort, "--timeout", "3000"});
  // The reader records the request as it gets it; from then on the program waits.
  const auto giveUp = steady_clock::now() + seconds(30);
  const auto recorded = [&record] {
    std::error_code error;
    const auto size = std::filesystem::file_size(record, error);
    return !error && size > 0;
  };
  while (!recorded() && steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  std::this_thread::sleep_for(milliseconds(200));  // the program reaches its wait
  const double program0 = ProcessCpu(program), server0 = serverCpu();
  const auto start = steady_clock::now();
  std::this_thread::sleep_for(milliseconds(2500));
  const double program1 = ProcessCpu(program), server1 = serverCpu();
  const double wall = duration<double>(steady_clock::now() - start).count();
  int status = 0;
  waitpid(program, &status, 0);
  std::filesystem::remove(record);
  if (steady_clock::now() >= giveUp) return {};
  return {program1 - program0, server1 - server0, idle * wall / 2.5, wall};
}

// The Windows name of a Linux path, with backslashes.
std::string WindowsName(const std::string& path) {
  std::string name = kavonel::testing::WinePath(path);
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// A folder of its own with Kavonel.exe and Quassel.dll (the log goes beside them).
std::filesystem::path WindowFolder() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("kavonel-bench-window-" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (const char* file : {"Kavonel.exe", "Quassel.dll"}) {
    fs::copy_file(fs::path(kavonel::testing::WindowsBin()) / file, dir / file,
                  fs::copy_options::overwrite_existing);
  }
  return dir;
}

// The driver's steps up to the main window, the reader behind COM5 found.
std::string StartedWindow(const std::filesystem::path& dir) {
  const std::string main = "Orvessa Reader Configuration Tool (Version 1.3.3)";
  return "start " + WindowsName((dir / "Kavonel.exe").string()) +
         "\nwait Configuration Tool - Settings\nsettext 1001 COM5\nclick 1004\n"
         "wait Status Reporter\nclick 1018\ngone Status Reporter\nwait " + main + "\n";
}

// Seconds from the click on Open to the run's status reporter; 0 when it failed.
double WindowRunSeconds(const std::filesystem::path& dir, const std::string& script) {
  const std::string main = "Orvessa Reader Configuration Tool (Version 1.3.3)";
  const std::string steps = StartedWindow(dir) + "click 1015\nopen " + WindowsName(script) +
                            "\nmark\nwait Status Reporter\nelapsed\nclick 1018\nwait " + main +
                            "\nclose\nexit\n";
  const std::filesystem::path file = dir / "run-steps.txt";
  std::ofstream(file, std::ios::binary) << steps;
  const ProcessResult r =
      kavonel::testing::RunWindows("kavonel_window_driver.exe", {WindowsName(file.string())});
  const size_t at = r.out.find("elapsed: ");
  if (r.exitCode != 0 || at == std::string::npos) {
    std::fprintf(stderr, "bench_wine: the window's run failed: %s%s\n", r.out.c_str(), r.err.c_str());
    return 0;
  }
  return std::atof(r.out.c_str() + at + 9) / 1000.0;
}

// The Kavonel.exe of our prefix, once it runs.
pid_t WindowProcess() {
  const std::string prefix = "WINEPREFIX=" + kavonel::testing::EnvOr("WINEPREFIX", "");
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream cmdline(entry.path() / "cmdline");
    std::string command((std::istreambuf_iterator<char>(cmdline)), {});
    if (command.find("Kavonel.exe") == std::string::npos) continue;
    std::ifstream environ(entry.path() / "environ");
    std::string variable;
    while (std::getline(environ, variable, '\0')) {
      if (variable == prefix) return static_cast<pid_t>(std::stoi(entry.path().filename().string()));
    }
  }
  return -1;
}

// The CPU of the window and the Wine server while the window waits on its own thread
// for a reader that answered detection and then falls silent (a check's answer).
CpuSample WindowWaitingCpu(const std::filesystem::path& dir) {
  const std::string record = (dir / "record").string();
  std::filesystem::remove(record);
  kavonel::testing::WineReader reader({"--silent-after", "1", "--record", record});
  if (!reader.Ready()) return {};
  const std::vector<pid_t> servers = OurWineServers();
  const auto serverCpu = [&servers] { return ServersCpu(servers); };
  const double idle = IdleServersCpu(servers);
  const std::filesystem::path file = dir / "wait-steps.txt";
  std::ofstream(file, std::ios::binary)
      << StartedWindow(dir) << "click 1010\nsleep 4000\nuntil-enabled 1010\nclose\nexit\n";
  const pid_t driver = StartWindows("kavonel_window_driver.exe", {WindowsName(file.string())});
  // The reader records each request as it gets it: the version request, then the check's.
  const auto giveUp = steady_clock::now() + seconds(60);
  const auto recordSize = [&record] {
    std::error_code error;
    const auto size = std::filesystem::file_size(record, error);
    return error ? 0 : size;
  };
  while (recordSize() == 0 && steady_clock::now() < giveUp) std::this_thread::sleep_for(milliseconds(5));
  const auto afterDetection = recordSize();
  while (recordSize() <= afterDetection && steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  std::this_thread::sleep_for(milliseconds(300));  // the window reaches its wait
  const pid_t window = WindowProcess();
  const double program0 = ProcessCpu(window), server0 = serverCpu();
  const auto start = steady_clock::now();
  std::this_thread::sleep_for(milliseconds(2500));
  const double program1 = ProcessCpu(window), server1 = serverCpu();
  const double wall = duration<double>(steady_clock::now() - start).count();
  int status = 0;
  waitpid(driver, &status, 0);
  if (window < 0 || steady_clock::now() >= giveUp || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return {};
  }
  return {program1 - program0, server1 - server0, idle * wall / 2.5, wall};
}

// The exchanges per second wine_ping_pong.exe reports, or 0.
double PingPongRate(const std::vector<std::string>& mode) {
  std::vector<std::string> args = {kavonel::testing::kWinePort, "2000"};
  args.insert(args.end(), mode.begin(), mode.end());
  const ProcessResult r = kavonel::testing::RunWindows("wine_ping_pong.exe", args);
  return r.exitCode == 0 ? std::atof(r.out.c_str()) : 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Seconds(const std::function<ProcessResult()>& run, ProcessResult& result) {
  const auto start = steady_clock::now();
  result = run();
  return duration<double>(steady_clock::now() - start).count();
}

}  // namespace

int main() {
  using namespace kavonel::testing;
  const std::string script = kavonel::bench::WriteBenchScript();
  const int commands = kavonel::bench::kScriptCommands;

  // The machine is shared: each figure is the median of three runs, taken in turn.
  constexpr int kRuns = 3;
  ProcessResult onLinux, onWindows, startUp;
  std::vector<double> linuxTimes, windowsTimes, bareRates, overlappedRates;
  {
    kavonel::SimProcess sim({"--instant"});
    if (!sim.Started()) return std::fprintf(stderr, "bench_wine: %s\n", sim.Error().c_str()), 1;
    WineReader reader({"--instant"});
    if (!reader.Ready()) return std::fprintf(stderr, "bench_wine: %s\n", reader.Error().c_str()), 1;
    const auto runLinux = [&] {
      return RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script});
    };
    const auto runWindows = [&] {
      return RunWindows("kavonel-cli.exe", {"run", "--port", kWinePort, WinePath(script)});
    };
    runLinux();  // warm-up
    runWindows();
    for (int i = 0; i < kRuns; ++i) {
      linuxTimes.push_back(Seconds(runLinux, onLinux));
      windowsTimes.push_back(Seconds(runWindows, onWindows));
      bareRates.push_back(PingPongRate({}));
      overlappedRates.push_back(PingPongRate({"overlapped"}));
      if (onLinux.exitCode != 0 || onWindows.exitCode != 0) break;
    }
  }
  const double startUpSeconds =
      Seconds([] { return RunWindows("kavonel-cli.exe", {"--version"}); }, startUp);
  if (onLinux.exitCode != 0 || onWindows.exitCode != 0) {
    std::fprintf(stderr, "bench_wine: a run failed (Linux %d, Windows %d): %s%s\n",
                 onLinux.exitCode, onWindows.exitCode, onLinux.err.c_str(), onWindows.err.c_str());
    return 1;
  }
  const double linuxSeconds = Median(linuxTimes), windowsSeconds = Median(windowsTimes);
  const double bare = Median(bareRates), bareOverlapped = Median(overlappedRates);
  const double linuxRate = commands / linuxSeconds;
  const double windowsRate = commands / windowsSeconds;
  std::printf(
      "kavonel-cli.exe run under Wine, %d commands: %8.0f commands/s (%.3f s, of which "
      "%.3f s Wine's start-up)\n",
      commands, windowsRate, windowsSeconds, startUpSeconds);
  std::printf("baseline: Linux kavonel-cli run, same script:    %8.0f commands/s (%.3f s)\n",
              linuxRate, linuxSeconds);
  std::printf("ratio: %.2f of the Linux rate (goal: at least 0.5)\n", windowsRate / linuxRate);
  std::printf(
      "ceilings under Wine, bare WriteFile + ReadFile of a 16-byte answer, nothing else:\n"
      "  without overlapped I/O: %8.0f exchanges/s (%.2f of the Linux rate)\n"
      "  overlapped, waited for: %8.0f exchanges/s (%.2f of the Linux rate)\n",
      bare, bare / linuxRate, bareOverlapped, bareOverlapped / linuxRate);

  // CPU time comes in clock ticks: the three waits are added up, for a finer figure.
  CpuSample total;
  double least = 1, most = 0;
  for (int i = 0; i < 3; ++i) {
    const CpuSample sample = WaitingCpu();
    if (sample.wall <= 0) return std::fprintf(stderr, "bench_wine: no wait caught\n"), 1;
    total.program += sample.program;
    total.server += sample.server;
    total.idleServer += sample.idleServer;
    total.wall += sample.wall;
    // Tick-grained figures: the server's part is never taken below nothing.
    const double share =
        (sample.program + std::max(0.0, sample.server - sample.idleServer)) / sample.wall;
    least = std::min(least, share);
    most = std::max(most, share);
  }
  const auto percent = [&total](double seconds) { return seconds / total.wall * 100; };
  std::printf(
      "CPU while waiting 3 s for a silent reader under Wine: %.2f %% of a core over %.1f s "
      "of three waits (goal: under 2 %%; each wait %.2f .. %.2f %%)\n"
      "  kavonel-cli.exe %.2f %%, Wine server %.2f %% beside its %.2f %% with no program "
      "running (baseline)\n",
      percent(total.program + std::max(0.0, total.server - total.idleServer)), total.wall,
      least * 100, most * 100, percent(total.program), percent(total.server),
      percent(total.idleServer));

  // The window: the same script through the open-file dialog, beside kavonel-cli.exe.
  const std::filesystem::path dir = WindowFolder();
  std::vector<double> windowTimes;
  {
    WineReader reader({"--instant"});
    if (!reader.Ready()) return std::fprintf(stderr, "bench_wine: %s\n", reader.Error().c_str()), 1;
    for (int i = 0; i < kRuns; ++i) {
      const double seconds = WindowRunSeconds(dir, script);
      if (seconds <= 0) return 1;
      windowTimes.push_back(seconds);
    }
  }
  const double windowSeconds = Median(windowTimes);
  std::printf(
      "Kavonel.exe under Wine, the same script from Open to the reporter: %8.0f commands/s "
      "(%.3f s)\n"
      "baseline: kavonel-cli.exe run above, %.3f s (%.3f s without Wine's start-up)\n"
      "ratio: %.2f times kavonel-cli.exe's time (goal: at most 1.2); %.2f times its run alone\n",
      commands / windowSeconds, windowSeconds, windowsSeconds, windowsSeconds - startUpSeconds,
      windowSeconds / windowsSeconds, windowSeconds / std::max(1e-3, windowsSeconds - startUpSeconds));
  CpuSample window;
  for (int i = 0; i < 3; ++i) {
    const CpuSample sample = WindowWaitingCpu(dir);
    if (sample.wall <= 0) return std::fprintf(stderr, "bench_wine: no window wait caught\n"), 1;
    window.program += sample.program;
    window.server += sample.server;
    window.idleServer += sample.idleServer;
    window.wall += sample.wall;
  }
  const auto windowPercent = [&window](double seconds) { return seconds / window.wall * 100; };
  std::printf(
      "CPU of the window waiting on its own thread for a silent reader under Wine: %.2f %% of a "
      "core over %.1f s of three waits (goal: under 1 %%)\n"
      "  Kavonel.exe %.2f %%, Wine server %.2f %% beside its %.2f %% with no program running "
      "(baseline)\n",
      windowPercent(window.program + std::max(0.0, window.server - window.idleServer)), window.wall,
      windowPercent(window.program), windowPercent(window.server), windowPercent(window.idleServer));
  std::filesystem::remove_all(dir);
  return 0;
}
