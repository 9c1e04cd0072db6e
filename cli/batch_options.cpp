// The command line of a batch (run on several ports, watch), the same on every platform.
#include <filesystem>
#include <string>
#include <system_error>

#include "batch/port_watch.h"
#include "batch_command.h"
#include "link/com_port.h"
#include "monitor/utf8_path.h"

namespace kavonel {

bool BatchOptions::IsBatch() const {
  return ports.size() > 1 || !globs.empty() || allPorts || !logDir.empty() || detect ||
         !reportPath.empty() || !junitPath.empty();
}

CLI::Validator ExistingScriptFile() {
  return CLI::Validator(
      [](std::string& path) -> std::string {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::file_status status = fs::status(Utf8Path(path), error);
        // CLI11's own texts, which scripts around the program may look for.
        if (!fs::exists(status)) return "File does not exist: " + path;
        if (fs::is_directory(status)) return "File is actually a directory: " + path;
        return {};
      },
      "FILE");
}

namespace {

void AddCommonOptions(CLI::App& command, BatchOptions& options) {
  command.add_option("--ports", options.globs, kPortGlobHelp)->type_name("GLOB");
  command
      .add_option("--log-dir", options.logDir,
                  "one trace file per reader in DIR (default: kavonel-DATE-TIME here)")
      ->type_name("DIR");
  command.add_flag("--detect", options.detect,
                   "reader detection first; a reader not found gets no script");
  command.add_option("--report", options.reportPath, "a JSON report of every reader")
      ->type_name("FILE.json");
  command.add_option("--junit", options.junitPath, "the report as JUnit XML")
      ->type_name("FILE.xml");
}

}  // namespace

void AddBatchOptions(CLI::App& run, BatchOptions& options) {
  if (CLI::Option* single = run.get_option_no_throw("--port")) run.remove_option(single);
  run.add_option("--port", options.ports,
                 std::string("serial port: ") + kPortNameHint + "; repeat it for a batch")
      ->type_name("NAME");
  AddCommonOptions(run, options);
  run.add_flag("--all-ports", options.allPorts, "every port that `ports` lists");
}

void AddWatchOptions(CLI::App& watch, BatchOptions& options, std::string& script) {
  if (CLI::Option* single = watch.get_option_no_throw("--port")) watch.remove_option(single);
  if (CLI::Option* log = watch.get_option_no_throw("--log")) watch.remove_option(log);
  AddCommonOptions(watch, options);
  watch.get_option("--ports")->required();
  watch.add_option("SCRIPT", script, "configuration script (text file)")
      ->required()
      ->check(ExistingScriptFile());
  watch.footer(
      "Configures the readers present, then each one as it appears; a reader is configured\n"
      "again only after its device has gone away and come back. Ctrl-C stops taking new\n"
      "readers and lets the running ones finish; a second Ctrl-C abandons them.\n"
      "Exit status: the worst of the readers' (3, 2, 1, 0); 64 bad command line.");
}

}  // namespace kavonel
