#include "data_dictionary.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace kavonel::emv {
namespace {

using enum Format;
constexpr Meaning kAmount = Meaning::kAmount;
constexpr Meaning kCountry = Meaning::kCountry;
constexpr Meaning kCurrency = Meaning::kCurrency;

// Lengths in bytes; n and cn values of d digits take (d + 1) / 2 bytes.
constexpr TagInfo kTags[] = {
    {0x81, "Amount, authorised (binary)", kB, 4, 4, kAmount},
    {0x97, "Default transaction certificate data object list", kB, 0, 252},
    {0x9A, "Transaction date (YYMMDD)", kN, 3, 3},
    {0x9C, "Transaction type", kN, 1, 1},
    {0x5F2A, "Transaction currency code", kN, 2, 2, kCurrency},
    {0x5F36, "Transaction currency exponent", kN, 1, 1},
    {0x5F57, "Account type", kN, 1, 1},
    {0x9F01, "Acquirer identifier", kN, 6, 6},
    {0x9F02, "Amount, authorised", kN, 6, 6, kAmount},
    {0x9F03, "Amount, other (cash back)", kN, 6, 6, kAmount},
    {0x9F04, "Amount, other (binary)", kB, 4, 4, kAmount},
    {0x9F06, "Application identifier (AID)", kB, 5, 16},
    {0x9F09, "Application version number (terminal)", kB, 2, 2},
    {0x9F15, "Merchant category code", kN, 2, 2},
    {0x9F16, "Merchant identifier", kAns, 15, 15},
    {0x9F1A, "Terminal country code", kN, 2, 2, kCountry},
    {0x9F1B, "Terminal floor limit", kB, 4, 4, kAmount},
    {0x9F1C, "Terminal identification", kAn, 8, 8},
    {0x9F1D, "Terminal risk management data", kB, 1, 8},
    {0x9F1E, "Interface device serial number", kAn, 8, 8},
    {0x9F21, "Transaction time (HHMMSS)", kN, 3, 3},
    {0x9F33, "Terminal capabilities", kB, 3, 3},
    {0x9F35, "Terminal type", kN, 1, 1},
    {0x9F39, "Point-of-service entry mode", kN, 1, 1},
    {0x9F3A, "Amount, reference currency (binary)", kB, 4, 4},
    {0x9F3C, "Transaction reference currency code", kN, 2, 2, kCurrency},
    {0x9F3D, "Transaction reference currency exponent", kN, 1, 1},
    {0x9F40, "Additional terminal capabilities", kB, 5, 5},
    {0x9F41, "Transaction sequence counter", kN, 2, 4},
    {0x9F4E, "Merchant name and location", kAns, 0, kNoUpperBound},
    {0x9F53, "Transaction category code", kAn, 1, 1},
    {0x9F5A, "Application program identifier", kB, 1, 16},
    {0x9F66, "Terminal transaction qualifiers", kB, 4, 4},
    {0x9F6D, "Mag-stripe application version number (reader)", kB, 2, 2},
    {0x9F7A, "VLP terminal support indicator", kB, 1, 1},
    {0x9F7B, "VLP terminal transaction limit", kN, 6, 6, kAmount},
    {0x9F7C, "Merchant custom data", kB, 20, 20},
    {0xFFE4, "Group number", kB, 1, 1},
    {0xDF810C, "Kernel identifier", kB, 1, 1},
    {0xDF8117, "Card data input capability", kB, 1, 1},
    {0xDF8118, "CVM capability, CVM required", kB, 1, 1},
    {0xDF8119, "CVM capability, no CVM required", kB, 1, 1},
    {0xDF811A, "Default UDOL", kB, 0, kNoUpperBound},
    {0xDF811B, "Kernel configuration", kB, 1, 1},
    {0xDF811C, "Maximum lifetime of a torn transaction log record (s)", kB, 2, 2},
    {0xDF811D, "Maximum number of torn transaction log records", kB, 1, 1},
    {0xDF811E, "Mag-stripe CVM capability, CVM required", kB, 1, 1},
    {0xDF811F, "Security capability", kB, 1, 1},
    {0xDF8120, "Terminal action code, default", kB, 5, 5},
    {0xDF8121, "Terminal action code, denial", kB, 5, 5},
    {0xDF8122, "Terminal action code, online", kB, 5, 5},
    {0xDF8123, "Reader contactless floor limit", kN, 6, 6, kAmount},
    {0xDF8124, "Reader contactless transaction limit (no on-device CVM)", kN, 6, 6, kAmount},
    {0xDF8125, "Reader contactless transaction limit (on-device CVM)", kN, 6, 6, kAmount},
    {0xDF8126, "Reader CVM required limit", kN, 6, 6, kAmount},
    {0xDF812C, "Mag-stripe CVM capability, no CVM required", kB, 1, 1},
    {0xDF8130, "Hold time value (100 ms)", kB, 1, 1},
    {0xDF8131, "Phone message table", kB, 0, kNoUpperBound},
    {0xDF8132, "Minimum relay resistance grace period (100 us)", kB, 2, 2},
    {0xDF8133, "Maximum relay resistance grace period (100 us)", kB, 2, 2},
    {0xDF8134, "Expected transmission time, relay resistance command (100 us)", kB, 2, 2},
    {0xDF8135, "Expected transmission time, relay resistance response (100 us)", kB, 2, 2},
    {0xDF8136, "Relay resistance accuracy threshold (100 us)", kB, 2, 2},
    {0xDF8137, "Relay resistance transmission time mismatch threshold (%)", kB, 1, 1},
};

// Ordered by the tag's bytes as a number, as tags lists them.
constexpr bool Ordered() {
  for (size_t i = 1; i < std::size(kTags); ++i) {
    if (kTags[i - 1].tag >= kTags[i].tag) return false;
  }
  return true;
}
static_assert(Ordered(), "kTags must be ordered by tag, each tag once");

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::span<const TagInfo> Dictionary() {
  return kTags;
}

const TagInfo* FindTag(uint32_t tag) {
  // lint looks up every element of a script: an open-addressed table of the entries'
  // indexes, twice the table's size, instead of a binary search.
  constexpr size_t kSlots = 256;
  static_assert(std::size(kTags) * 2 <= kSlots);
  constexpr uint8_t kEmpty = 0xFF;
  const auto slotOf = [](uint32_t t) { return static_cast<size_t>((t * 0x9E3779B1u) >> 24); };
  static const std::array<uint8_t, kSlots> slots = [&] {
    std::array<uint8_t, kSlots> table;
    table.fill(kEmpty);
    for (size_t i = 0; i < std::size(kTags); ++i) {
      size_t slot = slotOf(kTags[i].tag);
      while (table[slot] != kEmpty) slot = (slot + 1) % kSlots;
      table[slot] = static_cast<uint8_t>(i);
    }
    return table;
  }();
  for (size_t slot = slotOf(tag);; slot = (slot + 1) % kSlots) {
    const uint8_t index = slots[slot];
    if (index == kEmpty) return nullptr;
    if (kTags[index].tag == tag) return &kTags[index];
  }
}

const char* FormatName(Format format) {
  switch (format) {
    case kN:
      return "n";
    case kCn:
      return "cn";
    case kB:
      return "b";
    case kAn:
      return "an";
    case kAns:
      return "ans";
  }
  return "?";
}

std::string TagText(uint32_t tag, size_t tagSize) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = tagSize; i-- > 0;) {
    const unsigned byte = (tag >> (8 * i)) & 0xFF;
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::string HexText(std::span<const uint8_t> bytes, size_t maxBytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(std::min(bytes.size(), maxBytes) * 2 + 3);
  for (size_t i = 0; i < bytes.size() && i < maxBytes; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  if (bytes.size() > maxBytes) text += "...";
  return text;
}

std::string ByteCount(size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string TagText(uint32_t tag) {
  size_t size = 1;
  while (size < 4 && (tag >> (8 * size)) != 0) ++size;
  return TagText(tag, size);
}

std::optional<uint32_t> ParseTag(std::string_view text, size_t* tagSize) {
  if (text.empty() || text.size() % 2 != 0 || text.size() > 8) return std::nullopt;
  uint32_t tag = 0;
  for (char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    tag = (tag << 4) | static_cast<uint32_t>(digit);
  }
  if (tagSize != nullptr) *tagSize = text.size() / 2;
  return tag;
}

std::string LengthText(const TagInfo& info) {
  if (info.maxLength == kNoUpperBound) return "at least " + std::to_string(info.minLength);
  if (info.minLength == info.maxLength) return std::to_string(info.minLength);
  return std::to_string(info.minLength) + " to " + std::to_string(info.maxLength);
}

}  // namespace kavonel::emv
