// Why a serial port could not be opened, in the operator's words: the link reports only
// COM_OPEN_FAILED, and "Open Failed" alone leaves the operator guessing between a
// missing adapter, a missing group membership and a terminal program left running.
#pragma once

#include <string>

namespace kavonel {

enum class PortProblem {
  kNone,          // nothing known (no failure, or no system error to go by)
  kMissing,       // no such device
  kNoPermission,  // the device exists but this user may not open it
  kInUse,         // another program holds it
  kNotSerial,     // a file or device that is no serial port
  kNoFileRoom,    // this program (or the whole system) has as many files open as allowed
  kOther,         // the system's own error text
};

struct PortDiagnosis {
  PortProblem problem = PortProblem::kNone;
  std::string text;  // one line, no line break; empty for kNone
};

// Text for one line: names of devices and programs come from outside, and a control
// character in them must not break or garble the operator's line.
inline std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

// Looks at devicePath after opening it failed with systemError (the platform's error
// number of the failing call: errno on POSIX). Reads the device's owner, group and mode
// and, for a held device, which processes hold it where the system lets us see them.
PortDiagnosis DiagnosePortOpen(const std::string& devicePath, int systemError);

}  // namespace kavonel
