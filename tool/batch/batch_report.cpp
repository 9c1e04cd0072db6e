#include "batch/batch_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "settings/settings_rules.h"

namespace kavonel {

std::string IsoTime(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
  // The civil calendar of the standard library: the same on every platform, no time
  // zone involved.
  const auto day = std::chrono::floor<std::chrono::days>(ms);
  const std::chrono::year_month_day date{std::chrono::sys_days(day)};
  const std::chrono::hh_mm_ss<std::chrono::milliseconds> clock(ms - day);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

namespace {

nlohmann::ordered_json OrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

nlohmann::ordered_json ReaderJson(const ReaderResult& r) {
  nlohmann::ordered_json reader = {
      {"port", r.port},
      {"trace", r.tracePath},
      {"serial_number", OrNull(r.serialNumber)},
      {"description", OrNull(r.description)},
      {"reader_type", r.readerType},
      {"reader_type_name", kReaderTypeRows[static_cast<size_t>(ReaderTypeRowFor(r.readerType))]},
      {"firmware_version",
       r.firmwareVersion ? nlohmann::ordered_json(*r.firmwareVersion) : nullptr},
      {"verdict", OutcomeName(r.outcome)},
      {"verdict_text", r.verdictText},
      {"port_problem", OrNull(r.portProblem)},
      {"exit_status", r.exitStatus},
      {"abandoned", r.abandoned},
      {"commands_total", r.commandsTotal},
      {"commands_sent", r.commandsSent},
      {"commands_ok", r.commandsOk},
      {"first_failure", nullptr},
      {"started", IsoTime(r.started)},
      {"duration_ms", r.duration.count()},
  };
  if (r.firstFailure) {
    const CommandFailure& f = *r.firstFailure;
    reader["first_failure"] = {
        {"index", f.index},
        {"command", f.name},
        {"status", f.status ? nlohmann::ordered_json(*f.status) : nullptr},
        {"status_text", f.statusText},
    };
  }
  return reader;
}

}  // namespace

std::string ReportJson(const BatchReport& report) {
  nlohmann::ordered_json readers = nlohmann::ordered_json::array();
  for (const ReaderResult& r : report.readers) readers.push_back(ReaderJson(r));
  const nlohmann::ordered_json json = {
      {"script",
       {{"path", report.scriptPath},
        {"sha256", OrNull(report.scriptSha256)},
        {"commands", report.scriptCommands}}},
      {"tool", report.tool},
      {"host", report.host},
      {"started", IsoTime(report.started)},
      {"ended", report.ended ? nlohmann::ordered_json(IsoTime(*report.ended)) : nullptr},
      {"exit_status", report.exitStatus},
      {"readers", readers},
  };
  // Replacement characters rather than an exception for a port name that is not UTF-8.
  return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace kavonel
