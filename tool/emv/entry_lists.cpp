#include "entry_lists.h"

namespace kavonel::emv {

PanReading ReadPan(std::span<const uint8_t> pan) {
  PanReading reading;
  const size_t nibbles = pan.size() * 2;
  const auto nibble = [&](size_t i) { return (pan[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0xF; };
  size_t digits = nibbles;
  while (digits > 0 && nibble(digits - 1) == 0xF) --digits;
  reading.wellFormed = digits > 0;
  for (size_t i = 0; i < digits; ++i) {
    const unsigned value = nibble(i);
    if (value > 9) {
      reading.wellFormed = false;
      reading.badNibble = i;
      break;
    }
    reading.digits += static_cast<char>('0' + value);
  }
  if (!reading.wellFormed || reading.digits.size() < 2) return reading;
  // Luhn: from the right, every second digit before the check digit is doubled.
  unsigned sum = 0;
  bool doubled = true;
  for (size_t i = reading.digits.size() - 1; i-- > 0;) {
    unsigned d = static_cast<unsigned>(reading.digits[i] - '0');
    if (doubled) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
    sum += d;
    doubled = !doubled;
  }
  reading.expectedCheck = static_cast<char>('0' + (10 - sum % 10) % 10);
  reading.luhnValid = reading.digits.back() == reading.expectedCheck;
  return reading;
}

}  // namespace kavonel::emv
