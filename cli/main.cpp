// kavonel-cli: the operations of the window without a window, for automation, batch use
// and script authors. Standard output carries exactly the command monitor's text,
// standard error only what the window shows in dialogs and fields.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "operations/operation_texts.h"
#include "operations/operations.h"
#include "batch_command.h"
#include "cli_view.h"
#include "decoder.h"
#include "link/com_port.h"
#include "link/frame.h"
#include "link/reader_requests.h"
#include "link/serial_device.h"
#include "monitor/log_file.h"
#include "monitor/monitor_tee.h"
#include "quassel.h"
#include "script_commands.h"
#include "settings/settings_rules.h"
#ifdef KAVONEL_PORT_LIST
#include "settings/port_list.h"
#endif

namespace kavonel {
namespace {

constexpr int kExitUsage = 64;

struct ReaderOptions {
  std::string port;
  int readerType = kReaderTern;
  std::optional<int> baud;
  std::string logPath;
  std::optional<int> timeoutMs;
};

void AddReaderOptions(CLI::App& command, ReaderOptions& options) {
  command
      .add_option("--port", options.port, std::string("serial port: ") + kPortNameHint)
      ->required()
      ->type_name("NAME");
  command
      .add_option("--type", options.readerType, "reader type: 0|1|2|3|lark|tern-compat|tern|heron")
      ->transform(CLI::Validator(
          [](std::string& value) -> std::string {
            static const std::map<std::string, std::string> kNames = {
                {"0", "0"},    {"1", "1"},           {"2", "2"},    {"3", "3"},
                {"lark", "0"}, {"tern-compat", "1"}, {"tern", "2"}, {"heron", "3"}};
            std::string lower;
            for (char c : value)
              lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            auto found = kNames.find(lower);
            if (found == kNames.end()) {
              return "not a reader type (0|1|2|3|lark|tern-compat|tern|heron): " + value;
            }
            value = found->second;
            return {};
          },
          "TYPE"))
      ->default_str("2 (tern)");
  command.add_option("--baud", options.baud, "baud rate (default: the preset of the reader type)")
      ->check(CLI::Validator(
          [](std::string& value) -> std::string {
            try {
              if (IsAcceptedBaudRate(std::stoi(value))) return {};
            } catch (...) {
            }
            return "not an accepted rate (110 300 600 1200 2400 4800 9600 19200 38400 57600 "
                   "115200): " +
                   value;
          },
          "RATE"));
  command
      .add_option("--timeout", options.timeoutMs,
                  "wait at most MS for the reader's first answer byte (default: 60000 for a "
                  "script command, 10000 for the other requests)")
      ->type_name("MS")
      ->check(CLI::Range(1, 3600000));
  command
      .add_option("--log", options.logPath,
                  "also write the monitor text to FILE (emptied first, each piece flushed)")
      ->type_name("FILE");
}

ReaderSettings SettingsFrom(const ReaderOptions& options) {
  ReaderSettings settings;
  settings.strComPort = options.port;
  settings.nReaderType = options.readerType;
  settings.nBaudRate =
      options.baud ? *options.baud : BaudRateForRow(BaudPresetRowFor(options.readerType));
  settings.bLogCommands = !options.logPath.empty();
  return settings;
}

int UsageError(const std::string& line) {
  std::fprintf(stderr, "kavonel-cli: %s\n", line.c_str());
  return kExitUsage;
}

// The view, with the log file in front of standard output when --log is given.
class Session {
 public:
  Session(const ReaderOptions& options, std::string scriptPath = {})
      : settings_(SettingsFrom(options)) {
    MonitorOutput* monitor = &stdout_;
    if (!options.logPath.empty()) {
      log_ = std::make_unique<CLogFile>(options.logPath);
      tee_ = std::make_unique<MonitorTee>(stdout_, *log_, settings_.bLogCommands);
      monitor = tee_.get();
    }
    view_ = std::make_unique<CliView>(*monitor, std::move(scriptPath), settings_.nReaderType);
  }
  bool LogOpen() const { return !log_ || log_->IsOpen(); }
  CliView& View() { return *view_; }
  const ReaderSettings& Settings() const { return settings_; }

 private:
  ReaderSettings settings_;
  StdoutMonitor stdout_;
  std::unique_ptr<CLogFile> log_;
  std::unique_ptr<MonitorTee> tee_;
  std::unique_ptr<CliView> view_;
};

int ExitForStatus(int status) {
  return status < 0 ? 3 : status == 0 ? 0 : 1;
}

int ExitForVerdict(RunVerdict verdict) {
  switch (verdict) {
    case VERDICT_COMPLETED:
      return 0;
    case VERDICT_NOT_ALL_CONFIGURED:
      return 1;
    case VERDICT_COMM_ERROR:
      return 3;
    case VERDICT_SCRIPT_ERROR:
    case VERDICT_NONE:
      break;
  }
  return 2;
}

// The platform's port with the operator's time-outs.
std::unique_ptr<ComPort> MakePort(const ReaderOptions& options) {
  ComTimeouts timeouts;
  if (options.timeoutMs) {
    timeouts.firstHeadByte = std::chrono::milliseconds(*options.timeoutMs);
    timeouts.fixedByte = std::chrono::milliseconds(*options.timeoutMs);
  }
  return std::make_unique<ComPort>(MakePlatformSerialDevice(), std::make_shared<SteadyClock>(),
                                   timeouts);
}

int RunDetect(Session& session, ComPort& port) {
  ReaderDetection detection(session.View(), port);
  detection.Start(session.Settings(), session.Settings().nReaderType);
  session.View().RunDetection(detection);
  // The worker has closed the port before announcing the end; let it finish leaving.
  while (!detection.WaitForWorker(std::chrono::seconds(1))) {
  }
  if (detection.ReaderFound()) return 0;
  return detection.ReaderAnswered() ? 1 : 3;
}

int RunPorts() {
#ifdef KAVONEL_PORT_LIST
  for (const SerialPortEntry& port : ListSerialPortEntries()) {
    if (port.friendlyName.empty()) {
      std::printf("%s\n", port.name.c_str());
    } else {
      std::printf("%s\t%s\n", port.name.c_str(), port.friendlyName.c_str());
    }
  }
  return 0;
#else
  return UsageError("ports: this build has no port list (built without Qt)");
#endif
}

}  // namespace
}  // namespace kavonel

int main(int argc, char** argv) {
  using namespace kavonel;
  UseBinaryStandardStreams();
  CLI::App app{"kavonel-cli: configures an Orvessa card reader from a script, without a window"};
  app.set_version_flag(
      "--version", std::string("kavonel-cli " KAVONEL_VERSION ", libquassel ") + GetDLLVersion());
  app.require_subcommand(1);

  ReaderOptions options;
  std::string script;
  bool records = false;
  bool strict = false;
  bool json = false;
  std::vector<std::string> tagWords;

  CLI::App* run = app.add_subcommand("run", "the configuration script run");
  AddReaderOptions(*run, options);
  run->add_option("SCRIPT", script, "configuration script (text file)")
      ->required()
      ->check(ExistingScriptFile());
  BatchOptions batch;
  AddBatchOptions(*run, batch);
  CLI::App* watch =
      app.add_subcommand("watch", "configure each reader as it is plugged in (--ports GLOB)");
  AddReaderOptions(*watch, options);
  AddWatchOptions(*watch, batch, script);
  CLI::App* check = app.add_subcommand("check", "check reader connection");
  AddReaderOptions(*check, options);
  CLI::App* reset = app.add_subcommand("reset", "reset configuration to default");
  AddReaderOptions(*reset, options);
  CLI::App* reboot = app.add_subcommand("reboot", "reboot reader (not for reader type 0, lark)");
  AddReaderOptions(*reboot, options);
  CLI::App* detect = app.add_subcommand("detect", "reader detection and firmware version");
  AddReaderOptions(*detect, options);
  CLI::App* lint =
      app.add_subcommand("lint", "decode only, no port: errors and warnings as FILE:LINE: message");
  lint->add_option("SCRIPT", script, "configuration script (text file)")->required();
  lint->add_flag("--records", records, "print each record in hex with its display name");
  lint->add_flag("--strict", strict, "a warning makes the exit status 1");
  CLI::App* explain = app.add_subcommand(
      "explain", "decode only, no port: every record and its data objects, named and read");
  explain->add_option("SCRIPT", script, "configuration script (text file)")->required();
  explain->add_flag("--json", json, "one JSON array of the records");
  CLI::App* tags = app.add_subcommand("tags", "the data dictionary: tag, format, length, name");
  tags->add_option("TAG", tagWords, "only these tags, in hex (9F1A, DF8123)");
  tags->add_flag("--json", json, "one JSON array of the tags");
  CLI::App* ports = app.add_subcommand("ports", "the serial ports present");

  const char* const kReaderExit =
      "Exit status: 0 status 0, 1 another status, 3 port or link failure, 64 bad command line.";
  run->footer(
      "Standard output: the command monitor's text; standard error: the verdict.\n"
      "Exit status: 0 completed, 1 not configured 100%, 2 script error, 3 communication "
      "error, 64 bad command line.\n"
      "Several ports (--port repeated, --ports, --all-ports): every reader at once, a trace\n"
      "file each in --log-dir, a line each on standard error; the worst exit status.");
  check->footer(kReaderExit);
  reset->footer(kReaderExit);
  reboot->footer(kReaderExit);
  detect->footer(
      "Standard error: \"Firmware Version: TEXT\" when a version is shown, then the result.\n"
      "Exit status: 0 found, 1 answered but not found, 3 not answered, 64 bad command line.");
  lint->footer(
      "Exit status: 0 no error (warnings allowed; with --strict: no warning either), 1 a "
      "warning with --strict, 2 the script has an error.");
  explain->footer("Exit status: 0 decoded, 2 the script has an error (as lint reports it).");
  tags->footer("Exit status: 0 every tag found, 1 a tag that is not in the dictionary.");

  const auto isCommand = [&](const std::string& word) {
    for (const CLI::App* command : app.get_subcommands({})) {
      if (command->check_name(word)) return true;
    }
    return false;
  };
  if (argc > 1 && argv[1][0] != '-' && !isCommand(argv[1])) {
    return UsageError(
        std::string(argv[1]) +
        ": not a command (run, watch, check, reset, reboot, detect, lint, explain, tags, "
        "ports)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string message = e.what();
    return UsageError(message.empty() ? e.get_name() : message);
  }

  const BatchReaderOptions batchReader{options.readerType, options.baud, options.timeoutMs,
                                       options.logPath};
  if (watch->parsed()) return RunWatch(batch, batchReader, script);
  if (run->parsed()) {
    if (batch.IsBatch()) return RunBatch(batch, batchReader, script);
    if (batch.ports.empty()) return UsageError("--port is required (or --ports, --all-ports)");
    options.port = batch.ports.front();
  }
  if (lint->parsed()) return RunLint(script, records, strict);
  if (explain->parsed()) return RunExplain(script, json);
  if (tags->parsed()) return RunTags(tagWords, json);
  if (ports->parsed()) return RunPorts();
  if (reboot->parsed() && options.readerType == kReaderLark) {
    return UsageError("--type: reboot is not available for reader type 0 (lark)");
  }

  Session session(options, script);
  if (!session.LogOpen()) return UsageError("--log: cannot open " + options.logPath);
  std::unique_ptr<ComPort> ownedPort = MakePort(options);
  ComPort& port = *ownedPort;
  // While the reader keeps us waiting, show the trace so far (the hook runs only on this
  // thread). Nothing is added to it during the wait: one flush is enough, and the rest
  // of a long wait is one sleep.
  port.SetWaitHook(&FlushMonitorText, ComPort::HookRepeat::kOncePerTransfer);
  if (run->parsed()) {
    return ExitForVerdict(RunConfigurationScript(session.View(), port, session.Settings()));
  }
  if (check->parsed())
    return ExitForStatus(CheckReaderConnection(session.View(), port, session.Settings()));
  if (reset->parsed()) {
    return ExitForStatus(ResetConfigurationToDefault(session.View(), port, session.Settings()));
  }
  if (reboot->parsed())
    return ExitForStatus(RebootReader(session.View(), port, session.Settings()));
  if (detect->parsed()) return RunDetect(session, port);
  return kExitUsage;
}
