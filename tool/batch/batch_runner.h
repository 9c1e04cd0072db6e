// Many readers at once: each on its own thread, with its own port, view, trace file
// and result; nothing is shared between readers but the script's records. The
// listener hears of each reader's progress and end, from the readers' threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/shared_script.h"
#include "link/com_port.h"
#include "operations/operations.h"

namespace kavonel {

class TraceFile;

// The outcome of one reader, as its line, the summary and the report show it.
enum class ReaderOutcome { kCompleted, kNotAllConfigured, kScriptError, kCommError, kNotFound };

struct CommandFailure {
  size_t index = 0;               // 0-based, in script order
  std::string name;               // the display name line
  std::optional<uint8_t> status;  // none: no answer
  std::string statusText;
};

struct ReaderResult {
  size_t id = 0;     // order of start
  std::string port;  // as given
  std::string tracePath;
  std::string serialNumber;  // of the adapter, where known
  std::string description;
  int readerType = 2;
  std::optional<std::string> firmwareVersion;
  bool detected = false;  // detection ran and found the reader
  ReaderOutcome outcome = ReaderOutcome::kCompleted;
  std::string verdictText;  // the status line's text
  std::string portProblem;  // why the port did not open, where it did not
  int exitStatus = 0;
  bool abandoned = false;
  uint32_t commandsTotal = 0;
  uint32_t commandsSent = 0;
  uint32_t commandsOk = 0;
  std::optional<CommandFailure> firstFailure;
  std::chrono::system_clock::time_point started;
  std::chrono::milliseconds duration{0};
  bool ended = false;
};

struct AdapterDetails {
  std::string serialNumber;
  std::string description;
};

struct BatchSettings {
  int readerType = 2;
  int baudRate = 115200;
  ComTimeouts timeouts;
  bool detect = false;
  // How long an open that fails is tried again (a device node that appears before its
  // permissions are set); zero: once.
  std::chrono::milliseconds openPatience{0};
  std::string logDir;
  std::function<AdapterDetails(const std::string& port)> adapterDetails;
};

class BatchListener {
 public:
  virtual ~BatchListener() = default;
  // A copy of the reader's state at a change (start, detection, each command).
  virtual void ReaderChanged(const ReaderResult& state) = 0;
  // False spares the copies of ReaderChanged (a console that prints only the ends): two
  // a command on every reader.
  virtual bool WantsChanges() const { return true; }
  virtual void ReaderEnded(const ReaderResult& result) = 0;
};

// The worst of two exit statuses: 3, then 2, then 1, then 0.
int WorseExitStatus(int a, int b);
// Status line text, exit status and short name of an outcome.
const char* OutcomeName(ReaderOutcome outcome);

class BatchRunner {
 public:
  BatchRunner(const SharedScript& script, BatchSettings settings, BatchListener& listener);
  // Abandons what still runs and waits for it.
  ~BatchRunner();
  BatchRunner(const BatchRunner&) = delete;
  BatchRunner& operator=(const BatchRunner&) = delete;

  // Starts a reader on port at once; its id.
  size_t Start(const std::string& port);
  // Every running reader's port fails at once: each ends as a communication error,
  // its trace and entry complete, its port closed.
  void AbandonAll();
  // Waits until every started reader has ended.
  void WaitAll();
  size_t Running() const;
  // The results so far, in order of start (running readers with ended false).
  std::vector<ReaderResult> Results() const;

 private:
  struct Reader;
  void RunReader(Reader& reader);
  // The reader's detection and script, its trace open.
  void RunTraced(Reader& reader, TraceFile& trace);
  void Publish(Reader& reader, bool ended);

  const SharedScript& script_;
  BatchSettings settings_;
  BatchListener& listener_;
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::list<std::unique_ptr<Reader>> readers_;
  std::vector<std::string> traceNames_;
  size_t running_ = 0;
  bool abandoned_ = false;
};

}  // namespace kavonel
