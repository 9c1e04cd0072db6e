#include "monitor/log_file.h"

#include <filesystem>
#include <system_error>

#include "monitor/utf8_path.h"

namespace kavonel {
namespace fs = std::filesystem;

namespace {

std::FILE* OpenEmpty(const std::string& path) {
  if (path.empty()) return nullptr;
  // Emptied at every start; a second try as the reader tools always did. Binary: the
  // same bytes on every platform, no line ends rewritten.
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) file = std::fopen(path.c_str(), "wb");
  return file;
}

}  // namespace

CLogFile::CLogFile() {
  // The folder of an installed program (/usr/bin) is no place for a log, even where
  // root could write it: the package would leave it behind.
  if (ProgramIsInstalled()) {
    Open({}, LogPathInUserData());
  } else {
    Open(LogPathBesideProgram(), LogPathInUserData());
  }
}

CLogFile::CLogFile(const std::string& path, const std::string& fallbackPath) {
  Open(path, fallbackPath);
}

void CLogFile::Open(const std::string& path, const std::string& fallbackPath) {
  m_file = path.empty() ? nullptr : OpenEmpty(path);
  if (m_file != nullptr) {
    m_path = path;
    return;
  }
  if (fallbackPath.empty()) return;
  std::error_code error;
  fs::create_directories(Utf8Path(fallbackPath).parent_path(), error);
  m_file = OpenEmpty(fallbackPath);
  if (m_file != nullptr) m_path = fallbackPath;
}

CLogFile::~CLogFile() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_file != nullptr) std::fclose(m_file);
  m_file = nullptr;
}

void CLogFile::Write(std::string_view text) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_file == nullptr) return;
  // fwrite rather than fputs: the text is a view, not NUL-terminated.
  std::fwrite(text.data(), 1, text.size(), m_file);
  std::fflush(m_file);
}

}  // namespace kavonel
