#include "batch/batch_runner.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <cstring>
#include <filesystem>

#include "batch/port_watch.h"
#include "batch/reader_view.h"
#include "link/frame.h"
#include "link/port_diagnosis.h"
#include "link/serial_device.h"
#include "monitor/utf8_path.h"
#include "operations/operation_texts.h"

namespace kavonel {
namespace {

// The platform's device, whose open is tried again for a bounded time: a device node
// can appear before its permissions are set. An interrupt ends the waiting too.
class PatientDevice final : public SerialDevice {
 public:
  PatientDevice(std::unique_ptr<SerialDevice> inner, std::chrono::milliseconds patience)
      : inner_(std::move(inner)), patience_(patience) {}

  bool Open(const std::string& path, int baudRate) override {
    const auto deadline = std::chrono::steady_clock::now() + patience_;
    for (;;) {
      if (inner_->Open(path, baudRate)) return true;
      std::unique_lock<std::mutex> lock(mutex_);
      if (interrupted_ || std::chrono::steady_clock::now() >= deadline) return false;
      const auto next = std::min(deadline, std::chrono::steady_clock::now() + kRetryInterval);
      woken_.wait_until(lock, next, [&] { return interrupted_; });
    }
  }
  std::string OpenFailureReason() const override { return inner_->OpenFailureReason(); }
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  void Purge() override { inner_->Purge(); }
  long QueuedBytes() override { return inner_->QueuedBytes(); }
  IoResult Read(uint8_t* destination, size_t maxCount) override {
    return inner_->Read(destination, maxCount);
  }
  IoResult Write(const uint8_t* source, size_t count) override {
    return inner_->Write(source, count);
  }
  WaitStatus WaitReadable(std::chrono::milliseconds timeout) override {
    return inner_->WaitReadable(timeout);
  }
  WaitStatus WaitWritable(std::chrono::milliseconds timeout) override {
    return inner_->WaitWritable(timeout);
  }
  void Interrupt() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      interrupted_ = true;
    }
    woken_.notify_all();
    inner_->Interrupt();
  }

 private:
  static constexpr std::chrono::milliseconds kRetryInterval{50};
  std::unique_ptr<SerialDevice> inner_;
  std::chrono::milliseconds patience_;
  std::mutex mutex_;
  std::condition_variable woken_;
  bool interrupted_ = false;
};

// With hundreds of readers on a busy host every answer takes longer than 20 ms; a flush
// then would cost each command a wake-up and a write more. A quarter second is a wait an
// operator watching a trace would notice.
constexpr std::chrono::milliseconds kTraceFlushWait{250};

std::string TraceBaseName(const std::string& port) {
  std::string name = port;
  const std::string_view separators = kPortNameSeparators;
  while (name.size() > 1 && separators.find(name.back()) != std::string_view::npos) {
    name.pop_back();
  }
  const size_t slash = name.find_last_of(separators);
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") name = "port";
  // Windows takes CON, NUL, COM1 ... COM9, LPT1 ... and these followed by any extension
  // for its devices, so "COM5.log" would be the reader's own port, not a file: such a
  // name gets a "_". The same on every system, so traces keep their names when copied.
  std::string stem = name.substr(0, name.find('.'));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                        stem[3] >= '0' && stem[3] <= '9';
  if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") name += "_";
  return name;
}

}  // namespace

int WorseExitStatus(int a, int b) {
  // The statuses happen to rank by value; anything unknown counts as the worst.
  auto rank = [](int status) { return status >= 0 && status <= 3 ? status : 3; };
  return rank(a) >= rank(b) ? rank(a) : rank(b);
}

const char* OutcomeName(ReaderOutcome outcome) {
  switch (outcome) {
    case ReaderOutcome::kCompleted:
      return "completed";
    case ReaderOutcome::kNotAllConfigured:
      return "not-configured";
    case ReaderOutcome::kScriptError:
      return "script-error";
    case ReaderOutcome::kCommError:
      return "communication-error";
    case ReaderOutcome::kNotFound:
      return "not-found";
  }
  return "communication-error";
}

struct BatchRunner::Reader : ScriptRunObserver {
  BatchRunner* runner = nullptr;
  std::unique_ptr<ComPort> port;
  std::thread thread;
  std::mutex mutex;  // guards result
  ReaderResult result;
  size_t nextIndex = 0;  // the run's thread only
  std::atomic<bool> abandonRequested{false};

  ReaderResult Snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    return result;
  }
  template <class Change>
  void Update(Change change) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      change(result);
    }
    runner->Publish(*this, false);
  }

  void Decoded(uint32_t count) override {
    Update([&](ReaderResult& r) { r.commandsTotal = count; });
  }
  void Sent(uint8_t, uint8_t) override {
    Update([&](ReaderResult& r) { ++r.commandsSent; });
  }
  void Answered(uint8_t command, uint8_t subCommand, uint8_t status) override {
    const size_t index = nextIndex++;
    Update([&](ReaderResult& r) {
      if (status == 0) {
        ++r.commandsOk;
      } else if (!r.firstFailure) {
        r.firstFailure = CommandFailure{index, CommandDisplayText(command, subCommand), status,
                                        ReaderStatusText(status)};
      }
    });
  }
  void NoAnswer(uint8_t command, uint8_t subCommand) override {
    const size_t index = nextIndex++;
    Update([&](ReaderResult& r) {
      if (r.firstFailure) return;
      std::string text = texts::kUnableToCommunicate;
      while (!text.empty() && text.back() == '\n') text.pop_back();
      r.firstFailure =
          CommandFailure{index, CommandDisplayText(command, subCommand), std::nullopt, text};
    });
  }
};

BatchRunner::BatchRunner(const SharedScript& script, BatchSettings settings,
                         BatchListener& listener)
    : script_(script), settings_(std::move(settings)), listener_(listener) {}

BatchRunner::~BatchRunner() {
  AbandonAll();
  WaitAll();
}

size_t BatchRunner::Start(const std::string& portName) {
  auto reader = std::make_unique<Reader>();
  reader->runner = this;
  ComTimeouts timeouts = settings_.timeouts;
  // The trace is flushed when a wait lasts this long (RunTraced).
  timeouts.hookInterval = kTraceFlushWait;
  reader->port = std::make_unique<ComPort>(
      std::make_unique<PatientDevice>(MakePlatformSerialDevice(), settings_.openPatience),
      std::make_shared<SteadyClock>(), timeouts);
  ReaderResult& r = reader->result;
  r.port = portName;
  r.readerType = settings_.readerType;
  r.commandsTotal = static_cast<uint32_t>(script_.records.size());
  r.started = std::chrono::system_clock::now();
  if (settings_.adapterDetails) {
    const AdapterDetails details = settings_.adapterDetails(portName);
    r.serialNumber = details.serialNumber;
    r.description = details.description;
  }
  Reader* raw = reader.get();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // One trace file per reader, named after the port, never two readers in one file.
    const std::string base = TraceBaseName(portName);
    std::string name = base;
    for (int n = 2; std::find(traceNames_.begin(), traceNames_.end(), name) != traceNames_.end();
         ++n) {
      name = base + "-" + std::to_string(n);
    }
    traceNames_.push_back(name);
    r.tracePath = Utf8String(Utf8Path(settings_.logDir) / (name + ".log"));
    r.id = readers_.size();
    ++running_;
    readers_.push_back(std::move(reader));
    if (abandoned_) {
      raw->abandonRequested = true;
      raw->port->Abandon();
    }
  }
  listener_.ReaderChanged(raw->Snapshot());
  raw->thread = std::thread([this, raw] { RunReader(*raw); });
  return raw->result.id;
}

void BatchRunner::Publish(Reader& reader, bool ended) {
  if (!ended && !listener_.WantsChanges()) return;
  const ReaderResult snapshot = reader.Snapshot();
  if (ended) {
    listener_.ReaderEnded(snapshot);
  } else {
    listener_.ReaderChanged(snapshot);
  }
}

void BatchRunner::RunReader(Reader& reader) {
  const auto steadyStart = std::chrono::steady_clock::now();
  ReaderResult start = reader.Snapshot();
  TraceFile trace(start.tracePath);
  if (!trace.IsOpen()) {
    // A reader configured without its trace would leave the line no record of it: it is
    // not started, and says why.
    const std::string why = OneLine(start.tracePath + ": the trace cannot be written: " +
                                    std::strerror(trace.OpenError()));
    std::lock_guard<std::mutex> lock(reader.mutex);
    ReaderResult& r = reader.result;
    r.outcome = ReaderOutcome::kCommError;
    r.verdictText = RunVerdictStatusLineText(VERDICT_COMM_ERROR);
    r.exitStatus = 3;
    r.portProblem = why;
  } else {
    RunTraced(reader, trace);
  }
  {
    std::lock_guard<std::mutex> lock(reader.mutex);
    reader.result.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - steadyStart);
    reader.result.ended = true;
    reader.result.abandoned = reader.abandonRequested && reader.result.exitStatus == 3;
  }
  // Counted out before the end is announced: whoever hears of it finds it no longer
  // running (the thread itself is joined in WaitAll).
  {
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
  }
  ended_.notify_all();
  Publish(reader, true);
}

void BatchRunner::RunTraced(Reader& reader, TraceFile& trace) {
  const ReaderResult start = reader.Snapshot();
  ReaderView view(trace, script_.path, settings_.readerType);
  ReaderSettings settings;
  settings.strComPort = start.port;
  settings.nReaderType = settings_.readerType;
  settings.nBaudRate = settings_.baudRate;
  ComPort& port = *reader.port;
  // What the reader has written so far reaches the file whenever it keeps us waiting
  // (kTraceFlushWait).
  port.SetWaitHook([&trace] { trace.Flush(); }, ComPort::HookRepeat::kOncePerTransfer);

  bool found = true;
  if (settings_.detect) {
    ReaderDetection detection(
        view, port, DetectionTiming{std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    detection.Start(settings, settings_.readerType);
    view.RunDetection(detection);
    while (!detection.WaitForWorker(std::chrono::seconds(1))) {
    }
    found = detection.ReaderFound();
    const bool answered = detection.ReaderAnswered();
    reader.Update([&](ReaderResult& r) {
      r.firmwareVersion = view.FirmwareVersion();
      r.detected = found;
      if (!found) {
        r.outcome = ReaderOutcome::kNotFound;
        r.verdictText = texts::kReaderNotFound;
        r.exitStatus = answered ? 1 : 3;
      }
    });
  }
  if (found) {
    const RunVerdict verdict =
        RunConfigurationScript(view, port, settings, RecordHandout(script_), &reader);
    std::lock_guard<std::mutex> lock(reader.mutex);
    ReaderResult& r = reader.result;
    const char* text = RunVerdictStatusLineText(verdict);
    r.verdictText = text != nullptr ? text : "";
    switch (verdict) {
      case VERDICT_COMPLETED:
        r.outcome = ReaderOutcome::kCompleted;
        r.exitStatus = 0;
        break;
      case VERDICT_NOT_ALL_CONFIGURED:
        r.outcome = ReaderOutcome::kNotAllConfigured;
        r.exitStatus = 1;
        break;
      case VERDICT_COMM_ERROR:
        r.outcome = ReaderOutcome::kCommError;
        r.exitStatus = 3;
        break;
      case VERDICT_SCRIPT_ERROR:
      case VERDICT_NONE:
        r.outcome = ReaderOutcome::kScriptError;
        r.exitStatus = 2;
        break;
    }
  }
  // What a single-port run says on standard error beside "Open Failed", the trace says
  // too: a port that did not open is not the reader's failure.
  if (!view.PortProblem().empty()) {
    trace.AppendMonitorText("kavonel-cli: " + view.PortProblem() + "\n");
  }
  trace.Close();
  std::lock_guard<std::mutex> lock(reader.mutex);
  reader.result.portProblem = view.PortProblem();
}

void BatchRunner::AbandonAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  abandoned_ = true;
  for (const auto& reader : readers_) {
    reader->abandonRequested = true;
    reader->port->Abandon();
  }
}

void BatchRunner::WaitAll() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [&] { return running_ == 0; });
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& reader : readers_) {
    if (reader->thread.joinable()) reader->thread.join();
  }
}

size_t BatchRunner::Running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

std::vector<ReaderResult> BatchRunner::Results() const {
  std::vector<Reader*> readers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& reader : readers_) readers.push_back(reader.get());
  }
  std::vector<ReaderResult> results;
  for (Reader* reader : readers) results.push_back(reader->Snapshot());
  return results;
}

}  // namespace kavonel
