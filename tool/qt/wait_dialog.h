// The waiting dialog shown while reader detection runs. One object for the program
// (g_waitDialog). DoModal returns when EndDialog is called or the operator closed it
// with Escape; EndDialog does nothing when the dialog is not shown, so ending it
// twice, or after an early close, is harmless.
#pragma once

class QDialog;
class QWidget;

namespace kavonel {

class CWaitDialog {
 public:
  enum { IDOK = 1 };
  int DoModal(QWidget* parent = nullptr);
  void EndDialog(int result);
  bool IsShown() const { return m_window != nullptr; }
  QDialog* Window() const { return m_window; }

 private:
  QDialog* m_window = nullptr;
};

extern CWaitDialog g_waitDialog;

}  // namespace kavonel
