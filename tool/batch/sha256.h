// SHA-256 through the platform's own implementation: nettle on Linux, the system's
// BCrypt on Windows (one file each).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace kavonel {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const uint8_t* data, size_t size);
  // The digest of everything updated; none when the platform failed at any step.
  std::optional<std::array<uint8_t, 32>> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kavonel
