// kavonel-cli on many readers: `run` with several ports, and `watch`, which configures
// each reader as it is plugged in. The engine is tool/batch; this is its console.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

namespace kavonel {

struct BatchOptions {
  std::vector<std::string> ports;  // --port, repeatable
  std::vector<std::string> globs;  // --ports GLOB, repeatable
  bool allPorts = false;
  std::string logDir;
  bool detect = false;
  std::string reportPath;
  std::string junitPath;

  // More than today's one --port: anything that only a batch does.
  bool IsBatch() const;
};

// The reader options that main's command line shares with the batch.
struct BatchReaderOptions {
  int readerType = 2;
  std::optional<int> baud;
  std::optional<int> timeoutMs;
  std::string logPath;  // --log, which a batch refuses (--log-dir)
};

// The SCRIPT argument's check: an existing file, not a folder. CLI::ExistingFile would
// look the name up through a std::filesystem::path made in the C locale, which on
// Windows does not find a script in a folder named outside ASCII.
CLI::Validator ExistingScriptFile();

// run: --port becomes repeatable and optional; --ports, --all-ports, --log-dir,
// --detect, --report, --junit are added.
void AddBatchOptions(CLI::App& run, BatchOptions& options);
// watch: the batch options but --port, and the script.
void AddWatchOptions(CLI::App& watch, BatchOptions& options, std::string& script);

int RunBatch(const BatchOptions& options, const BatchReaderOptions& reader,
             const std::string& script);
int RunWatch(const BatchOptions& options, const BatchReaderOptions& reader,
             const std::string& script);

}  // namespace kavonel
