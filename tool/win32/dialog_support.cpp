#include "win32/dialog_support.h"

#include <algorithm>

#include "win32/win32_text.h"

namespace kavonel {

INT_PTR TemplateDialog::RunModal(int templateId, HWND owner) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                         &TemplateDialog::Procedure, reinterpret_cast<LPARAM>(this));
}

HWND TemplateDialog::CreateModeless(int templateId, HWND owner) {
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                            &TemplateDialog::Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TemplateDialog::Procedure(HWND hwnd, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* self = reinterpret_cast<TemplateDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<TemplateDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  }
  if (self == nullptr) return FALSE;
  const INT_PTR result = self->OnMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The object may be shown again, in a window made anew.
    self->hwnd_ = nullptr;
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
  }
  return result;
}

HFONT CreateCellHeightFont(const wchar_t* face, int cellHeight, int weight, bool fixedPitch) {
  LOGFONTW font{};
  font.lfHeight = cellHeight;
  font.lfWeight = weight;
  if (fixedPitch) font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void CenterOverOwner(HWND dialog) {
  RECT own{};
  GetWindowRect(dialog, &own);
  const HWND owner = GetWindow(dialog, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : dialog, MONITOR_DEFAULTTOPRIMARY),
                  &monitor);
  const RECT area = monitor.rcWork;
  RECT over = area;
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &over);
  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  LONG x = over.left + (over.right - over.left - width) / 2;
  LONG y = over.top + (over.bottom - over.top - height) / 2;
  x = std::max(area.left, std::min(x, area.right - width));
  y = std::max(area.top, std::min(y, area.bottom - height));
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetControlText(HWND control, std::string_view utf8) {
  SetWindowTextW(control, Widen(utf8).c_str());
}

std::string ControlText(HWND control) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void HandlePendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Left for the loop that owns it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    const HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace kavonel
