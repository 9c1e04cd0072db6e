// Appends 200,000 monitor pieces (the frame dumps of typical script commands) to the
// window's command monitor, offscreen, and prints the time per append of the first
// 1,000 and of the last 1,000. The goal: the last no more than twice the first, i.e.
// no cost that grows with the text already shown. Baseline in the same run: the same
// pieces appended to a plain string.
#include <QApplication>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/frame.h"
#include "monitor/monitor_text.h"
#include "qt/tarrow_dlg.h"

namespace {

using Clock = std::chrono::steady_clock;

struct NoDialogs : kavonel::WindowDialogs {
  bool EditSettings() override { return true; }
  void ShowStatus(std::string_view) override {}
  void ShowWaitDialog() override {}
  void EndWaitDialog() override {}
  void ShowAbout(QWidget*) override {}
  kavonel::ScriptChoice ChooseScriptFile(QWidget*) override { return {}; }
};

// Collects the pieces a script run would show: for each command its TX dump, the RX
// dump of the 16-byte answer and a status line.
struct PieceRecorder : kavonel::MonitorOutput {
  std::vector<std::string> pieces;
  void AppendMonitorText(std::string_view text) override { pieces.emplace_back(text); }
};

std::vector<std::string> TypicalPieces(size_t count) {
  PieceRecorder recorder;
  const std::vector<std::vector<uint8_t>> records = {
      {0x31, 0x02, 0x00, 0x02, 0x01, 0x01},                       // poll mode
      {0x04, 0x01, 0x00, 0x07, 0xA0, 0, 0, 0, 0x03, 0x10, 0x10},  // an AID
      {0x05, 0x03, 0x00, 0x0C, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
      {0x07, 0x01, 0x00, 0x20, 0x9F, 0x1A, 0x02, 0x08, 0x40, 0x5F, 0x2A, 0x02,
       0x09, 0x78, 0x9F, 0x35, 0x01, 0x22, 0x9F, 0x33, 0x03, 0xE0, 0xF8, 0xC8,
       0x9F, 0x40, 0x05, 0x60, 0x00, 0xF0, 0xA0, 0x01, 0x9F, 0x66, 0x04, 0x36}};
  uint8_t buffer[kavonel::kScriptFrameBufferSize];
  uint8_t answer[16];
  kavonel::BuildFixedFrame(answer, 0x31, 0x00);
  for (size_t i = 0; recorder.pieces.size() < count; ++i) {
    const auto& record = records[i % records.size()];
    std::copy(record.begin(), record.end(), buffer + kavonel::kFrameHeaderSize);
    const size_t length = kavonel::FrameScriptCommand(buffer, static_cast<uint32_t>(record.size()));
    recorder.AppendMonitorText(kavonel::FormatMonitorText("\nCommand %zu\n", i + 1));
    kavonel::DumpFrame(recorder, buffer, length, true);
    kavonel::DumpFrame(recorder, answer, sizeof answer, false);
    recorder.AppendMonitorText(kavonel::FormatMonitorText("Status: %s\n", "OK"));
  }
  recorder.pieces.resize(count);
  return recorder.pieces;
}

double MicrosPerAppend(Clock::duration spent, size_t appends) {
  return std::chrono::duration<double, std::micro>(spent).count() / static_cast<double>(appends);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const size_t total = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
  constexpr size_t kWindow = 1000;
  const std::vector<std::string> pieces = TypicalPieces(total);

  // Baseline: the same pieces into a string.
  std::string plain;
  const auto plainStart = Clock::now();
  for (const auto& piece : pieces) plain += piece;
  const auto plainSpent = Clock::now() - plainStart;

  kavonel::WindowOptions options;
  options.dialogs = std::make_unique<NoDialogs>();
  options.logFilePath = "/dev/null";
  options.startDetection = [](const kavonel::ReaderSettings&, int) {};
  kavonel::CTarrowDlg window(std::move(options));
  window.OnInitDialog();
  window.show();
  QApplication::processEvents();

  Clock::duration first{}, last{};
  const auto allStart = Clock::now();
  for (size_t i = 0; i < pieces.size(); ++i) {
    const auto start = Clock::now();
    window.AppendMonitorText(pieces[i]);
    // The window paints between pieces as it does while a run waits for the reader.
    if (i % 100 == 99) QApplication::processEvents();
    const auto spent = Clock::now() - start;
    if (i < kWindow) first += spent;
    if (i + kWindow >= pieces.size()) last += spent;
  }
  const auto allSpent = Clock::now() - allStart;

  const double firstUs = MicrosPerAppend(first, std::min(kWindow, pieces.size()));
  const double lastUs = MicrosPerAppend(last, std::min(kWindow, pieces.size()));
  std::printf("monitor appends: %zu pieces, %zu characters shown\n", pieces.size(),
              static_cast<size_t>(window.Monitor()->document()->characterCount()));
  std::printf("  baseline, plain string append:   %8.3f us/append\n",
              MicrosPerAppend(plainSpent, pieces.size()));
  std::printf("  window, first %zu appends:      %8.3f us/append (baseline for the last)\n",
              kWindow, firstUs);
  std::printf("  window, last %zu appends:       %8.3f us/append (%.2fx the first; goal <= 2x)\n",
              kWindow, lastUs, lastUs / firstUs);
  std::printf("  window, all appends:             %8.3f us/append\n",
              MicrosPerAppend(allSpent, pieces.size()));
  return 0;
}
