#include "batch/reader_view.h"

#include <cerrno>

namespace kavonel {

namespace {

// Pieces gather here until a wait or this much text: a command makes some fifty of them.
constexpr size_t kPendingLimit = 16384;

}  // namespace

TraceFile::TraceFile(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
  if (file_ == nullptr) {
    openError_ = errno != 0 ? errno : EIO;
    return;
  }
  // The pieces are gathered here already; the stream's own buffer would copy them again.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  pending_.reserve(kPendingLimit);
}

void TraceFile::AppendMonitorText(std::string_view text) {
  if (file_ == nullptr) return;
  pending_ += text;
  if (pending_.size() >= kPendingLimit) WritePending();
}

void TraceFile::WritePending() {
  if (!pending_.empty()) std::fwrite(pending_.data(), 1, pending_.size(), file_);
  pending_.clear();
}

void TraceFile::Flush() {
  if (file_ != nullptr) WritePending();
}

void TraceFile::Close() {
  if (file_ == nullptr) return;
  WritePending();
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace kavonel
