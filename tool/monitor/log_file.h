// The log file "Pellorin.log": opened (and emptied) when the window is built, every
// piece written and flushed at once under a lock, closed with the window.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace kavonel {

inline constexpr const char* kLogFileName = "Pellorin.log";

// The two places of the log, by the platform's rules (log_path_posix.cpp,
// log_path_win32.cpp).
// Beside the program: its own directory (/proc/self/exe, GetModuleFileName) and
// kLogFileName; the bare name (current directory) when the program's path cannot be read.
std::string LogPathBesideProgram();
// The user's data folder. POSIX: $XDG_DATA_HOME, else ~/.local/share, then
// kavonel/Pellorin.log. Windows: %LOCALAPPDATA%\Kavonel\Pellorin.log. Empty when the
// environment gives no folder.
std::string LogPathInUserData();
// Whether the program runs from the system's folder of installed programs (/usr/bin),
// which is no place for a log even where it can be written. Windows: never (a program
// folder under Program Files cannot be written, and the fallback takes over).
bool ProgramIsInstalled();

class CLogFile {
 public:
  // Beside the program; when that folder cannot be written, in the user's data folder
  // instead. A program installed in the system's program folder uses the user's data
  // folder only.
  CLogFile();
  // At the given paths, in order of preference (tests, kavonel-cli --log).
  explicit CLogFile(const std::string& path, const std::string& fallbackPath = {});
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Writes and flushes text; nothing when the file is not open. Failures are ignored.
  void Write(std::string_view text);
  bool IsOpen() const { return m_file != nullptr; }
  // The path of the open file; empty when none could be opened.
  const std::string& Path() const { return m_path; }

 private:
  void Open(const std::string& path, const std::string& fallbackPath);

  std::FILE* m_file = nullptr;
  std::mutex m_lock;
  std::string m_strFileName = kLogFileName;
  std::string m_path;
};

}  // namespace kavonel
