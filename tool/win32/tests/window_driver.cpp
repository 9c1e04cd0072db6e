// kavonel_window_driver.exe: drives Kavonel.exe from outside, as an operator would, by
// window messages: finds its windows by caption, reads and sets control texts, clicks
// buttons, answers the open-file dialog, presses keys. It reads steps, one a line, from
// the file named by its only argument and writes what it sees to standard output, one
// line a step, so a test (or the screenshot and benchmark scripts) on the Linux side
// runs a scenario and checks the transcript.
//
// Steps (CAPTION and TEXT run to the end of the line; IDs are control IDs):
//   start EXE            start the program
//   wait CAPTION         until a shown window of the program has this caption; it becomes
//                        the current window
//   gone CAPTION         until no shown window of the program has this caption
//   select ID TEXT       pick the row TEXT of a combo box, as a click on it would
//   settext ID TEXT      set a control's text (a combo box: its edit field)
//   check ID 0|1         set a check box
//   click ID             press a button (posted: the driver does not wait for its work)
//   text ID              print "text ID: ..." (the control's text, line breaks as \n)
//   length ID            print "length ID: N" (characters of the control's text)
//   enabled ID           print "enabled ID: 0|1"
//   until-enabled ID     until the control is enabled (an operation has ended)
//   key NAME             press a key on the focused control: enter, escape
//   sysmenu ID           choose a system menu item of the current window
//   close                the current window's close box
//   open PATH            in the open-file dialog: the file name, then Open
//   ping MS              print "ping: ok" when the current window answers within MS
//   place                print "place: LEFT TOP RIGHT BOTTOM of SCREENW SCREENH"
//   shot FILE            the whole screen into a BMP file
//   windows              print "window: CAPTION" for each shown window of the program
//   mark                 start a stopwatch; "elapsed" prints "elapsed: MS"
//   sleep MS             wait
//   exit                 until the program ends; print "exit: CODE"
// A step that cannot be done prints "FAILED: step" and ends the driver with status 1.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

DWORD g_pid = 0;
HANDLE g_process = nullptr;
HWND g_current = nullptr;
constexpr DWORD kPatienceMs = 90000;  // how long a window may take before the step fails

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow(text.size() * 4 + 1, '\0');
  narrow.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        narrow.data(), static_cast<int>(narrow.size()),
                                                        nullptr, nullptr)));
  return narrow;
}

// Another process's window text, through WM_GETTEXT (which Windows copies across).
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 10000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_BLOCK, 10000, &got);
  text.resize(got);
  return text;
}

struct Search {
  std::wstring caption;
  HWND found = nullptr;
};

BOOL CALLBACK FindShown(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != g_pid || !IsWindowVisible(window)) return TRUE;
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  if (search->caption == caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindShownWindow(const std::wstring& caption) {
  Search search{caption};
  EnumWindows(FindShown, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <typename Done>
bool WaitUntil(Done done) {
  const ULONGLONG start = GetTickCount64();
  while (!done()) {
    if (GetTickCount64() - start > kPatienceMs) return false;
    Sleep(20);
  }
  return true;
}

HWND Control(int id) {
  return g_current != nullptr ? GetDlgItem(g_current, id) : nullptr;
}

std::string Shown(std::wstring text) {
  std::string out;
  for (char c : Narrow(text)) {
    if (c == '\r') continue;
    if (c == '\n') {
      out += "\\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

HWND FocusedControl() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(g_current, nullptr);
  if (!GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus != nullptr ? info.hwndFocus : info.hwndActive;
}

void PressKey(HWND target, WPARAM key) {
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

bool SaveScreen(const std::string& path) {
  const HDC screen = GetDC(nullptr);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  const DWORD size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  std::ofstream out(Widen(path).c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return static_cast<bool>(out);
}

// The file name field of the open-file dialog: the edit of the name combo box, or the
// plain edit of an older dialog.
HWND FileNameField(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {
    if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
    return combo;
  }
  return GetDlgItem(dialog, 0x480);
}

bool Step(const std::string& verb, const std::string& rest, ULONGLONG& mark) {
  std::istringstream words(rest);
  if (verb == "start") {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + Widen(rest) + L"\"";
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return false;
    }
    CloseHandle(process.hThread);
    g_process = process.hProcess;
    g_pid = process.dwProcessId;
    WaitForInputIdle(g_process, 10000);
    return true;
  }
  if (verb == "wait") {
    const std::wstring caption = Widen(rest);
    HWND found = nullptr;
    if (!WaitUntil([&] { return (found = FindShownWindow(caption)) != nullptr; })) return false;
    g_current = found;
    return true;
  }
  if (verb == "gone") {
    const std::wstring caption = Widen(rest);
    return WaitUntil([&] { return FindShownWindow(caption) == nullptr; });
  }
  int id = 0;
  words >> id;
  std::string argument;
  std::getline(words >> std::ws, argument);
  if (verb == "select") {
    const HWND combo = Control(id);
    const std::wstring row = Widen(argument);
    DWORD_PTR index = 0;
    SendMessageTimeoutW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(row.c_str()), SMTO_BLOCK, 10000, &index);
    if (static_cast<LRESULT>(index) == CB_ERR) return false;
    SendMessageTimeoutW(combo, CB_SETCURSEL, index, 0, SMTO_BLOCK, 10000, nullptr);
    PostMessageW(g_current, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    return true;
  }
  if (verb == "settext") {
    const std::wstring text = Widen(argument);
    return SendMessageTimeoutW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_BLOCK, 10000, nullptr) != 0;
  }
  if (verb == "check") {
    return PostMessageW(Control(id), BM_SETCHECK, argument == "1" ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  if (verb == "click") {
    return Control(id) != nullptr && PostMessageW(Control(id), BM_CLICK, 0, 0);
  }
  if (verb == "text") {
    std::printf("text %d: %s\n", id, Shown(TextOf(Control(id))).c_str());
    return Control(id) != nullptr;
  }
  if (verb == "length") {
    std::printf("length %d: %zu\n", id, TextOf(Control(id)).size());
    return Control(id) != nullptr;
  }
  if (verb == "enabled") {
    std::printf("enabled %d: %d\n", id, IsWindowEnabled(Control(id)) ? 1 : 0);
    return Control(id) != nullptr;
  }
  if (verb == "until-enabled") {
    return WaitUntil([id] { return IsWindowEnabled(Control(id)) != FALSE; });
  }
  if (verb == "key") {
    const HWND target = FocusedControl();
    if (target == nullptr) return false;
    PressKey(target, rest == "enter" ? VK_RETURN : VK_ESCAPE);
    return true;
  }
  if (verb == "sysmenu") {
    return PostMessageW(g_current, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
  }
  if (verb == "close") {
    return PostMessageW(g_current, WM_CLOSE, 0, 0);
  }
  if (verb == "open") {
    HWND dialog = nullptr;
    if (!WaitUntil([&] { return (dialog = FindShownWindow(L"Open")) != nullptr; })) return false;
    HWND field = nullptr;
    if (!WaitUntil([&] { return (field = FileNameField(dialog)) != nullptr; })) return false;
    const std::wstring path = Widen(rest);
    SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_BLOCK,
                        10000, nullptr);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  }
  if (verb == "ping") {
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(g_current, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                              static_cast<UINT>(std::stoul(rest)), &result) != 0;
    std::printf("ping: %s\n", answered ? "ok" : "no answer");
    return true;
  }
  if (verb == "place") {
    RECT place{};
    GetWindowRect(g_current, &place);
    std::printf("place: %ld %ld %ld %ld of %d %d\n", place.left, place.top, place.right, place.bottom,
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return true;
  }
  if (verb == "shot") return SaveScreen(rest);
  if (verb == "windows") {
    EnumWindows(
        [](HWND window, LPARAM) -> BOOL {
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          if (pid == g_pid && IsWindowVisible(window)) {
            std::printf("window: %s\n", Shown(TextOf(window)).c_str());
          }
          return TRUE;
        },
        0);
    return true;
  }
  if (verb == "mark") {
    mark = GetTickCount64();
    return true;
  }
  if (verb == "elapsed") {
    std::printf("elapsed: %llu\n", GetTickCount64() - mark);
    return true;
  }
  if (verb == "sleep") {
    Sleep(static_cast<DWORD>(std::stoul(rest)));
    return true;
  }
  if (verb == "exit") {
    if (WaitForSingleObject(g_process, kPatienceMs) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(g_process, &code);
    std::printf("exit: %lu\n", code);
    return true;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kavonel_window_driver STEPS-FILE\n");
    return 64;
  }
  std::ifstream steps(argv[1], std::ios::binary);
  std::string line;
  ULONGLONG mark = GetTickCount64();
  while (std::getline(steps, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    const bool done = Step(verb, rest, mark);
    std::fflush(stdout);
    if (!done) {
      std::printf("FAILED: %s\n", line.c_str());
      if (g_process != nullptr) TerminateProcess(g_process, 1);
      return 1;
    }
  }
  return 0;
}
