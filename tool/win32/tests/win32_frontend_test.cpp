// The Win32 front end in process, under Wine: the compiled resources against the one
// table of dialog templates, the command monitor, the button rule, the settings
// dialog's rows and rules, and the worker's posted texts, each freed exactly once.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "resources/dialog_templates.h"
#include "settings/settings_rules.h"
#include "win32/configuration_applet.h"
#include "win32/monitor_edit.h"
#include "win32/tarrow_dlg.h"
#include "win32/win32_text.h"

// Live heap blocks of this program, to see that posted texts are neither kept nor freed
// twice.
namespace {
std::atomic<long> g_liveBlocks{0};
}
void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  ++g_liveBlocks;
  return block;
}
void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  --g_liveBlocks;
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  operator delete(block);
}

namespace kavonel {
namespace {

// ---- The compiled dialog templates, read back ---------------------------------------

struct Item {
  int id;
  std::wstring className;  // "Button", "Edit", "Static", "ComboBox"
  std::wstring text;       // or "#128" for an ordinal
  DWORD style;
  int x, y, cx, cy;
};

struct Template {
  DWORD style = 0, exStyle = 0;
  int cx = 0, cy = 0;
  std::wstring caption, face;
  int points = 0, weight = 0;
  std::vector<Item> items;
};

// A string or an ordinal (0xFFFF, then the number) of a template, aligned to WORDs.
std::wstring ReadSzOrOrd(const WORD*& p) {
  if (*p == 0xFFFF) {
    const WORD ordinal = p[1];
    p += 2;
    return L"#" + std::to_wstring(ordinal);
  }
  std::wstring text;
  while (*p != 0) text.push_back(static_cast<wchar_t>(*p++));
  ++p;
  return text;
}

const WORD* AlignDword(const WORD* p) {
  return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR{3});
}

// The predefined classes, whether the template names them by ordinal or by name.
std::wstring ClassOf(std::wstring name) {
  if (name == L"#128") return L"Button";
  if (name == L"#129") return L"Edit";
  if (name == L"#130") return L"Static";
  if (name == L"#133") return L"ComboBox";
  for (const wchar_t* known : {L"Button", L"Edit", L"Static", L"ComboBox"}) {
    if (lstrcmpiW(name.c_str(), known) == 0) return known;
  }
  return name;
}

Template ReadTemplate(int id) {
  Template t;
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
  if (found == nullptr) return t;
  const auto* p = static_cast<const WORD*>(LockResource(LoadResource(nullptr, found)));
  // DLGTEMPLATEEX: dlgVer 1, signature 0xFFFF, helpID, exStyle, style, cDlgItems, x, y, cx, cy.
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[1], 0xFFFF);
  const auto* dwords = reinterpret_cast<const DWORD*>(p + 2);
  t.exStyle = dwords[1];
  t.style = dwords[2];
  const WORD count = p[8];
  t.cx = static_cast<short>(p[11]);
  t.cy = static_cast<short>(p[12]);
  p += 13;
  ReadSzOrOrd(p);  // menu
  ReadSzOrOrd(p);  // class
  t.caption = ReadSzOrOrd(p);
  if (t.style & DS_SETFONT) {
    t.points = p[0];
    t.weight = p[1];
    p += 3;  // pointsize, weight, italic + charset
    t.face = ReadSzOrOrd(p);
  }
  for (WORD i = 0; i < count; ++i) {
    p = AlignDword(p);
    // DLGITEMTEMPLATEEX: helpID, exStyle, style, x, y, cx, cy, id (DWORD).
    const auto* d = reinterpret_cast<const DWORD*>(p);
    Item item{};
    item.style = d[2];
    const auto* s = reinterpret_cast<const short*>(p + 6);
    item.x = s[0];
    item.y = s[1];
    item.cx = s[2];
    item.cy = s[3];
    item.id = static_cast<int>(*reinterpret_cast<const DWORD*>(p + 10));
    p += 12;
    item.className = ClassOf(ReadSzOrOrd(p));
    item.text = ReadSzOrOrd(p);
    const WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    t.items.push_back(item);
  }
  return t;
}

struct Expected {
  const char* name;
  int id;
  const wchar_t* className;
  std::string caption;
  int x, y, cx, cy;
};

#define KIND_CLASS_GROUPBOX L"Button"
#define KIND_CLASS_PUSHBUTTON L"Button"
#define KIND_CLASS_PUSHBUTTON_WRAP L"Button"
#define KIND_CLASS_DEFPUSHBUTTON L"Button"
#define KIND_CLASS_CHECKBOX L"Button"
#define KIND_CLASS_LTEXT L"Static"
#define KIND_CLASS_FIELD L"Static"
#define KIND_CLASS_CTEXT L"Static"
#define KIND_CLASS_ICON L"Static"
#define KIND_CLASS_MONITOR L"Edit"
#define KIND_CLASS_COMBO L"ComboBox"
#define EXPECTED(name, id, kind, caption, x, y, cx, cy) \
  Expected{#name, id, KIND_CLASS_##kind, caption, x, y, cx, cy},

void ExpectTemplate(int id, const char* caption, int cx, int cy,
                    const std::vector<Expected>& controls) {
  SCOPED_TRACE(caption);
  const Template t = ReadTemplate(id);
  EXPECT_EQ(Narrow(t.caption), caption);
  EXPECT_EQ(t.cx, cx);
  EXPECT_EQ(t.cy, cy);
  EXPECT_TRUE(t.style & WS_CAPTION);
  EXPECT_TRUE(t.style & DS_MODALFRAME);
  ASSERT_EQ(t.items.size(), controls.size());
  for (size_t i = 0; i < controls.size(); ++i) {
    const Expected& want = controls[i];
    const Item& have = t.items[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(have.id, want.id);
    EXPECT_EQ(have.className, want.className);
    if (have.text.rfind(L"#", 0) == 0) {
      EXPECT_EQ(have.text, L"#" + std::to_wstring(IDR_MAINFRAME));  // the icon
    } else {
      EXPECT_EQ(Narrow(have.text), want.caption);
    }
    EXPECT_EQ(have.x, want.x);
    EXPECT_EQ(have.y, want.y);
    EXPECT_EQ(have.cx, want.cx);
    EXPECT_EQ(have.cy, want.cy);
    EXPECT_TRUE(have.style & WS_VISIBLE);
  }
}

TEST(Resources, EveryDialogIsItsTemplate) {
  ExpectTemplate(IDD_TARROW_DIALOG, TARROW_DIALOG_CAPTION, TARROW_DIALOG_WIDTH, TARROW_DIALOG_HEIGHT,
                 {TARROW_DIALOG_CONTROLS(EXPECTED)});
  ExpectTemplate(IDD_ABOUTBOX, ABOUT_DIALOG_CAPTION, ABOUT_DIALOG_WIDTH, ABOUT_DIALOG_HEIGHT,
                 {ABOUT_DIALOG_CONTROLS(EXPECTED)});
  ExpectTemplate(IDD_CONFIGURATION_APPLET, SETTINGS_DIALOG_CAPTION, SETTINGS_DIALOG_WIDTH,
                 SETTINGS_DIALOG_HEIGHT, {SETTINGS_DIALOG_CONTROLS(EXPECTED)});
  ExpectTemplate(IDD_STATUS_UPDATE, STATUS_DIALOG_CAPTION, STATUS_DIALOG_WIDTH, STATUS_DIALOG_HEIGHT,
                 {STATUS_DIALOG_CONTROLS(EXPECTED)});
  ExpectTemplate(IDD_WAIT_DIALOG, WAIT_DIALOG_CAPTION, WAIT_DIALOG_WIDTH, WAIT_DIALOG_HEIGHT,
                 {WAIT_DIALOG_CONTROLS(EXPECTED)});

  // Styles the table does not carry: the main window on the task bar; the reporter and
  // the waiting dialog without a system menu (no close box); the fonts; only two
  // captions wrap; the monitor read-only and multi-line; no default button on the main
  // window.
  const Template main = ReadTemplate(IDD_TARROW_DIALOG);
  EXPECT_TRUE(main.exStyle & WS_EX_APPWINDOW);
  EXPECT_TRUE(main.style & WS_SYSMENU);
  EXPECT_EQ(Narrow(main.face), KAVONEL_SHELL_FONT_FACE);
  EXPECT_EQ(main.points, KAVONEL_SHELL_FONT_POINTS);
  for (const Item& item : main.items) {
    SCOPED_TRACE(item.id);
    if (item.className != L"Button" || (item.style & 0xF) == BS_GROUPBOX) continue;
    EXPECT_EQ(item.style & 0xF, static_cast<DWORD>(BS_PUSHBUTTON));
    const bool wraps = item.id == IDC_RUN_SCRIPT || item.id == IDC_RESET_TO_DEFAULT;
    EXPECT_EQ((item.style & BS_MULTILINE) != 0, wraps);
    if (item.id == IDC_COMMAND_MONITOR) {
      EXPECT_TRUE(item.style & ES_READONLY);
    }
  }
  for (int id : {IDD_STATUS_UPDATE, IDD_WAIT_DIALOG}) {
    EXPECT_FALSE(ReadTemplate(id).style & WS_SYSMENU) << id;
  }
  const Template wait = ReadTemplate(IDD_WAIT_DIALOG);
  EXPECT_EQ(Narrow(wait.face), KAVONEL_WAIT_FONT_FACE);
  EXPECT_EQ(wait.points, KAVONEL_WAIT_FONT_POINTS);
  EXPECT_EQ(wait.weight, KAVONEL_WAIT_FONT_WEIGHT);
  EXPECT_TRUE(ReadTemplate(IDD_CONFIGURATION_APPLET).style & WS_SYSMENU);

  wchar_t about[128] = {};
  ASSERT_GT(LoadStringW(nullptr, IDS_ABOUTBOX, about, 128), 0);
  EXPECT_EQ(Narrow(about), KAVONEL_ABOUT_MENU_TEXT);
  EXPECT_NE(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 32,
                       32, 0),
            nullptr);
}

TEST(Resources, VersionAndManifest) {
  // The program beside this test carries the project's version.
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Kavonel.exe";
  DWORD handle = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &handle));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  const std::string have = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                           std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(have, KAVONEL_TEST_VERSION);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  const HRSRC manifest = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                         SizeofResource(nullptr, manifest));
  for (const char* needed : {"<activeCodePage", ">UTF-8<", "Microsoft.Windows.Common-Controls",
                             "6.0.0.0", "<dpiAware"}) {
    EXPECT_NE(text.find(needed), std::string::npos) << needed;
  }
}

// ---- The main window, modeless, with dialogs that answer at once ---------------------

struct QuietDialogs : WindowDialogs {
  bool EditSettings(HWND) override { return true; }
  void ShowStatus(HWND, std::string_view) override {}
  void ShowWaitDialog(HWND) override {}
  void EndWaitDialog() override {}
  void ShowAbout(HWND) override {}
  ScriptChoice ChooseScriptFile(HWND) override { return {}; }
};

std::unique_ptr<CTarrowDlg> MakeWindow() {
  WindowOptions options;
  options.dialogs = std::make_unique<QuietDialogs>();
  options.logFilePath = "NUL";
  options.startDetection = [](const ReaderSettings&, int) {};
  auto window = std::make_unique<CTarrowDlg>(std::move(options));
  EXPECT_NE(window->Create(), nullptr);
  return window;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::wstring MonitorText(CTarrowDlg& window) {
  window.FlushMonitor();
  const HWND edit = GetDlgItem(window.Handle(), IDC_COMMAND_MONITOR);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return text;
}

TEST(Monitor, AppendsInOrderWithWindowsLineBreaksAndKeepsAMegabyte) {
  EXPECT_EQ(EditControlText("a\nb\r\nc\n\n"), L"a\r\nb\r\nc\r\n\r\n");
  EXPECT_EQ(EditControlText("Zo\xC3\xAB 100%\n"), L"Zo\u00EB 100%\r\n");

  auto window = MakeWindow();
  window->AppendMonitorText("TX: 5A 61\n");
  window->AppendMonitorText("RX: ");
  window->AppendMonitorText("00\n");
  EXPECT_EQ(MonitorText(*window), L"TX: 5A 61\r\nRX: 00\r\n");
  window->ClearMonitor();
  EXPECT_EQ(MonitorText(*window), L"");

  // Far past the 30,000 characters an edit control keeps unless told otherwise.
  const std::string line(63, 'x');
  std::wstring expected;
  for (int i = 0; i < 16384; ++i) {  // 16384 * 64 bytes = 1 MiB of monitor text
    window->AppendMonitorText(line + "\n");
  }
  const std::wstring text = MonitorText(*window);
  EXPECT_EQ(text.size(), 16384u * 65u);
  EXPECT_EQ(text.substr(text.size() - 65), std::wstring(63, L'x') + L"\r\n");
}

TEST(Buttons, ReaderTypeRuleAndClear) {
  g_settingsDialog.m_settings = ReaderSettings{};
  g_settingsDialog.m_settings.nReaderType = 0;  // Lark: never a reboot
  auto window = MakeWindow();
  const auto enabled = [&window](int id) {
    return IsWindowEnabled(GetDlgItem(window->Handle(), id)) != FALSE;
  };
  // Until detection ends, all five are disabled; Clear never is.
  for (int id : {IDC_CHECK_CONNECTION, IDC_REBOOT_READER, IDC_RESET_TO_DEFAULT, IDC_RUN_SCRIPT,
                 IDC_SETTINGS}) {
    EXPECT_FALSE(enabled(id)) << id;
  }
  EXPECT_TRUE(enabled(IDC_CLEAR));
  window->EnableOperationButtons();
  EXPECT_TRUE(enabled(IDC_CHECK_CONNECTION));
  EXPECT_TRUE(enabled(IDC_SETTINGS));
  EXPECT_FALSE(enabled(IDC_REBOOT_READER));
  window->EnableButton(MainView::kRebootReader);
  EXPECT_FALSE(enabled(IDC_REBOOT_READER));
  // The live type counts, not the window's copy.
  g_settingsDialog.m_settings.nReaderType = 3;
  window->EnableButton(MainView::kRebootReader);
  EXPECT_TRUE(enabled(IDC_REBOOT_READER));
  window->DisableOperationButtons();
  EXPECT_FALSE(enabled(IDC_REBOOT_READER));
  EXPECT_TRUE(enabled(IDC_CLEAR));

  window->SetStatusLine("Reader Reset Successful");
  window->AppendMonitorText("text\n");
  SendMessageW(window->Handle(), WM_COMMAND, MAKEWPARAM(IDC_CLEAR, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window->Handle(), IDC_CLEAR)));
  EXPECT_EQ(MonitorText(*window), L"");
  EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(window->Handle(), IDC_STATUS_LINE)), 0);
  // Enter with no button focused (IDOK) neither ends the window nor starts anything.
  SendMessageW(window->Handle(), WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(IsWindow(window->Handle()));
  g_settingsDialog.m_settings = ReaderSettings{};
}

TEST(Posted, TextsShownInOrderAndFreedExactlyOnce) {
  auto window = MakeWindow();
  const std::string long_text(200, 'p');  // past the small-string room: a block of its own
  std::thread worker([&window, &long_text] {
    for (int i = 0; i < 50; ++i) window->PostMonitorText(std::to_string(i) + " 100%\n");
  });
  worker.join();
  Pump();
  std::wstring expected;
  for (int i = 0; i < 50; ++i) expected += std::to_wstring(i) + L" 100%\r\n";
  EXPECT_EQ(MonitorText(*window), expected);

  // Texts still queued when the window goes are freed with it; posting after that is
  // dropped at once.
  const long before = g_liveBlocks.load();
  std::thread late([&window, &long_text] {
    for (int i = 0; i < 100; ++i) window->PostMonitorText(long_text);
  });
  late.join();
  DestroyWindow(window->Handle());
  window->PostMonitorText(long_text);
  window->PostReaderCheckState(true);
  Pump();
  EXPECT_LE(g_liveBlocks.load(), before);
}

// ---- The settings dialog, shown modally and worked from a timer inside its loop -----

void WhileModal(const std::function<void(HWND)>& work) {
  static std::function<void(HWND)> pending;
  pending = work;
  SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
    const HWND dialog = GetActiveWindow();
    if (dialog == nullptr) return;
    KillTimer(nullptr, id);
    pending(dialog);
  });
}

TEST(Settings, RowsPreselectionTypeChangeAndOk) {
  g_settingsDialog.m_settings = ReaderSettings{};
  g_settingsDialog.m_listPorts = [] { return std::vector<std::string>{"COM1", "COM10", "COM3"}; };
  std::vector<std::wstring> types, bauds, ports;
  int portRow = -2;
  WhileModal([&](HWND dialog) {
    const auto rows = [dialog](int id) {
      std::vector<std::wstring> all;
      const HWND list = GetDlgItem(dialog, id);
      const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        wchar_t row[128] = {};
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(row));
        all.emplace_back(row);
      }
      return all;
    };
    types = rows(IDC_READER_TYPE_LIST);
    bauds = rows(IDC_BAUD_RATE_LIST);
    ports = rows(IDC_COM_PORT_LIST);
    portRow = static_cast<int>(SendDlgItemMessageW(dialog, IDC_COM_PORT_LIST, CB_GETCURSEL, 0, 0));
    // The operator picks "Lark": 19200 is preset; then "HERON": 115200.
    const HWND typeList = GetDlgItem(dialog, IDC_READER_TYPE_LIST);
    for (int row : {0, 3}) {
      SendMessageW(typeList, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_READER_TYPE_LIST, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(typeList));
      EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_BAUD_RATE_LIST, CB_GETCURSEL, 0, 0),
                row == 0 ? 1 : 4);
    }
    CheckDlgButton(dialog, IDC_LOG_COMMANDS, BST_CHECKED);
    // Enter anywhere is OK (the dialog manager sends IDOK).
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(g_settingsDialog.DoModal(), IDOK);
  ASSERT_EQ(types.size(), kReaderTypeRows.size());
  for (size_t i = 0; i < types.size(); ++i) EXPECT_EQ(Narrow(types[i]), kReaderTypeRows[i]);
  EXPECT_EQ(bauds, (std::vector<std::wstring>{L"9600", L"19200", L"38400", L"57600", L"115200"}));
  // Inserted at their rows despite the sort style; the stored COM1 is found as itself.
  EXPECT_EQ(ports, (std::vector<std::wstring>{L"COM1", L"COM10", L"COM3"}));
  EXPECT_EQ(portRow, 0);
  EXPECT_EQ(g_settingsDialog.m_settings.nReaderType, 3);
  EXPECT_EQ(g_settingsDialog.m_settings.nBaudRate, 115200);
  EXPECT_TRUE(g_settingsDialog.m_settings.bLogCommands);
  EXPECT_EQ(g_settingsDialog.m_settings.strComPort, "COM1");

  // A name typed into the port field (a port the list does not show) is taken; the
  // close box stores nothing but a reader type already picked.
  WhileModal([](HWND dialog) {
    SetDlgItemTextW(dialog, IDC_COM_PORT_LIST, L"\\\\.\\COM42");
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(g_settingsDialog.DoModal(), IDOK);
  EXPECT_EQ(g_settingsDialog.m_settings.strComPort, "\\\\.\\COM42");
  WhileModal([](HWND dialog) {
    const HWND typeList = GetDlgItem(dialog, IDC_READER_TYPE_LIST);
    SendMessageW(typeList, CB_SETCURSEL, 0, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_READER_TYPE_LIST, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(typeList));
    CheckDlgButton(dialog, IDC_LOG_COMMANDS, BST_UNCHECKED);
    SendMessageW(dialog, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(g_settingsDialog.DoModal(), IDCANCEL);
  EXPECT_EQ(g_settingsDialog.m_settings.nReaderType, 0);
  EXPECT_EQ(g_settingsDialog.m_settings.nBaudRate, 115200);
  EXPECT_TRUE(g_settingsDialog.m_settings.bLogCommands);
  g_settingsDialog.m_settings = ReaderSettings{};
  g_settingsDialog.m_listPorts = ListSerialPorts;
}

}  // namespace
}  // namespace kavonel
