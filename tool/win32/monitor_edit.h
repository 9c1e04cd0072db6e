// The command monitor as an edit control: every piece is appended at the end, its line
// breaks shown as "\r\n", and the control scrolled to the end. Pieces that come in a
// burst (a long run writes several per command) are gathered and shown together, at most
// every kBatchMs, and never more often than keeps the showing to a tenth of the thread's
// time: each insertion costs the control time that grows with its text, and one per piece
// would make a long run wait on the monitor rather than on the reader. A piece after a
// quiet spell is shown at once.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "monitor/monitor_output.h"

namespace kavonel {

// A piece of monitor text as the edit control shows it: UTF-16, each "\n" that does not
// follow a "\r" as "\r\n".
std::wstring EditControlText(std::string_view text);

class MonitorEdit final : public MonitorOutput {
 public:
  static constexpr UINT kBatchMs = 40;
  static constexpr ULONGLONG kShareOfTime = 10;

  ~MonitorEdit() override { Attach(nullptr); }
  // The control keeps the whole text, however long the run: an edit control takes only
  // 30,000 characters unless told otherwise.
  void Attach(HWND edit);
  void AppendMonitorText(std::string_view text) override;
  // Shows what is gathered now (before a dialog opens, and for tests).
  void Flush();
  void Clear();

 private:
  static void CALLBACK OnTimer(HWND edit, UINT, UINT_PTR, DWORD);

  HWND edit_ = nullptr;
  std::wstring pending_;
  ULONGLONG nextShow_ = 0;  // when the next insertion may be made
  bool timerSet_ = false;
};

}  // namespace kavonel
