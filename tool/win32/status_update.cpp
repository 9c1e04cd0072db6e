#include "win32/status_update.h"

#include "resources/dialog_templates.h"
#include "win32/win32_text.h"

namespace kavonel {

CStatusUpdate g_statusReporter;

int CStatusUpdate::DoModal(HWND owner) {
  // A reporter opened while another is shown (a second outcome) is a dialog of its own;
  // this object's window is the newest one's while it lasts.
  CStatusUpdate inner;
  inner.m_strStatusText = m_strStatusText;
  return static_cast<int>(inner.RunModal(IDD_STATUS_UPDATE, owner));
}

void CStatusUpdate::OnInitDialog() {
  const HWND text = Item(IDC_STATUS_TEXT);
  font_ = CreateCellHeightFont(L"Tahoma", 20, FW_BOLD);
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  const std::wstring shown = Widen(m_strStatusText);
  SetWindowTextW(text, shown.c_str());

  // A text that needs more lines than the template has room for makes the dialog taller
  // instead of being cut off.
  RECT box{};
  GetWindowRect(text, &box);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&box), 2);
  RECT need = box;
  if (HDC dc = GetDC(text)) {
    const HGDIOBJ old = SelectObject(dc, font_);
    DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &need,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_LEFT);
    SelectObject(dc, old);
    ReleaseDC(text, dc);
  }
  const LONG extra = (need.bottom - need.top) - (box.bottom - box.top);
  if (extra > 0) {
    SetWindowPos(text, nullptr, 0, 0, box.right - box.left, box.bottom - box.top + extra,
                 SWP_NOMOVE | SWP_NOZORDER);
    const HWND ok = Item(IDC_STATUS_OK);
    RECT button{};
    GetWindowRect(ok, &button);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&button), 2);
    SetWindowPos(ok, nullptr, button.left, button.top + extra, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT frame{};
    GetWindowRect(Handle(), &frame);
    SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + extra,
                 SWP_NOMOVE | SWP_NOZORDER);
  }
  CenterOverOwner(Handle());
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  SetFocus(Item(IDC_STATUS_OK));
}

INT_PTR CStatusUpdate::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return FALSE;
    case WM_COMMAND:
      // OK, Enter, or Escape (no close box, but the keyboard still ends it).
      if (LOWORD(wParam) == IDC_STATUS_OK || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(Handle(), IDOK);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      if (font_ != nullptr) DeleteObject(font_);
      font_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void ShowStatus(std::string_view text, HWND owner) {
  g_statusReporter.m_strStatusText = std::string(text);
  g_statusReporter.DoModal(owner);
}

}  // namespace kavonel
