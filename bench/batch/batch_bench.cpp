// bench_batch: `kavonel-cli run` of one 200-command script on N = 1, 32, 128 and 256
// readers at once, each a reader-sim that answers as a real line at 115200 baud would
// (--wire-baud). Prints each wall time beside N = 1's of the same run; kavonel-cli's CPU
// per command beside a bare loop's on the same readers (one thread a reader: write the
// request, wait, read the 16-byte answer, append the trace text to a file), and
// reader-sim's CPU apart: on a real line the readers do that work themselves; the bare
// loop's wall time shows what the host and reader-sim allow at all. What a run
// costs whatever its length (the program's start, the port list, a thread and files a
// reader) is measured with a two-command script on the same readers and taken out, for
// both: the figures are per command.
// Goals: kavonel-cli's CPU per command at most 2x the bare loop's at 256 readers; 128
// readers in at most 1.5x one reader's wall time.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_process.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr int kCommands = 200;
constexpr int kShort = 2;  // the run that measures what does not depend on the commands
constexpr size_t kAnswer = 16;

struct Timing {
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system of the process and its threads
  int exitCode = -1;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs body in a child process; its wall and CPU time.
template <class Body>
Timing InChild(Body body) {
  Timing timing;
  std::fflush(stdout);  // or the child's freopen writes our lines a second time
  const auto start = steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  timing.wallSeconds = duration<double>(steady_clock::now() - start).count();
  timing.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  timing.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return timing;
}

// kavonel-cli with args, standard output to out (or nowhere), standard error nowhere.
Timing RunCli(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
  return InChild([&] {
    if (!std::freopen("/dev/null", "w", stderr) || !std::freopen(out.c_str(), "w", stdout)) {
      return 126;
    }
    std::vector<char*> argv{const_cast<char*>(KAVONEL_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KAVONEL_CLI_PATH, argv.data());
    return 127;
  });
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The requests a reader-sim --record wrote, one hex line each.
std::vector<std::vector<uint8_t>> ReadRequests(const fs::path& record) {
  std::vector<std::vector<uint8_t>> requests;
  std::istringstream lines(ReadFile(record));
  for (std::string line; std::getline(lines, line);) {
    std::vector<uint8_t> bytes;
    std::istringstream hex(line);
    for (std::string byte; hex >> byte;) {
      bytes.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
    }
    if (!bytes.empty()) requests.push_back(std::move(bytes));
  }
  return requests;
}

// One reader as a bare loop drives it: the floor of what a command costs.
bool BareReader(const std::string& port, const fs::path& tracePath,
                const std::vector<std::vector<uint8_t>>& requests, const std::string& traceText) {
  const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  std::FILE* trace = std::fopen(tracePath.c_str(), "wb");
  bool ok = trace != nullptr;
  for (const std::vector<uint8_t>& request : requests) {
    if (!ok) break;
    for (size_t done = 0; ok && done < request.size();) {
      const ssize_t n = write(fd, request.data() + done, request.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
      pollfd p{fd, POLLOUT, 0};
      if (n <= 0) ok = poll(&p, 1, 10000) > 0;
    }
    uint8_t answer[kAnswer];
    for (size_t have = 0; ok && have < kAnswer;) {
      pollfd p{fd, POLLIN, 0};
      ok = poll(&p, 1, 10000) > 0;
      const ssize_t n = ok ? read(fd, answer + have, kAnswer - have) : -1;
      if (n > 0) have += static_cast<size_t>(n);
    }
    if (ok) std::fwrite(traceText.data(), 1, traceText.size(), trace);
  }
  if (trace != nullptr) std::fclose(trace);
  close(fd);
  return ok;
}

// The link of reader i of n (one reader's link is the prefix itself).
std::string LinkOf(const std::string& prefix, int i, int n) {
  return n == 1 ? prefix : prefix + std::to_string(i);
}

Timing RunBare(const std::string& prefix, int n, const fs::path& logs,
               const std::vector<std::vector<uint8_t>>& requests, const std::string& traceText) {
  fs::create_directories(logs);
  return InChild([&] {
    std::vector<std::thread> threads;
    std::vector<char> ok(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
      threads.emplace_back([&, i] {
        const std::string name = "r" + std::to_string(i + 1);
        ok[static_cast<size_t>(i)] =
            BareReader(LinkOf(prefix, i + 1, n), logs / (name + ".log"), requests, traceText);
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (char good : ok) {
      if (!good) return 1;
    }
    return 0;
  });
}

// CPU seconds of a reader-sim and its readers (one process each) so far.
double SimCpuSeconds(pid_t sim) {
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  double total = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    // pid (comm) state ppid ... utime stime: fields 14 and 15, counted after the comm.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    std::string state;
    long ppid = 0;
    fields >> state >> ppid;
    const long pid = std::atol(entry.path().filename().c_str());
    if (pid != sim && ppid != sim) continue;
    std::string skip;
    for (int i = 0; i < 9; ++i) fields >> skip;
    unsigned long long utime = 0, stime = 0;
    fields >> utime >> stime;
    total += static_cast<double>(utime + stime) / tick;
  }
  return total;
}

// reader-sim prints its readers' paths as they come up: the links are all there first.
bool LinksThere(const std::string& prefix, int n) {
  for (int i = 0; i < 3000; ++i) {
    if (fs::exists(LinkOf(prefix, n, n))) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

}  // namespace

int main() {
  // 256 readers hold more files than some default limits allow; kavonel-cli raises its
  // own, the bare loop here needs the same.
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  const fs::path dir =
      fs::temp_directory_path() / ("kavonel-bench-batch-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path script = dir / "200.txt";
  const fs::path shortScript = dir / "2.txt";
  for (const auto& [path, count] : {std::pair{script, kCommands}, std::pair{shortScript, kShort}}) {
    std::ofstream out(path);
    for (int i = 0; i < count / 2; ++i) {
      out << "pollmode set 01 end\n";
      out << "configuration set\n  9F1A 02 0840\n  5F2A 02 0978\nend\n";
    }
  }

  // The bare loop sends what kavonel-cli sends and writes as much trace text a command.
  std::vector<std::vector<uint8_t>> requests;
  std::string traceText;
  {
    kavonel::SimProcess recorder({"--record", (dir / "requests.txt").string()});
    if (!recorder.Started()) {
      std::fprintf(stderr, "bench_batch: reader-sim did not start: %s\n",
                   recorder.Error().c_str());
      return 1;
    }
    const Timing t =
        RunCli({"run", "--port", recorder.Path(), script.string()}, (dir / "trace").string());
    recorder.Stop();
    requests = ReadRequests(dir / "requests.txt");
    const std::string trace = ReadFile(dir / "trace");
    if (t.exitCode != 0 || requests.size() != kCommands) {
      std::fprintf(stderr, "bench_batch: the single run ended with %d, %zu requests\n",
                   t.exitCode, requests.size());
      return 1;
    }
    traceText = trace.substr(0, trace.size() / kCommands);
  }

  std::printf("%d commands per reader (%zu- and %zu-byte requests, 16-byte answers, %zu bytes "
              "of trace each), reader-sim --wire-baud 115200\n",
              kCommands, requests[0].size(), requests[1].size(), traceText.size());
  std::printf("%8s %9s %11s %11s | %17s %17s %8s | %19s\n", "readers", "wall s", "vs 1 reader",
              "bare wall s", "kavonel-cli us/cmd", "bare loop us/cmd", "ratio",
              "reader-sim us/cmd");
  double single = 0;
  for (int n : {1, 32, 128, 256}) {
    const std::string prefix = (dir / ("n" + std::to_string(n) + "-r")).string();
    kavonel::SimProcess sims(
        {"--count", std::to_string(n), "--link", prefix, "--wire-baud", "115200"});
    if (!sims.Started() || !LinksThere(prefix, n)) {
      std::fprintf(stderr, "bench_batch: reader-sim did not start: %s\n", sims.Error().c_str());
      return 1;
    }
    const auto args = [&](const fs::path& file) {
      return std::vector<std::string>{"run",       "--ports", prefix + "*",
                                      "--log-dir", (dir / ("logs" + std::to_string(n))).string(),
                                      file.string()};
    };
    if (n == 1) RunCli(args(script));  // warm-up: page cache, the readers' first answers
    const Timing fixed = RunCli(args(shortScript));
    const double simBefore = SimCpuSeconds(sims.Pid());
    const Timing t = RunCli(args(script));
    const double simCpu = SimCpuSeconds(sims.Pid()) - simBefore;
    if (t.exitCode != 0 || fixed.exitCode != 0) {
      std::fprintf(stderr, "bench_batch: kavonel-cli ended with %d for %d readers\n",
                   t.exitCode != 0 ? t.exitCode : fixed.exitCode, n);
      return 1;
    }
    const fs::path bareLogs = dir / ("bare" + std::to_string(n));
    const std::vector<std::vector<uint8_t>> shortRequests(requests.begin(),
                                                          requests.begin() + kShort);
    const Timing bareFixed = RunBare(prefix, n, bareLogs, shortRequests, traceText);
    const Timing bare = RunBare(prefix, n, bareLogs, requests, traceText);
    if (bare.exitCode != 0 || bareFixed.exitCode != 0) {
      std::fprintf(stderr, "bench_batch: the bare loop failed for %d readers\n", n);
      return 1;
    }
    if (n == 1) single = t.wallSeconds;
    const double commands = static_cast<double>(n) * (kCommands - kShort);
    const double cli = std::max(0.0, t.cpuSeconds - fixed.cpuSeconds) / commands;
    const double floor = std::max(1e-9, bare.cpuSeconds - bareFixed.cpuSeconds) / commands;
    std::printf("%8d %9.3f %10.2fx %11.3f | %17.1f %17.1f %7.2fx | %19.1f\n", n, t.wallSeconds,
                t.wallSeconds / single, bare.wallSeconds, 1e6 * cli, 1e6 * floor, cli / floor,
                1e6 * simCpu / (static_cast<double>(n) * kCommands));
    fs::remove_all(dir / ("logs" + std::to_string(n)));
    fs::remove_all(dir / ("bare" + std::to_string(n)));
  }
  std::printf(
      "goals: kavonel-cli CPU a command <= 2x the bare loop's at 256 readers; 128 readers <= "
      "1.5x one reader's wall time\n");
  fs::remove_all(dir);
  return 0;
}
