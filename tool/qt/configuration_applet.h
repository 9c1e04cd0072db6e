// The settings dialog. One object lives for the whole program (g_settingsDialog) and
// keeps the settings between showings; each DoModal builds its window anew from the
// form, lists the ports afresh and pre-selects the stored values.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "settings/port_list.h"
#include "settings/reader_settings.h"
#include "settings/settings_rules.h"

class QDialog;
class QWidget;

namespace kavonel {

class CConfigurationApplet {
 public:
  enum Result { IDOK = 1, IDCANCEL = 2 };

  // IDOK after the OK button or Enter on any control; IDCANCEL after the close box
  // or Escape (a reader type picked meanwhile has been stored already and stays).
  int DoModal(QWidget* parent = nullptr);

  // The live settings. The window's copy is taken after IDOK.
  ReaderSettings m_settings;

  // Where the port rows come from (tests give a fixed list).
  std::function<std::vector<std::string>()> m_listPorts = ListSerialPorts;

  // The window while DoModal runs, else null.
  QDialog* Window() const { return m_window; }

 private:
  QDialog* m_window = nullptr;
};

// The program's one settings dialog object.
extern CConfigurationApplet g_settingsDialog;

}  // namespace kavonel
