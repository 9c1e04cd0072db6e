#include "qt/status_update.h"

#include <QDialog>
#include <QPushButton>

#include "qt/dialog_look.h"
#include "ui_status_update.h"

namespace kavonel {

CStatusUpdate g_statusReporter;

int CStatusUpdate::DoModal(QWidget* parent) {
  QDialog window(parent);
  Ui::CStatusUpdate ui;
  ui.setupUi(&window);
  window.setFont(ShellDialogFont());
  // Caption but no system menu, so no close box; kept above every other window.
  window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowStaysOnTopHint);
  window.setWindowIcon(AppIcon());
  ui.statusText->setFont(StatusTextFont());
  ui.statusText->setText(QString::fromStdString(m_strStatusText));
  // A text that needs more lines than the template has room for makes the dialog taller
  // instead of being cut off (the three-line run verdict wraps to four).
  const int extra = ui.statusText->heightForWidth(ui.statusText->width()) - ui.statusText->height();
  if (extra > 0) {
    ui.statusText->resize(ui.statusText->width(), ui.statusText->height() + extra);
    ui.okButton->move(ui.okButton->x(), ui.okButton->y() + extra);
    window.setFixedSize(window.width(), window.height() + extra);
  }
  QObject::connect(ui.okButton, &QPushButton::clicked, &window, &QDialog::accept);
  ui.okButton->setFocus();
  QDialog* outer = m_window;  // a second reporter opened from inside the first
  m_window = &window;
  const int result = window.exec();
  m_window = outer;
  return result;
}

void ShowStatus(std::string_view text, QWidget* parent) {
  g_statusReporter.m_strStatusText = std::string(text);
  g_statusReporter.DoModal(parent);
}

}  // namespace kavonel
