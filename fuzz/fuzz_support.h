// What the fuzz targets share: a failed check ends the run where libFuzzer sees it, the
// input handed out field by field, and a file that holds one input at a time.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

// The input read from the front: a byte or two of settings, then the rest.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
  // Up to count bytes (fewer where the input ends).
  std::string_view Bytes(size_t count) {
    const size_t n = std::min(count, size_ - at_);
    const std::string_view bytes(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return bytes;
  }
  std::string_view Rest() { return Bytes(size_ - at_); }
  bool Empty() const { return at_ == size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A file of this process in the temporary folder, rewritten for every input and removed
// when the fuzzer exits.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& name) {
    const char* folder = std::getenv("TMPDIR");
    path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/" + name + "." +
            std::to_string(getpid());
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  const std::string& Write(std::string_view bytes) {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    Check(file != nullptr);
    Check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    Check(std::fclose(file) == 0);
    return path_;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace fuzz
