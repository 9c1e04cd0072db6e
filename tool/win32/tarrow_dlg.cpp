#include "win32/tarrow_dlg.h"

#include <commdlg.h>

#include <vector>

#include "link/com_port.h"
#include "monitor/monitor_text.h"
#include "resources/dialog_templates.h"
#include "resources/window_texts.h"
#include "win32/about_dlg.h"
#include "win32/configuration_applet.h"
#include "win32/status_update.h"
#include "win32/wait_dialog.h"
#include "win32/win32_text.h"

namespace kavonel {
namespace {

constexpr int kOperationButtons[] = {IDC_CHECK_CONNECTION, IDC_REBOOT_READER, IDC_RESET_TO_DEFAULT,
                                     IDC_RUN_SCRIPT, IDC_SETTINGS};

// The box that says why the port did not open. One box, reused, and closed as soon as
// its reason is over.
class PortProblemBox final : public TemplateDialog {
 public:
  void Show(HWND owner, std::string_view reason) {
    if (Handle() == nullptr && CreateModeless(IDD_PORT_PROBLEM, owner) == nullptr) return;
    SetControlText(Item(IDC_PORT_PROBLEM_TEXT), reason);
    ShowWindow(Handle(), SW_SHOWNORMAL);
    SetForegroundWindow(Handle());
  }
  void Close() {
    if (Handle() != nullptr) DestroyWindow(Handle());
  }

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM) override {
    switch (message) {
      case WM_INITDIALOG:
        SetControlText(Handle(), texts::kApplicationName);
        SendMessageW(Item(IDC_PORT_PROBLEM_ICON), STM_SETICON,
                     reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
        CenterOverOwner(Handle());
        return TRUE;
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) Close();
        return TRUE;
      default:
        return FALSE;
    }
  }
};

// The filter of the open-file dialog: "Text file (*.txt)", then "*.txt", each ended by
// a NUL, and one more NUL at the end.
std::wstring ScriptFileFilter() {
  std::wstring filter = Widen(texts::kScriptFileFilter);
  filter.push_back(L'\0');
  filter += L"*." + Widen(texts::kScriptFileSuffix);
  filter.push_back(L'\0');
  return filter;
}

class ProgramDialogs final : public WindowDialogs {
 public:
  ~ProgramDialogs() override { portProblem_.Close(); }
  bool EditSettings(HWND owner) override {
    return g_settingsDialog.DoModal(owner) == IDOK;
  }
  void ShowStatus(HWND owner, std::string_view text) override { kavonel::ShowStatus(text, owner); }
  void ShowWaitDialog(HWND owner) override { g_waitDialog.DoModal(owner); }
  void EndWaitDialog() override { g_waitDialog.EndDialog(IDOK); }
  void ShowAbout(HWND owner) override { CAboutDlg().DoModal(owner); }
  ScriptChoice ChooseScriptFile(HWND owner) override {
    const std::wstring filter = ScriptFileFilter();
    const std::wstring suffix = Widen(texts::kScriptFileSuffix);
    // Room for the longest path Windows has.
    std::vector<wchar_t> path(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrDefExt = suffix.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    ScriptChoice choice;
    if (!GetOpenFileNameW(&ofn)) {
      choice.result = CommDlgExtendedError() == 0 ? ScriptChoice::kCancelled : ScriptChoice::kFailed;
      return choice;
    }
    choice.result = ScriptChoice::kChosen;
    choice.path = Narrow(path.data());
    return choice;
  }
  void ShowPortProblem(HWND owner, std::string_view reason) override {
    portProblem_.Show(owner, reason);
  }
  void ClosePortProblem() override { portProblem_.Close(); }

 private:
  PortProblemBox portProblem_;
};

CLogFile MakeLogFile(const std::string& path) {
  if (path.empty()) return CLogFile();
  return CLogFile(path);
}

}  // namespace

std::unique_ptr<WindowDialogs> MakeProgramDialogs() {
  return std::make_unique<ProgramDialogs>();
}

CTarrowDlg::CTarrowDlg(WindowOptions options)
    : m_dialogs(options.dialogs ? std::move(options.dialogs) : MakeProgramDialogs()),
      m_startDetection(std::move(options.startDetection)),
      m_logFile(MakeLogFile(options.logFilePath)),
      m_port(options.port != nullptr ? *options.port : TheComPort()),
      m_detection(*this, m_port) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  m_hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  m_hSmallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
  // While an operation waits for the reader on this thread, the window's messages are
  // handled as they come.
  m_port.SetWaitHook(HandlePendingMessages, ComPort::HookRepeat::kOnMessages);
}

CTarrowDlg::~CTarrowDlg() {
  // A detection still running finishes without reaching this window.
  m_detection.DetachView();
  if (Handle() != nullptr) DestroyWindow(Handle());
  m_port.SetWaitHook({});
  m_dialogs.reset();
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(m_monitorFont), static_cast<HGDIOBJ>(m_fieldFont)}) {
    if (object != nullptr) DeleteObject(object);
  }
  for (HICON icon : {m_hIcon, m_hSmallIcon}) {
    if (icon != nullptr) DestroyIcon(icon);
  }
}

INT_PTR CTarrowDlg::DoModal() {
  return RunModal(IDD_TARROW_DIALOG, nullptr);
}

HWND CTarrowDlg::Create() {
  m_modal = false;
  CreateModeless(IDD_TARROW_DIALOG, nullptr);
  return Handle();
}

bool CTarrowDlg::OnInitDialog() {
  {
    std::lock_guard<std::mutex> guard(m_gate->lock);
    m_gate->target = Handle();
  }
  // The About item of the system menu, behind a separator.
  if (HMENU menu = GetSystemMenu(Handle(), FALSE)) {
    wchar_t text[128] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128) > 0) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
    }
  }
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
  m_display.Attach(Item(IDC_COMMAND_MONITOR));

  if (!m_dialogs->EditSettings(nullptr)) return false;
  m_settings = g_settingsDialog.m_settings;
  m_monitorFont = CreateCellHeightFont(L"Courier", 12, FW_HEAVY, true);
  m_fieldFont = CreateCellHeightFont(L"Tahoma", 14, FW_BOLD);
  SendMessageW(Item(IDC_COMMAND_MONITOR), WM_SETFONT, reinterpret_cast<WPARAM>(m_monitorFont), TRUE);
  SendMessageW(Item(IDC_FIRMWARE_VERSION), WM_SETFONT, reinterpret_cast<WPARAM>(m_fieldFont), TRUE);
  SendMessageW(Item(IDC_STATUS_LINE), WM_SETFONT, reinterpret_cast<WPARAM>(m_fieldFont), TRUE);
  CenterOverOwner(Handle());
  StartReaderDetection();
  // The buttons stay disabled until reader detection has ended.
  DisableOperationButtons();
  return true;
}

INT_PTR CTarrowDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!OnInitDialog()) {
        // Settings cancelled at start: the program ends, as if the window had been
        // closed before it was ever shown.
        if (m_modal) {
          EndDialog(Handle(), IDOK);
        } else {
          DestroyWindow(Handle());
        }
      }
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnAbout();
        return TRUE;
      }
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_SHOW_FIRMWARE_VERSION:
      m_detection.OnShowFirmwareVersion();
      SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_MONITOR_TEXT: {
      // The text is this handler's: shown as it came (never used as a format), then freed.
      std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
      if (text) AppendMonitorText(*text);
      SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
      return TRUE;
    }
    case WM_READER_CHECK_STATE:
      m_detection.OnReaderCheckState(lParam != 0);
      SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

void CTarrowDlg::OnCommand(int id, int code) {
  if (code != BN_CLICKED) {
    // The monitor shows no caret and no selection.
    if (id == IDC_COMMAND_MONITOR && code == EN_SETFOCUS) {
      SendMessageW(Item(IDC_COMMAND_MONITOR), EM_SETSEL, static_cast<WPARAM>(-1), 0);
      HideCaret(Item(IDC_COMMAND_MONITOR));
    }
    return;
  }
  switch (id) {
    case IDC_SETTINGS:
      OnSettings();
      break;
    case IDC_RUN_SCRIPT:
      OnRunScript();
      break;
    case IDC_CHECK_CONNECTION:
      OnCheckConnection();
      break;
    case IDC_RESET_TO_DEFAULT:
      OnResetToDefault();
      break;
    case IDC_REBOOT_READER:
      OnRebootReader();
      break;
    case IDC_CLEAR:
      OnClear();
      break;
    case IDCANCEL:
      // Escape and the close box end the program.
      if (m_modal) {
        EndDialog(Handle(), IDCANCEL);
      } else {
        DestroyWindow(Handle());
      }
      break;
    default:
      // IDOK, from Enter where no button has the focus: no button is the default one,
      // and a stray key must not throw the monitor away.
      break;
  }
}

void CTarrowDlg::OnDestroy() {
  {
    // Nothing posted from now on reaches this window.
    std::lock_guard<std::mutex> guard(m_gate->lock);
    m_gate->target = nullptr;
  }
  // What is still queued goes with the window; each text exactly once.
  MSG msg;
  while (PeekMessageW(&msg, Handle(), WM_MONITOR_TEXT, WM_MONITOR_TEXT, PM_REMOVE)) {
    delete reinterpret_cast<std::string*>(msg.lParam);
  }
  m_dialogs->ClosePortProblem();
  m_display.Attach(nullptr);
}

void CTarrowDlg::BeginOperation() {
  m_dialogs->ClosePortProblem();
}

void CTarrowDlg::OnSettings() {
  if (!m_dialogs->EditSettings(Handle())) return;
  m_dialogs->ClosePortProblem();
  ClearMonitor();
  SetStatusLine({});
  ShowFirmwareVersion({});
  m_detection.ClearReaderAnswered();
  DisableOperationButtons();
  m_settings = g_settingsDialog.m_settings;
  StartReaderDetection();
}

void CTarrowDlg::OnRunScript() {
  BeginOperation();
  RunConfigurationScript(*this, m_port, m_settings);
}
void CTarrowDlg::OnCheckConnection() {
  BeginOperation();
  CheckReaderConnection(*this, m_port, m_settings);
}
void CTarrowDlg::OnResetToDefault() {
  BeginOperation();
  ResetConfigurationToDefault(*this, m_port, m_settings);
}
void CTarrowDlg::OnRebootReader() {
  BeginOperation();
  RebootReader(*this, m_port, m_settings);
}

void CTarrowDlg::OnClear() {
  // The log file keeps what it has.
  ClearMonitor();
  SetStatusLine({});
}

void CTarrowDlg::OnAbout() {
  m_dialogs->ShowAbout(Handle());
}

void CTarrowDlg::StartReaderDetection() {
  if (m_startDetection) {
    m_startDetection(m_settings, LiveReaderType());
  } else {
    m_detection.Start(m_settings, LiveReaderType());
  }
}

void CTarrowDlg::AppendMonitorText(std::string_view text) {
  m_monitor.AppendMonitorText(text);
}

void CTarrowDlg::ClearMonitor() {
  m_display.Clear();
}

void CTarrowDlg::SetStatusLine(std::string_view text) {
  SetControlText(Item(IDC_STATUS_LINE), text);
}

void CTarrowDlg::ShowStatus(std::string_view text) {
  m_display.Flush();
  m_dialogs->ShowStatus(Handle(), text);
}

int CTarrowDlg::ButtonId(Button button) {
  switch (button) {
    case kCheckConnection:
      return IDC_CHECK_CONNECTION;
    case kResetToDefault:
      return IDC_RESET_TO_DEFAULT;
    case kRebootReader:
      return IDC_REBOOT_READER;
    case kRunScript:
      return IDC_RUN_SCRIPT;
    case kSettings:
      return IDC_SETTINGS;
  }
  return IDC_SETTINGS;
}

void CTarrowDlg::DisableOperationButtons() {
  // A disabled control loses the keyboard: remember where the focus was, so it can go
  // back there when that control is enabled again.
  const HWND focus = GetFocus();
  for (int id : kOperationButtons) {
    if (focus != nullptr && focus == Item(id)) m_focusBeforeOperation = focus;
  }
  for (int id : kOperationButtons) EnableWindow(Item(id), FALSE);
  // Keys still reach the window (Escape ends it) while every button is disabled.
  if (m_focusBeforeOperation != nullptr && GetFocus() == nullptr && GetActiveWindow() == Handle()) {
    SetFocus(Handle());
  }
}

void CTarrowDlg::EnableOperationButtons() {
  EnableWindow(Item(IDC_CHECK_CONNECTION), TRUE);
  if (LiveReaderType() != 0) EnableWindow(Item(IDC_REBOOT_READER), TRUE);
  EnableWindow(Item(IDC_RESET_TO_DEFAULT), TRUE);
  EnableWindow(Item(IDC_RUN_SCRIPT), TRUE);
  EnableWindow(Item(IDC_SETTINGS), TRUE);
  RestoreFocus();
}

void CTarrowDlg::EnableButton(Button button) {
  // Reboot is never offered for a Lark, whoever asks.
  if (button == kRebootReader && LiveReaderType() == 0) return;
  EnableWindow(Item(ButtonId(button)), TRUE);
  RestoreFocus();
}

void CTarrowDlg::RestoreFocus() {
  const HWND control = m_focusBeforeOperation;
  if (control == nullptr || !IsWindowEnabled(control)) return;
  m_focusBeforeOperation = nullptr;
  // Through the dialog manager, so the default-button look follows the focus.
  SendMessageW(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

ScriptChoice CTarrowDlg::ChooseScriptFile() {
  m_display.Flush();
  return m_dialogs->ChooseScriptFile(Handle());
}

void CTarrowDlg::ShowWaitDialog() {
  m_display.Flush();
  m_dialogs->ShowWaitDialog(Handle());
}

void CTarrowDlg::EndWaitDialog() {
  m_dialogs->EndWaitDialog();
}

void CTarrowDlg::ShowFirmwareVersion(std::string_view text) {
  SetControlText(Item(IDC_FIRMWARE_VERSION), text);
}

int CTarrowDlg::LiveReaderType() const {
  return g_settingsDialog.m_settings.nReaderType;
}

void CTarrowDlg::ShowPortProblem(std::string_view reason) {
  m_dialogs->ShowPortProblem(Handle(), reason);
}

bool CTarrowDlg::Post(UINT message, LPARAM lParam) {
  std::lock_guard<std::mutex> guard(m_gate->lock);
  return m_gate->target != nullptr && PostMessageW(m_gate->target, message, 0, lParam) != FALSE;
}

void CTarrowDlg::PostMonitorText(std::string text) {
  try {
    text.resize(CutMonitorText(text).size());
    auto owned = std::make_unique<std::string>(std::move(text));
    // Posted, the text is the handler's; otherwise it is freed here.
    if (Post(WM_MONITOR_TEXT, reinterpret_cast<LPARAM>(owned.get()))) owned.release();
  } catch (...) {
    // A report that cannot be posted is dropped; the detection goes on.
  }
}

void CTarrowDlg::PostReaderCheckState(bool running) {
  Post(WM_READER_CHECK_STATE, running ? 1 : 0);
}

void CTarrowDlg::PostShowFirmwareVersion() {
  Post(WM_SHOW_FIRMWARE_VERSION, 0);
}

}  // namespace kavonel
