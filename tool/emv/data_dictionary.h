// The data objects a reader configuration uses: terminal and application data, the
// contactless kernels' reader data and the readers' own group number, each with its
// name, format and allowed lengths. One table, used by lint, explain and tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kavonel::emv {

enum class Format : uint8_t {
  kN,    // numeric: BCD digits, right-aligned, leading zeros
  kCn,   // compressed numeric: BCD digits, left-aligned, F padding at the end
  kB,    // binary
  kAn,   // alphanumeric
  kAns,  // alphanumeric and special
};

// What a value means beyond its format, for a readable explanation.
enum class Meaning : uint8_t {
  kPlain,
  kAmount,    // an amount in the currency's minor unit (n or b)
  kCountry,   // an ISO 3166 numeric country code
  kCurrency,  // an ISO 4217 numeric currency code
};

inline constexpr size_t kNoUpperBound = 0;

struct TagInfo {
  uint32_t tag;
  const char* name;
  Format format;
  uint16_t minLength;
  uint16_t maxLength;  // kNoUpperBound: any length from minLength on
  Meaning meaning = Meaning::kPlain;

  bool LengthAllowed(size_t length) const {
    return length >= minLength && (maxLength == kNoUpperBound || length <= maxLength);
  }
};

// The whole table, ordered by tag.
std::span<const TagInfo> Dictionary();
// The entry of tag, or nullptr for a tag the table does not know (readers have their own).
const TagInfo* FindTag(uint32_t tag);

// "n", "cn", "b", "an", "ans".
const char* FormatName(Format format);
// A tag in upper-case hex with the bytes it was written with ("9F1A", "DF8123").
std::string TagText(uint32_t tag, size_t tagSize);
// A tag of the table in upper-case hex ("9F1A").
std::string TagText(uint32_t tag);
// Bytes in upper-case hex without blanks; past maxBytes cut, with "..." after them.
std::string HexText(std::span<const uint8_t> bytes, size_t maxBytes = SIZE_MAX);
// "1 byte", "6 bytes".
std::string ByteCount(size_t count);
// "9F1A" (or "9f1a") as a tag, or nothing when it is not 1 to 4 bytes of hex.
std::optional<uint32_t> ParseTag(std::string_view text, size_t* tagSize = nullptr);
// The allowed lengths in words: "2", "5 to 16", "at least 1".
std::string LengthText(const TagInfo& info);

}  // namespace kavonel::emv
