#include "win32/wait_dialog.h"

#include "resources/dialog_templates.h"

namespace kavonel {

CWaitDialog g_waitDialog;

int CWaitDialog::DoModal(HWND owner) {
  if (IsShown()) return 0;  // one waiting dialog at a time
  return static_cast<int>(RunModal(IDD_WAIT_DIALOG, owner));
}

void CWaitDialog::EndDialog(int result) {
  if (IsShown()) ::EndDialog(Handle(), result);
}

INT_PTR CWaitDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // The text stays the template's, in the reporter's big bold letters.
      font_ = CreateCellHeightFont(L"Tahoma", 20, FW_BOLD);
      SendMessageW(Item(IDC_WAIT_TEXT), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
      CenterOverOwner(Handle());
      return TRUE;
    case WM_COMMAND:
      // No button: Escape (or Enter) ends it early; detection goes on regardless.
      if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        ::EndDialog(Handle(), LOWORD(wParam));
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

}  // namespace kavonel
