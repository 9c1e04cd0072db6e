#include "win32/about_dlg.h"

#include "resources/dialog_templates.h"

namespace kavonel {

int CAboutDlg::DoModal(HWND owner) {
  return static_cast<int>(RunModal(IDD_ABOUTBOX, owner));
}

INT_PTR CAboutDlg::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterOverOwner(Handle());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(Handle(), LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace kavonel
