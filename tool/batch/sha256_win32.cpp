// SHA-256 with the system's BCrypt (bcrypt.dll, on every Windows since Vista).
#include <windows.h>
// clang-format off
#include <bcrypt.h>
// clang-format on

#include "batch/sha256.h"

namespace kavonel {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  // No hash object buffer of our own: BCrypt allocates it (Windows 7 and later).
  state_->ok =
      BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
      BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256::Update(const uint8_t* data, size_t size) {
  // BCryptHashData takes a ULONG count: large pieces go in slices.
  while (state_->ok && size > 0) {
    const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    state_->ok = BCRYPT_SUCCESS(BCryptHashData(state_->hash, const_cast<PUCHAR>(data), piece, 0));
    data += piece;
    size -= piece;
  }
}

std::optional<std::array<uint8_t, 32>> Sha256::Finish() {
  std::array<uint8_t, 32> digest{};
  if (!state_->ok ||
      !BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest.data(), digest.size(), 0))) {
    return std::nullopt;
  }
  state_->ok = false;  // a BCrypt hash is finished once
  return digest;
}

}  // namespace kavonel
