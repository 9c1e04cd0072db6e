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
  if (error) return false;
  // The folder it was configured for, and the system's own, whatever a build folder's
  // cache says the prefix is.
  const fs::path folder = exe.parent_path();
  return folder == fs::path(KAVONEL_INSTALL_BINDIR) || folder == "/usr/bin" ||
         folder == "/usr/local/bin";
}

}  // namespace kavonel
