// SHA-256 of the script file for the report.
#include <cstdio>
#include <memory>

#include "batch/sha256.h"
#include "batch/shared_script.h"

namespace kavonel {

std::string FileSha256(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return {};
  Sha256 hash;
  uint8_t buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) hash.Update(buffer, n);
  if (std::ferror(file.get())) return {};
  const std::optional<std::array<uint8_t, 32>> digest = hash.Finish();
  if (!digest) return {};
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : *digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

}  // namespace kavonel
