#include "cli_view.h"

namespace kavonel {

void StdoutMonitor::AppendMonitorText(std::string_view text) {
  // Buffered: a write per piece would cost more than the reader's round trip. What is
  // buffered goes out whenever the program waits (FlushMonitorText), so a reader of
  // the pipe never misses a line that the window would already show.
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void FlushMonitorText() {
  std::fflush(stdout);
}

void CliView::ShowStatus(std::string_view text) {
  FlushMonitorText();  // the trace comes before the verdict on a shared terminal
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void CliView::ShowFirmwareVersion(std::string_view text) {
  FlushMonitorText();
  std::fprintf(stderr, "Firmware Version: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void CliView::ShowPortProblem(std::string_view reason) {
  FlushMonitorText();
  std::fprintf(stderr, "kavonel-cli: %.*s\n", static_cast<int>(reason.size()), reason.data());
  std::fflush(stderr);
}

}  // namespace kavonel
