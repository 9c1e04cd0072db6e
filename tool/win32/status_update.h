// The status reporter (template 137): one outcome text in big bold letters, above all
// other windows, until the operator presses OK. One object for the program
// (g_statusReporter); each DoModal makes its window anew.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "win32/dialog_support.h"

namespace kavonel {

class CStatusUpdate final : public TemplateDialog {
 public:
  // Shows m_strStatusText and returns when the operator has closed the dialog.
  int DoModal(HWND owner = nullptr);

  std::string m_strStatusText;

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnInitDialog();
  HFONT font_ = nullptr;  // made at each showing, released when the window goes
};

extern CStatusUpdate g_statusReporter;

// Sets the reporter's text and shows it modally.
void ShowStatus(std::string_view text, HWND owner = nullptr);

}  // namespace kavonel
