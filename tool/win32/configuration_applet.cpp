#include "win32/configuration_applet.h"

#include "resources/dialog_templates.h"
#include "win32/win32_text.h"

namespace kavonel {

CConfigurationApplet g_settingsDialog;

namespace {

void InsertRow(HWND list, int row, std::string_view text) {
  // At its own row: the lists carry the sort style, and only an insert keeps the order.
  const std::wstring wide = Widen(text);
  SendMessageW(list, CB_INSERTSTRING, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(wide.c_str()));
}

int SelectedRow(HWND list) {
  return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
}

}  // namespace

int CConfigurationApplet::DoModal(HWND owner) {
  if (Handle() != nullptr) return IDCANCEL;  // already shown
  return RunModal(IDD_CONFIGURATION_APPLET, owner) == IDOK ? IDOK : IDCANCEL;
}

void CConfigurationApplet::OnInitDialog() {
  form_ = OpenSettingsForm(m_settings, m_listPorts ? m_listPorts() : std::vector<std::string>{});
  const HWND ports = Item(IDC_COM_PORT_LIST);
  for (size_t row = 0; row < form_.portRows.size(); ++row) {
    InsertRow(ports, static_cast<int>(row), form_.portRows[row]);
  }
  SendMessageW(ports, CB_SETCURSEL, static_cast<WPARAM>(form_.portRow), 0);
  // A name the list does not have (a port typed by hand last time) stays in the field.
  SetControlText(ports, form_.portText);
  const HWND bauds = Item(IDC_BAUD_RATE_LIST);
  for (size_t row = 0; row < kBaudRateRows.size(); ++row) {
    InsertRow(bauds, static_cast<int>(row), std::to_string(kBaudRateRows[row]));
  }
  const HWND types = Item(IDC_READER_TYPE_LIST);
  for (size_t row = 0; row < kReaderTypeRows.size(); ++row) {
    InsertRow(types, static_cast<int>(row), kReaderTypeRows[row]);
  }
  // Selecting sends no change notification: the pre-selection stores nothing.
  SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(form_.readerTypeRow), 0);
  SendMessageW(bauds, CB_SETCURSEL, static_cast<WPARAM>(form_.baudRow), 0);
  CheckDlgButton(Handle(), IDC_LOG_COMMANDS, form_.logCommands ? BST_CHECKED : BST_UNCHECKED);
  // The rows are wider than the closed boxes.
  SendMessageW(types, CB_SETDROPPEDWIDTH, 240, 0);
  SendMessageW(ports, CB_SETDROPPEDWIDTH, 220, 0);
  CenterOverOwner(Handle());
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  SetFocus(Item(IDC_SETTINGS_OK));
}

void CConfigurationApplet::OnOK() {
  const HWND ports = Item(IDC_COM_PORT_LIST);
  form_.portRow = SelectedRow(ports);
  form_.portText = ControlText(ports);
  form_.readerTypeRow = SelectedRow(Item(IDC_READER_TYPE_LIST));
  form_.baudRow = SelectedRow(Item(IDC_BAUD_RATE_LIST));
  form_.logCommands = IsDlgButtonChecked(Handle(), IDC_LOG_COMMANDS) == BST_CHECKED;
  AcceptSettingsForm(form_, m_settings);
  EndDialog(Handle(), IDOK);
}

INT_PTR CConfigurationApplet::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return FALSE;  // the focus is set: on OK
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDC_READER_TYPE_LIST && code == CBN_SELCHANGE) {
        PickReaderType(form_, m_settings, SelectedRow(Item(IDC_READER_TYPE_LIST)));
        SendMessageW(Item(IDC_BAUD_RATE_LIST), CB_SETCURSEL, static_cast<WPARAM>(form_.baudRow), 0);
        return TRUE;
      }
      // The button, or Enter on any control (the dialog manager sends IDOK for it).
      if ((id == IDC_SETTINGS_OK && code == BN_CLICKED) || id == IDOK) {
        OnOK();
        return TRUE;
      }
      if (id == IDCANCEL) {
        EndDialog(Handle(), IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace kavonel
