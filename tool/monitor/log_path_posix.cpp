// Where the log goes on POSIX systems.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "monitor/log_file.h"

namespace kavonel {
namespace fs = std::filesystem;

std::string LogPathBesideProgram() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error || !exe.has_parent_path()) return kLogFileName;
  return (exe.parent_path() / kLogFileName).string();
}

std::string LogPathInUserData() {
  fs::path base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = fs::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return (base / "kavonel" / kLogFileName).string();
}

bool ProgramIsInstalled() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return !error && exe.parent_path() == fs::path(KAVONEL_INSTALL_BINDIR);
}

}  // namespace kavonel
