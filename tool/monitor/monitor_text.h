// Formatting of monitor texts and the hex dump of frames. Every piece of monitor text
// fits the 1,024-byte buffer the reader tools have always used: at most 1,023
// characters, never cut inside a UTF-8 sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/monitor_output.h"

namespace kavonel {

constexpr size_t kMonitorTextLimit = 1023;

// printf-style formatting into one monitor piece, cut at kMonitorTextLimit. A format
// the C library rejects gives an empty text.
std::string FormatMonitorText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The longest prefix of text that fits one piece and ends on a character boundary.
std::string_view CutMonitorText(std::string_view text);

// The dump of a frame: "\n", the header "[TX][L]---->" or "[RX][L]<----" with L the
// frame size from its length field, then " xx" per byte (a "\n" before every 16th),
// stopping at the bytes held, and a closing "\n". Each piece is one append.
void DumpFrame(MonitorOutput& out, const uint8_t* frame, size_t held, bool tx);

}  // namespace kavonel
