// Where the log goes on Windows.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "monitor/log_file.h"

namespace kavonel {
namespace fs = std::filesystem;

std::string LogPathBesideProgram() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  // Zero: no path; MAX_PATH: cut short, so not the program's path either.
  if (length == 0 || length >= MAX_PATH) return kLogFileName;
  const fs::path exe(path);
  if (!exe.has_parent_path()) return kLogFileName;
  return (exe.parent_path() / kLogFileName).string();
}

std::string LogPathInUserData() {
  const char* local = std::getenv("LOCALAPPDATA");
  // Only an absolute folder: a relative one would follow the current directory.
  if (local == nullptr || !fs::path(local).is_absolute()) return {};
  return (fs::path(local) / "Kavonel" / kLogFileName).string();
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
