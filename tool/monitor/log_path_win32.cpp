// Where the log goes on Windows.
#include <windows.h>

#include <cstdlib>
#include <filesystem>

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

bool ProgramIsInstalled() {
  return false;
}

}  // namespace kavonel
