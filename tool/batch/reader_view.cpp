#include "batch/reader_view.h"

namespace kavonel {

TraceFile::TraceFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

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
