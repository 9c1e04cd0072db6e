// SHA-256 with nettle.
#include <nettle/sha2.h>

#include "batch/sha256.h"

namespace kavonel {

struct Sha256::State {
  sha256_ctx context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  sha256_init(&state_->context);
}

Sha256::~Sha256() = default;

void Sha256::Update(const uint8_t* data, size_t size) {
  sha256_update(&state_->context, size, data);
}

std::optional<std::array<uint8_t, 32>> Sha256::Finish() {
  static_assert(SHA256_DIGEST_SIZE == 32);
  std::array<uint8_t, 32> digest{};
  sha256_digest(&state_->context, digest.size(), digest.data());
  return digest;
}

}  // namespace kavonel
