#include "escaped_text.h"

namespace quassel {
namespace {

// Length of the well-formed UTF-8 character at text[pos] (its bounds on the second
// byte exclude overlong forms, surrogates and code points above U+10FFFF), or 0.
size_t CharacterLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - pos < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Code point of a well-formed character of length bytes.
uint32_t CodePoint(std::string_view character) {
  static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  uint32_t value = static_cast<unsigned char>(character[0]) & kLeadBits[character.size()];
  for (size_t i = 1; i < character.size(); ++i) {
    value = (value << 6) | (static_cast<unsigned char>(character[i]) & 0x3F);
  }
  return value;
}

bool Shown(std::string_view character) {
  const uint32_t c = CodePoint(character);
  if (c < 0x20 || c == '\\' || (c >= 0x7F && c <= 0x9F)) return false;  // C0, DEL, C1
  // Invisible characters that would hide what a word really holds or reorder the text
  // around it: zero-width spaces and joiners, direction marks, embeddings and isolates,
  // the byte order mark.
  return !((c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF);
}

}  // namespace

std::string EscapedText(std::string_view text, size_t maxBytes, bool* cut) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() < maxBytes ? text.size() : maxBytes);
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t length = CharacterLength(text, pos);
    const size_t taken = length == 0 ? 1 : length;
    if (taken > maxBytes - pos) break;
    const std::string_view character = text.substr(pos, taken);
    if (length != 0 && Shown(character)) {
      out.append(character);
    } else {
      for (const char c : character) {
        const auto value = static_cast<unsigned char>(c);
        out += "\\x";
        out += kDigits[value >> 4];
        out += kDigits[value & 0x0F];
      }
    }
    pos += taken;
  }
  if (cut != nullptr) *cut = pos < text.size();
  return out;
}

}  // namespace quassel
