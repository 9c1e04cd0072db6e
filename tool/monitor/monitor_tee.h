// The command monitor as the operations see it: every piece goes to the display and,
// while the logging switch is on at that moment, to the log file. The window and kavonel-cli both put this in front of their display.
#pragma once

#include <string_view>

#include "monitor/log_file.h"
#include "monitor/monitor_output.h"

namespace kavonel {

class MonitorTee final : public MonitorOutput {
 public:
  // logging is read at each append: the window's switch changes after each OK.
  MonitorTee(MonitorOutput& display, CLogFile& log, const bool& logging)
      : m_display(display), m_log(log), m_logging(logging) {}

  // The piece is cut to one monitor text; a failure of the display or the log is
  // swallowed, as the monitor never lets a report end an operation.
  void AppendMonitorText(std::string_view text) override;

 private:
  MonitorOutput& m_display;
  CLogFile& m_log;
  const bool& m_logging;
};

}  // namespace kavonel
