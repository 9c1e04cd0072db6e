// The monitor's dump of a frame as the operator reads it, written out independently of
// the monitor code, so tests compare against the layout and not against themselves.
#pragma once

#include <algorithm>
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

// The dump of held bytes at frame whatever their length field says: the header shows the
// frame size the field gives (a 16-bit sum, so fields from 0xFFF0 wrap; a frame too short
// to hold the field counts as one without data), and only the bytes both held and within
// that size are shown.
inline std::string ExpectedDumpOf(const uint8_t* frame, size_t held, bool tx) {
  const size_t size = held >= 14 ? ((frame[12] << 8 | frame[13]) + 16) & 0xFFFF : 16;
  std::string out = ExpectedDump({frame, frame + std::min(size, held)}, tx);
  const size_t number = out.find("][") + 2;
  return out.replace(number, out.find(']', number) - number, std::to_string(size));
}

}  // namespace kavonel::testing
