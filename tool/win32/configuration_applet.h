// The settings dialog (template 129). One object lives for the whole program
// (g_settingsDialog) and keeps the settings between showings; each DoModal makes its
// window anew, lists the ports afresh and pre-selects the stored values. The rules are
// those of settings/settings_rules.h; this class only mirrors a SettingsForm into the
// controls and back.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "settings/port_list.h"
#include "settings/reader_settings.h"
#include "settings/settings_rules.h"
#include "win32/dialog_support.h"

namespace kavonel {

class CConfigurationApplet final : public TemplateDialog {
 public:

  // IDOK after the OK button or Enter on any control; IDCANCEL after the close box or
  // Escape (a reader type picked meanwhile has been stored already and stays).
  int DoModal(HWND owner = nullptr);

  // The live settings. The window's copy is taken after IDOK.
  ReaderSettings m_settings;
  // Where the port rows come from (tests give a fixed list).
  std::function<std::vector<std::string>()> m_listPorts = ListSerialPorts;

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnInitDialog();
  void OnOK();

  SettingsForm form_;
};

extern CConfigurationApplet g_settingsDialog;

}  // namespace kavonel
