// SHA-256 of the script file for the report, with nettle.
#include <nettle/sha2.h>

#include <cstdio>
#include <memory>

#include "batch/shared_script.h"

namespace kavonel {

std::string FileSha256(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return {};
  sha256_ctx context;
  sha256_init(&context);
  uint8_t buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    sha256_update(&context, n, buffer);
  }
  if (std::ferror(file.get())) return {};
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

}  // namespace kavonel
