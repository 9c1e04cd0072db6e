#include "qt/about_dlg.h"

#include <QDialog>
#include <QPushButton>

#include "qt/dialog_look.h"
#include "ui_about_dlg.h"

namespace kavonel {

int CAboutDlg::DoModal(QWidget* parent) {
  QDialog window(parent);
  Ui::CAboutDlg ui;
  ui.setupUi(&window);
  window.setFont(ShellDialogFont());
  window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  window.setWindowIcon(AppIcon());
  ui.iconLabel->setPixmap(AppIcon().pixmap(32, 32));
  QObject::connect(ui.okButton, &QPushButton::clicked, &window, &QDialog::accept);
  return window.exec();
}

}  // namespace kavonel
