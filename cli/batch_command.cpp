// kavonel-cli on many readers: the console of the batch engine, the same on every
// platform but for the waiting (batch_platform.h).
#include "batch_command.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "batch/batch_report.h"
#include "batch/batch_runner.h"
#include "batch/port_watch.h"
#include "batch/shared_script.h"
#include "batch_platform.h"
#include "link/com_port.h"
#include "monitor/utf8_path.h"
#include "operations/operation_texts.h"
#include "settings/settings_rules.h"
#ifdef KAVONEL_PORT_LIST
#include "settings/port_list.h"
#endif

namespace kavonel {
namespace {

namespace fs = std::filesystem;

constexpr int kExitUsage = 64;
// Open files a batch needs beside its readers' and what is open at its start: the
// reports' temporary files, the XML writer, the port list, the look into /proc for a
// port's holders.
constexpr uint64_t kSpareFiles = 32;
// A device node may appear before its permissions are set: its open is tried again
// for this long.
constexpr std::chrono::milliseconds kWatchOpenPatience{5000};

int Usage(const std::string& line) {
  std::fprintf(stderr, "kavonel-cli: %s\n", line.c_str());
  return kExitUsage;
}

std::string TypeName(int readerType) {
  return kReaderTypeRows[static_cast<size_t>(ReaderTypeRowFor(readerType))];
}

// How a reader ended, for its line and its row: why its port did not open, where it did
// not, rather than a communication error the reader never had.
std::string EndText(const ReaderResult& r) {
  return (r.portProblem.empty() ? r.verdictText : r.portProblem) +
         (r.abandoned ? " (abandoned)" : "");
}

// One reader as its line shows it.
std::string ReaderLine(const ReaderResult& r, size_t portWidth) {
  std::string line = r.port;
  line.resize(std::max(portWidth, line.size()), ' ');
  line += "  " + TypeName(r.readerType);
  if (r.firmwareVersion) line += " " + *r.firmwareVersion;
  line += "  " + std::to_string(r.commandsSent) + "/" + std::to_string(r.commandsTotal);
  if (r.ended) {
    line += "  " + EndText(r);
    line += "  [exit " + std::to_string(r.exitStatus) + "]";
  } else {
    line += "  ...";
  }
  return line;
}

// The readers' lines on standard error: live lines redrawn in place on a terminal, one
// plain line per reader's end otherwise. Called from the readers' threads; the main
// loop is woken to write reports and redraw.
class Console final : public BatchListener {
 public:
  Console(BatchWaiter& waiter, bool live) : waiter_(waiter), live_(live) {}

  bool WantsChanges() const override { return live_; }
  void ReaderChanged(const ReaderResult& state) override {
    if (!live_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    states_[state.id] = state;
    // Only the first change since the lines were drawn wakes the main loop: it then sleeps
    // until the next redraw is due, however many commands the readers run meanwhile.
    if (!changed_) Wake();
    changed_ = true;
  }
  void ReaderEnded(const ReaderResult& result) override {
    std::lock_guard<std::mutex> lock(mutex_);
    states_[result.id] = result;
    ended_.push_back(result);
    changed_ = true;
    Wake();
  }

  // On the main thread: the readers that ended since the last call; the lines updated
  // (live lines at most every kRedrawInterval, or at once when a reader ended).
  std::vector<ReaderResult> Drain() {
    waiter_.ClearWake();
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
    std::vector<ReaderResult> ended(ended_.begin(), ended_.end());
    ended_.clear();
    if (live_) {
      const auto now = std::chrono::steady_clock::now();
      if (changed_ && (!ended.empty() || now - lastDrawn_ >= kRedrawInterval)) {
        Redraw();
        lastDrawn_ = now;
        changed_ = false;
      }
    } else {
      for (const ReaderResult& r : ended) std::fprintf(stderr, "%s\n", ReaderLine(r, 0).c_str());
    }
    std::fflush(stderr);
    return ended;
  }
  // How long the main loop may sleep before live lines are due: -1 for as long as it
  // likes.
  int MsUntilRedraw() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!live_ || !changed_) return -1;
    const auto due = lastDrawn_ + kRedrawInterval - std::chrono::steady_clock::now();
    return std::max(
        0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(due).count()));
  }
  void Note(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_ && drawn_ > 0) {
      std::fprintf(stderr, "\x1b[%zuA\x1b[J", drawn_);
      drawn_ = 0;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
    if (live_) Redraw();
    std::fflush(stderr);
  }

 private:
  // Under mutex_: one wake-up until the main loop has drained, however many changes come.
  void Wake() {
    if (signalled_) return;
    signalled_ = true;
    waiter_.Wake();
  }
  void Redraw() {
    size_t width = 0;
    for (const auto& [id, r] : states_) width = std::max(width, r.port.size());
    if (drawn_ > 0) std::fprintf(stderr, "\x1b[%zuA", drawn_);
    for (const auto& [id, r] : states_) {
      std::fprintf(stderr, "\r\x1b[2K%s\n", ReaderLine(r, width).c_str());
    }
    drawn_ = states_.size();
  }

  BatchWaiter& waiter_;
  const bool live_;
  std::mutex mutex_;
  std::map<size_t, ReaderResult> states_;
  std::deque<ReaderResult> ended_;
  bool changed_ = false;
  bool signalled_ = false;
  size_t drawn_ = 0;
  std::chrono::steady_clock::time_point lastDrawn_;
  static constexpr std::chrono::milliseconds kRedrawInterval{100};
};

std::string DefaultLogDir() {
  const std::time_t now = std::time(nullptr);
  const std::tm local = LocalTime(now);
  char name[64];
  std::strftime(name, sizeof name, "kavonel-%Y-%m-%dT%H-%M-%S", &local);
  std::string dir = name;
  for (int n = 2; fs::exists(Utf8Path(dir)); ++n) dir = std::string(name) + "-" + std::to_string(n);
  return dir;
}

struct Session {
  BatchReport report;
  std::string reportPath;
  std::string junitPath;
  bool writeFailed = false;

  void Write(const std::vector<ReaderResult>& all) {
    report.readers.clear();
    report.exitStatus = 0;
    for (const ReaderResult& r : all) {
      if (!r.ended) continue;
      report.readers.push_back(r);
      report.exitStatus = WorseExitStatus(report.exitStatus, r.exitStatus);
    }
    if (!reportPath.empty() && !WriteFileAtomically(reportPath, ReportJson(report))) {
      writeFailed = true;
    }
    if (!junitPath.empty() && !WriteFileAtomically(junitPath, ReportJUnit(report))) {
      writeFailed = true;
    }
  }
};

void PrintSummary(const std::vector<ReaderResult>& results, int exitStatus,
                  const std::string& logDir, const Session& session) {
  std::vector<std::vector<std::string>> rows = {
      {"PORT", "TYPE", "FIRMWARE", "OK/SENT/ALL", "EXIT", "VERDICT"}};
  std::map<std::string, size_t> counts;
  for (const ReaderResult& r : results) {
    rows.push_back({r.port, TypeName(r.readerType), r.firmwareVersion.value_or("-"),
                    std::to_string(r.commandsOk) + "/" + std::to_string(r.commandsSent) + "/" +
                        std::to_string(r.commandsTotal),
                    std::to_string(r.exitStatus), EndText(r)});
    ++counts[OutcomeName(r.outcome)];
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::fprintf(stderr, "\n");
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      std::string cell = row[i];
      if (i + 1 < row.size()) cell.resize(widths[i] + 2, ' ');
      line += cell;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::string tally;
  for (const auto& [text, count] : counts) {
    tally += (tally.empty() ? ": " : ", ") + std::to_string(count) + " " + text;
  }
  std::fprintf(stderr, "%zu %s%s; exit status %d\n", results.size(),
               results.size() == 1 ? "reader" : "readers", tally.c_str(), exitStatus);
  std::fprintf(stderr, "traces: %s\n", logDir.c_str());
  if (!session.reportPath.empty()) std::fprintf(stderr, "report: %s\n", session.reportPath.c_str());
  if (!session.junitPath.empty()) std::fprintf(stderr, "junit: %s\n", session.junitPath.c_str());
  if (session.writeFailed) std::fprintf(stderr, "kavonel-cli: a report could not be written\n");
  std::fflush(stderr);
}

// What both commands share: the script decoded once, the folder of traces, the
// runner, the reports and the loop that waits for signals, readers and ports.
class BatchCommand {
 public:
  BatchCommand(const BatchOptions& options, const BatchReaderOptions& reader)
      : options_(options), reader_(reader), console_(waiter_, StandardErrorIsLive()) {}

  // 0 when it can start; else the exit status.
  int Prepare(const std::string& script, bool watch) {
    if (!reader_.logPath.empty()) return Usage("--log: one port only; a batch writes --log-dir");
    if ((!options_.junitPath.empty()) && !HaveJUnitWriter()) {
      return Usage("--junit: this build has no XML writer");
    }
    script_ = DecodeScriptOnce(script, reader_.readerType);
    if (script_.load.result != quassel::kOk) {
      // Before any port is opened: no reader gets a script that cannot be run whole.
      const bool lined = script_.load.result == quassel::kScriptFormatError;
      std::string text = DecoderResultText(lined ? script_.load.detailCode : script_.load.result);
      while (!text.empty() && text.back() == '\n') text.pop_back();
      if (lined) {
        std::fprintf(stderr, "%s:%u: %s\n", script.c_str(), script_.load.errorLine, text.c_str());
      } else {
        std::fprintf(stderr, "%s: %s\n", script.c_str(), text.c_str());
      }
      std::fprintf(stderr, "%s\n", RunVerdictStatusLineText(VERDICT_SCRIPT_ERROR));
      return 2;
    }
    logDir_ = options_.logDir.empty() ? DefaultLogDir() : options_.logDir;
    std::error_code error;
    fs::create_directories(Utf8Path(logDir_), error);
    if (error || !fs::is_directory(Utf8Path(logDir_))) return Usage("--log-dir: cannot make " + logDir_);
    if (!waiter_.CatchInterrupts()) return 3;

    BatchSettings settings;
    settings.readerType = reader_.readerType;
    settings.baudRate =
        reader_.baud ? *reader_.baud : BaudRateForRow(BaudPresetRowFor(reader_.readerType));
    if (reader_.timeoutMs) {
      settings.timeouts.firstHeadByte = std::chrono::milliseconds(*reader_.timeoutMs);
      settings.timeouts.fixedByte = std::chrono::milliseconds(*reader_.timeoutMs);
    }
    settings.detect = options_.detect;
    settings.logDir = logDir_;
    if (watch) settings.openPatience = kWatchOpenPatience;
#ifdef KAVONEL_PORT_LIST
    // A batch's ports are all there at the start: one look at the system serves them
    // all. A watch looks again for each reader that appears.
    auto known = std::make_shared<std::map<std::string, SerialPortDetails>>();
    if (!watch) *known = SerialPortDetailsByDevice();
    settings.adapterDetails = [known, watch](const std::string& port) {
      const std::string device = PortIdentity(port);
      if (watch) *known = SerialPortDetailsByDevice();
      const auto found = known->find(device);
      if (device.empty() || found == known->end()) return AdapterDetails{};
      return AdapterDetails{found->second.serialNumber, found->second.description};
    };
#endif
    runner_ = std::make_unique<BatchRunner>(script_, settings, console_);

    session_.reportPath = options_.reportPath;
    session_.junitPath = options_.junitPath;
    session_.report.scriptPath = script_.path;
    session_.report.scriptSha256 = script_.sha256;
    session_.report.scriptCommands = static_cast<uint32_t>(script_.records.size());
    session_.report.tool = "kavonel-cli " KAVONEL_VERSION;
    session_.report.host = HostName();
    session_.report.started = std::chrono::system_clock::now();
    session_.Write({});
    return 0;
  }

  BatchRunner& Runner() {
    return *runner_;
  }
  Console& Lines() {
    return console_;
  }

  // Signals: the first stops taking readers, the second abandons the running ones.
  // Answers the number of signals seen so far.
  int ReadSignals() {
    for (const char c : waiter_.TakeInterrupts()) {
      ++interrupts_;
      if (c == 't') interrupts_ = std::max(interrupts_, 2);
      if (interrupts_ == 1) {
        console_.Note("Finishing the running readers; Ctrl-C again abandons them.");
      } else if (!abandoned_) {
        abandoned_ = true;
        console_.Note("Abandoning the running readers.");
        runner_->AbandonAll();
      }
    }
    return interrupts_;
  }

  // As a first Ctrl-C: no new readers, the running ones finish; why goes to the console.
  void StopTaking(const char* why) {
    if (interrupts_ != 0) return;
    interrupts_ = 1;
    console_.Note(why);
  }

  // The readers that ended since the last call; the reports rewritten after each.
  std::vector<ReaderResult> Collect() {
    std::vector<ReaderResult> ended = console_.Drain();
    if (!ended.empty()) session_.Write(runner_->Results());
    return ended;
  }

  int Finish() {
    runner_->WaitAll();
    Collect();
    session_.report.ended = std::chrono::system_clock::now();
    const std::vector<ReaderResult> results = runner_->Results();
    session_.Write(results);
    PrintSummary(results, session_.report.exitStatus, logDir_, session_);
    return session_.report.exitStatus;
  }

  // Waits for a signal, a reader's news, or (watch not null) the port watch.
  void Wait(const PortWatcher* watch) {
    waiter_.Wait(watch, console_.MsUntilRedraw());
  }

 private:
  const BatchOptions& options_;
  const BatchReaderOptions& reader_;
  SharedScript script_;
  std::string logDir_;
  BatchWaiter waiter_;
  Console console_;
  std::unique_ptr<BatchRunner> runner_;
  Session session_;
  int interrupts_ = 0;
  bool abandoned_ = false;
};

// Every port of the command line, once each (a link and its device count as one), in
// the order given.
std::vector<std::string> BatchPorts(const BatchOptions& options, std::string& error) {
  std::vector<std::string> ports = options.ports;
  for (const std::string& text : options.globs) {
    const std::optional<PortGlob> glob = ParsePortGlob(text);
    if (!glob) {
      error = std::string("--ports: ") + kPortGlobRule + ": " + text;
      return {};
    }
    for (const std::string& path : ExpandPortGlob(*glob)) ports.push_back(path);
  }
  if (options.allPorts) {
#ifdef KAVONEL_PORT_LIST
    for (const std::string& path : ListSerialPorts()) ports.push_back(path);
#else
    error = "--all-ports: this build has no port list (built without Qt)";
    return {};
#endif
  }
  std::vector<std::string> unique;
  std::set<std::string> devices;
  for (const std::string& port : ports) {
    const std::string device = PortIdentity(port);
    if (devices.insert(device.empty() ? DevicePathForPort(port) : device).second) {
      unique.push_back(port);
    }
  }
  return unique;
}

}  // namespace

int RunBatch(const BatchOptions& options, const BatchReaderOptions& reader,
             const std::string& script) {
  std::string error;
  const std::vector<std::string> ports = BatchPorts(options, error);
  if (!error.empty()) return Usage(error);
  if (ports.empty()) {
    std::fprintf(stderr, "kavonel-cli: no port to configure\n");
    return 3;
  }
  // Refused before anything is opened or written: a batch that runs out of files halfway
  // would fail readers that are not at fault.
  const OpenFileRoom room = RaiseOpenFileLimit();
  const uint64_t need = room.inUse + kSpareFiles + room.perReader * uint64_t{ports.size()};
  if (room.limit != 0 && need > room.limit) {
    const std::string command = OpenFileLimitCommand(need);
    const uint64_t fit = room.limit > room.inUse + kSpareFiles
                             ? (room.limit - room.inUse - kSpareFiles) / room.perReader
                             : 0;
    return Usage(std::to_string(ports.size()) + " readers need " + std::to_string(need) +
                 " open files, more than the limit of " + std::to_string(room.limit) +
                 (command.empty() ? "; configure at most " + std::to_string(fit) +
                                        " readers at once"
                                  : "; raise it with `" + command + "` and run again"));
  }
  BatchCommand command(options, reader);
  if (const int status = command.Prepare(script, false); status != 0) return status;
  for (const std::string& port : ports) command.Runner().Start(port);
  while (command.Runner().Running() > 0) {
    command.Wait(nullptr);
    command.ReadSignals();
    command.Collect();
  }
  return command.Finish();
}

int RunWatch(const BatchOptions& options, const BatchReaderOptions& reader,
             const std::string& script) {
  std::vector<PortGlob> globs;
  for (const std::string& text : options.globs) {
    const std::optional<PortGlob> glob = ParsePortGlob(text);
    if (!glob) return Usage(std::string("--ports: ") + kPortGlobRule + ": " + text);
    globs.push_back(*glob);
  }
  // How many readers a watch will see is not known: as many as the hard limit allows; a
  // port that finds no room says so.
  RaiseOpenFileLimit();
  BatchCommand command(options, reader);
  if (const int status = command.Prepare(script, true); status != 0) return status;
  PortWatcher watcher(globs);
  if (!watcher.Ok()) {
    std::fprintf(stderr, "kavonel-cli: cannot watch for ports\n");
    return 3;
  }

  // A port is configured once while it is present; it is configured again after it has
  // gone away and come back (also while its last run was still going).
  struct Port {
    bool present = false;
    bool running = false;
    bool configured = false;  // since it last appeared
    bool cameBack = false;    // went away and came back while it ran
  };
  std::map<std::string, Port> ports;
  std::map<size_t, std::string> runs;  // reader id -> port
  auto start = [&](const std::string& path) {
    Port& port = ports[path];
    if (port.running || port.configured || !port.present) return;
    port.running = true;
    runs[command.Runner().Start(path)] = path;
  };
  auto apply = [&](const std::vector<PortEvent>& events) {
    for (const PortEvent& event : events) {
      Port& port = ports[event.path];
      port.present = event.present;
      if (!event.present) port.configured = false;
      if (event.present && port.running) port.cameBack = true;
    }
    for (const PortEvent& event : events) {
      if (event.present) start(event.path);
    }
  };
  apply(watcher.Initial());
  for (;;) {
    const bool taking = command.ReadSignals() == 0;
    if (!taking && command.Runner().Running() == 0) break;
    command.Wait(taking ? &watcher : nullptr);
    if (command.ReadSignals() == 0) {
      apply(watcher.Read());
      // A watch that can no longer be armed would wait in silence for ports it never sees.
      if (!watcher.Ok()) {
        command.StopTaking("The port watch has stopped; finishing the running readers.");
      }
    }
    for (const ReaderResult& ended : command.Collect()) {
      const std::string path = runs[ended.id];
      Port& port = ports[path];
      port.running = false;
      port.configured = port.present && !port.cameBack;
      port.cameBack = false;
      if (command.ReadSignals() == 0) start(path);
    }
  }
  return command.Finish();
}

}  // namespace kavonel
