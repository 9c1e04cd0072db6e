#include "monitor/monitor_tee.h"

#include "monitor/monitor_text.h"

namespace kavonel {

void MonitorTee::AppendMonitorText(std::string_view text) {
  try {
    const std::string_view piece = CutMonitorText(text);
    m_display.AppendMonitorText(piece);
    if (m_logging) m_log.Write(piece);
  } catch (...) {
    // A report that cannot be shown must not end the operation that made it.
  }
}

}  // namespace kavonel
