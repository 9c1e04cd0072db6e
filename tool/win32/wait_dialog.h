// The waiting dialog (template 138) shown while reader detection runs. One object for
// the program (g_waitDialog). DoModal returns when EndDialog is called or the operator
// closed it with Escape; EndDialog does nothing when the dialog is not shown, so ending
// it twice, or after an early close, is harmless.
#pragma once

#include <windows.h>

#include "win32/dialog_support.h"

namespace kavonel {

class CWaitDialog final : public TemplateDialog {
 public:
  int DoModal(HWND owner = nullptr);
  void EndDialog(int result);
  bool IsShown() const { return Handle() != nullptr; }

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  HFONT font_ = nullptr;
};

extern CWaitDialog g_waitDialog;

}  // namespace kavonel
