#include "qt/wait_dialog.h"

#include <QDialog>

#include "qt/dialog_look.h"
#include "ui_wait_dialog.h"

namespace kavonel {

CWaitDialog g_waitDialog;

int CWaitDialog::DoModal(QWidget* parent) {
  if (m_window != nullptr) return 0;  // one waiting dialog at a time
  QDialog window(parent);
  Ui::CWaitDialog ui;
  ui.setupUi(&window);
  window.setFont(WaitDialogFont());
  // Caption only: no system menu, no button. Escape still closes it early.
  window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  window.setWindowIcon(AppIcon());
  ui.waitText->setFont(StatusTextFont());
  m_window = &window;
  const int result = window.exec();
  m_window = nullptr;
  return result;
}

void CWaitDialog::EndDialog(int result) {
  if (m_window != nullptr && m_window->isVisible()) m_window->done(result);
}

}  // namespace kavonel
