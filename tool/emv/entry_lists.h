// The entries of the revocation and exception lists: fixed fields, one entry per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kavonel::emv {

// Revocation list add and delete entry: RID, CA public key index, certificate serial number.
inline constexpr size_t kRidSize = 5;
inline constexpr size_t kRevocationEntrySize = kRidSize + 1 + 3;
// Revocation list delete rid index: RID and CA public key index.
inline constexpr size_t kRidIndexEntrySize = kRidSize + 1;
// Exception list: the PAN in BCD (at most 19 digits) and the PAN sequence number.
inline constexpr size_t kMaxPanBytes = 10;

struct PanReading {
  std::string digits;         // the digits before the F padding
  bool wellFormed = false;    // only digits, then F nibbles only, and at least one digit
  size_t badNibble = 0;       // when not: the index of the first offending nibble
  bool luhnValid = false;     // the last digit is the Luhn check digit of the others
  char expectedCheck = '\0';  // the check digit the other digits call for
};

// Reads a PAN written in BCD, padded with F nibbles at its end only.
PanReading ReadPan(std::span<const uint8_t> pan);

}  // namespace kavonel::emv
