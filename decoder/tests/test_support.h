// Helpers shared by the decoder's tests: hex text of bytes, and a loaded decoder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decoder.h"

namespace quassel::test {

// "04 03 00 02 9F 1A": bytes as upper-case hex pairs separated by single blanks.
inline std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

// The records of a decoder, one hex line each.
inline std::vector<std::string> RecordLines(const Decoder& decoder) {
  std::vector<std::string> lines;
  for (const RecordView& record : decoder.Records()) lines.push_back(Hex(record.bytes));
  return lines;
}

// A script line of count data bytes, all equal, written as one word.
inline std::string HexWord(size_t count, std::string_view pair = "AB") {
  std::string word;
  word.reserve(count * pair.size());
  for (size_t i = 0; i < count; ++i) word.append(pair);
  return word;
}

}  // namespace quassel::test
