// Where the log goes on Windows. The paths are handed on in UTF-8, the programs' code
// page (their manifests ask for it): a folder named in any script opens.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "monitor/log_file.h"

namespace kavonel {
namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
         (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

}  // namespace

std::string LogPathBesideProgram() {
  // Wide, and room for the longest path: the ANSI call would turn the letters of
  // another script into question marks.
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  // Zero: no path; the whole buffer: cut short, so not the program's path either.
  if (length == 0 || length >= path.size()) return kLogFileName;
  path.resize(length);
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return kLogFileName;
  return Utf8(path.substr(0, slash + 1)) + kLogFileName;
}

std::string LogPathInUserData() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  // Only an absolute folder: a relative one would follow the current directory.
  if (local == nullptr || !IsAbsolute(local)) return {};
  std::wstring folder(local);
  if (folder.back() != L'\\' && folder.back() != L'/') folder.push_back(L'\\');
  return Utf8(folder) + "Kavonel\\" + kLogFileName;
}

namespace {

// A folder's full path without a final separator, for comparing two names of one folder
// (std::filesystem::equivalent cannot open folders with this C++ library on Windows).
std::wstring FullFolderPath(const std::wstring& folder) {
  std::wstring path(32768, L'\0');
  const DWORD length =
      GetFullPathNameW(folder.c_str(), static_cast<DWORD>(path.size()), path.data(), nullptr);
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

}  // namespace

bool ProgramIsInstalled() {
  // The installer (packaging/windows/kavonel.wxs) records its folder here. The installed
  // program logs under %LOCALAPPDATA% even for an administrator who could write into
  // Program Files: one place for every operator of the PC. (This 64-bit program reads the
  // 64-bit registry, where the 64-bit package writes.)
  wchar_t folder[MAX_PATH + 1] = {};
  DWORD size = sizeof folder;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Kavonel", L"InstallDir", RRF_RT_REG_SZ,
                   nullptr, folder, &size) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring exe(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
  if (length == 0 || length >= exe.size()) return false;
  exe.resize(length);
  const std::wstring mine = FullFolderPath(exe.substr(0, exe.find_last_of(L"\\/") + 1));
  return !mine.empty() && CompareStringOrdinal(mine.c_str(), -1, FullFolderPath(folder).c_str(),
                                               -1, TRUE) == CSTR_EQUAL;
}

}  // namespace kavonel
