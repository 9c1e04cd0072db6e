#include "win32/monitor_edit.h"

#include <algorithm>

#include "win32/win32_text.h"

namespace kavonel {

std::wstring EditControlText(std::string_view text) {
  const std::wstring wide = Widen(text);
  std::wstring shown;
  shown.reserve(wide.size() + wide.size() / 16);
  wchar_t previous = 0;
  for (wchar_t c : wide) {
    if (c == L'\n' && previous != L'\r') shown.push_back(L'\r');
    shown.push_back(c);
    previous = c;
  }
  return shown;
}

namespace {
constexpr wchar_t kMonitorProperty[] = L"Kavonel.MonitorEdit";
constexpr UINT_PTR kFlushTimer = 1;
}  // namespace

void MonitorEdit::Attach(HWND edit) {
  if (edit_ != nullptr && IsWindow(edit_)) {
    if (timerSet_) KillTimer(edit_, kFlushTimer);
    RemovePropW(edit_, kMonitorProperty);
  }
  timerSet_ = false;
  pending_.clear();
  edit_ = edit;
  if (edit_ == nullptr) return;
  SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
  SetPropW(edit_, kMonitorProperty, this);
}

void MonitorEdit::AppendMonitorText(std::string_view text) {
  if (edit_ == nullptr || text.empty()) return;
  pending_ += EditControlText(text);
  const ULONGLONG now = GetTickCount64();
  if (now >= nextShow_) {
    Flush();
  } else if (!timerSet_) {
    // The timer's message is handled by the window's loop, or by the wait for the
    // reader, which handles the thread's messages as they come.
    timerSet_ = SetTimer(edit_, kFlushTimer, static_cast<UINT>(nextShow_ - now),
                         &MonitorEdit::OnTimer) != 0;
    if (!timerSet_) Flush();
  }
}

void CALLBACK MonitorEdit::OnTimer(HWND edit, UINT, UINT_PTR, DWORD) {
  if (auto* self = static_cast<MonitorEdit*>(GetPropW(edit, kMonitorProperty))) self->Flush();
}

void MonitorEdit::Flush() {
  if (edit_ == nullptr) return;
  if (timerSet_) {
    KillTimer(edit_, kFlushTimer);
    timerSet_ = false;
  }
  if (pending_.empty()) return;
  const ULONGLONG start = GetTickCount64();
  const LRESULT end = GetWindowTextLengthW(edit_);
  SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pending_.c_str()));
  SendMessageW(edit_, WM_VSCROLL, SB_BOTTOM, 0);
  pending_.clear();
  // An insertion costs more the longer the text (Wine's edit control takes tens of
  // milliseconds at a few hundred kilobytes): the next one waits kShareOfTime times as
  // long as this one took, so showing the text never takes more than a tenth of the
  // thread's time, however long the run.
  const ULONGLONG took = GetTickCount64() - start;
  nextShow_ = start + std::max<ULONGLONG>(kBatchMs, took * kShareOfTime);
}

void MonitorEdit::Clear() {
  if (edit_ == nullptr) return;
  pending_.clear();
  SetWindowTextW(edit_, L"");
}

}  // namespace kavonel
