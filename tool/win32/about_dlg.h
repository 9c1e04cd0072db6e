// The about box (template 100): icon, name and version, OK.
#pragma once

#include <windows.h>

#include "win32/dialog_support.h"

namespace kavonel {

class CAboutDlg final : public TemplateDialog {
 public:
  int DoModal(HWND owner);

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace kavonel
