// The monitor's dump of a frame as the operator reads it, written out independently of
// the monitor code, so tests compare against the layout and not against themselves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kavonel::testing {

inline std::string ExpectedDump(const std::vector<uint8_t>& frame, bool tx) {
  std::string out = "\n";
  char header[32];
  std::snprintf(header, sizeof header, tx ? "[TX][%zu]---->" : "[RX][%zu]<----", frame.size());
  out += header;
  for (size_t i = 0; i < frame.size(); ++i) {
    if (i % 16 == 0) out += "\n";
    char hex[8];
    std::snprintf(hex, sizeof hex, " %02x", frame[i]);
    out += hex;
  }
  return out + "\n";
}

}  // namespace kavonel::testing
