// Where monitor text goes: the window's command monitor, the command line's standard
// output, a test's recorder. Texts arrive formatted and are shown unchanged.
#pragma once

#include <string_view>

namespace kavonel {

class MonitorOutput {
 public:
  virtual ~MonitorOutput() = default;
  // One piece of monitor text, on the user-interface thread. Also written to the log
  // file while logging is on.
  virtual void AppendMonitorText(std::string_view text) = 0;
};

}  // namespace kavonel
