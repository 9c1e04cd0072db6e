// The batch's report for the line's records: JSON, and the same as JUnit XML for
// dashboards, each written whole to a temporary file and renamed over the old one, so
// the file is valid after every reader and never half-written.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch_runner.h"

namespace kavonel {

struct BatchReport {
  std::string scriptPath;
  std::string scriptSha256;
  uint32_t scriptCommands = 0;
  std::string tool;  // program name and version
  std::string host;
  std::chrono::system_clock::time_point started;
  std::optional<std::chrono::system_clock::time_point> ended;  // none while running
  std::vector<ReaderResult> readers;                           // ended readers only
  int exitStatus = 0;
};

// The host's name, for the report.
std::string HostName();
// UTC, ISO 8601 with milliseconds: 2026-12-07T10:15:00.123Z
std::string IsoTime(std::chrono::system_clock::time_point time);

std::string ReportJson(const BatchReport& report);
// Empty when this build has no XML writer.
std::string ReportJUnit(const BatchReport& report);
bool HaveJUnitWriter();

// Writes content to path through a temporary file beside it and a rename; false (and
// path untouched) when any step fails.
bool WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace kavonel
