// The status reporter: one outcome text in big bold letters, above all other windows,
// until the operator presses OK. One object for the program (g_statusReporter); each
// DoModal builds its window anew.
#pragma once

#include <string>
#include <string_view>

class QDialog;
class QWidget;

namespace kavonel {

class CStatusUpdate {
 public:
  // Shows m_strStatusText and returns when the operator has closed the dialog.
  int DoModal(QWidget* parent = nullptr);
  QDialog* Window() const { return m_window; }

  std::string m_strStatusText;

 private:
  QDialog* m_window = nullptr;
};

extern CStatusUpdate g_statusReporter;

// Sets the reporter's text and shows it modally.
void ShowStatus(std::string_view text, QWidget* parent = nullptr);

}  // namespace kavonel
