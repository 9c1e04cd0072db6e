#include "batch/reader_view.h"

#include <cerrno>

namespace kavonel {

TraceFile::TraceFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
  if (file_ == nullptr) openError_ = errno != 0 ? errno : EIO;
}

void TraceFile::AppendMonitorText(std::string_view text) {
  if (file_ != nullptr) std::fwrite(text.data(), 1, text.size(), file_);
}

void TraceFile::Flush() {
  if (file_ != nullptr) std::fflush(file_);
}

void TraceFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace kavonel
