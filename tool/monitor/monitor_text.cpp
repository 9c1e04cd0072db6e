#include "monitor/monitor_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace kavonel {
namespace {

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string_view CutMonitorText(std::string_view text) {
  if (text.size() <= kMonitorTextLimit) return text;
  // The cut is clean when the first byte left out starts a character; otherwise step
  // back to the start of the character it continues (at most three bytes).
  size_t end = kMonitorTextLimit;
  for (int back = 0; back < 3 && end > 0 && IsContinuation(text[end]); ++back) --end;
  if (IsContinuation(text[end])) end = kMonitorTextLimit;  // not UTF-8: a plain cut
  return text.substr(0, end);
}

std::string FormatMonitorText(const char* format, ...) {
  if (format == nullptr) return {};
  // A few bytes beyond the limit let the cut see which character it would split.
  char buffer[kMonitorTextLimit + 5];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (written < 0) return {};
  const size_t held = std::min(static_cast<size_t>(written), sizeof buffer - 1);
  return std::string(CutMonitorText(std::string_view(buffer, held)));
}

void DumpFrame(MonitorOutput& out, const uint8_t* frame, size_t held, bool tx) {
  if (frame == nullptr) held = 0;
  // The length field lies at bytes 12 and 13; a frame too short to hold it counts as
  // a frame without data.
  const uint16_t dataLength =
      held >= 14 ? static_cast<uint16_t>(frame[12] * 256 + frame[13]) : uint16_t{0};
  const uint16_t frameLength = static_cast<uint16_t>(dataLength + 16);
  out.AppendMonitorText("\n");
  out.AppendMonitorText(tx ? FormatMonitorText("[TX][%d]---->", frameLength)
                           : FormatMonitorText("[RX][%d]<----", frameLength));
  // " %02x" by table: a batch dumps two frames a command on every reader, and printf's
  // parsing would be most of what a command costs here.
  static constexpr char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < frameLength && i < held; ++i) {
    if (i % 16 == 0) out.AppendMonitorText("\n");
    const char piece[3] = {' ', kHex[frame[i] >> 4], kHex[frame[i] & 0x0F]};
    out.AppendMonitorText(std::string_view(piece, sizeof piece));
  }
  out.AppendMonitorText("\n");
}

}  // namespace kavonel
