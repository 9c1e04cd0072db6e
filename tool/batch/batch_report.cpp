#include "batch/batch_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "settings/settings_rules.h"

namespace kavonel {

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string IsoTime(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms.count() % 1000));
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

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      ok = false;
    }
  }
  // On disk before it takes the old file's name: a crash leaves the old file or the new.
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace kavonel
