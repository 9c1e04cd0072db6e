#include "sim/reader_model.h"

#include <algorithm>
#include <cstring>

#include "link/frame.h"

namespace kavonel::sim {
namespace {

constexpr uint8_t kLongTag[10] = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', '2', 0};
constexpr uint8_t kShortTag[10] = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', 0, 'C'};
constexpr size_t kTagSize = 10;
constexpr size_t kLarkVersionSize = 41;
constexpr size_t kTernVersionSize = 70;
constexpr size_t kMaxHeronDataSent = 4096;

bool StartsWithPrefixOf(const std::vector<uint8_t>& buffer, const uint8_t* tag) {
  const size_t n = std::min(buffer.size(), kTagSize);
  return std::memcmp(buffer.data(), tag, n) == 0;
}

size_t DeclaredFrameLength(const std::vector<uint8_t>& b) {
  return 16 + (static_cast<size_t>(b[12]) << 8 | b[13]);
}

void AppendCrc(std::vector<uint8_t>& frame) {
  const uint16_t crc = FrameCrc(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
}

std::vector<uint8_t> ResponseHead(uint8_t command, uint8_t status, size_t length) {
  std::vector<uint8_t> r(kLongTag, kLongTag + kTagSize);
  r.push_back(command);
  r.push_back(status);
  r.push_back(static_cast<uint8_t>(length >> 8));
  r.push_back(static_cast<uint8_t>(length & 0xFF));
  return r;
}

// A fixed-size version response with text at textOffset (cut to fit, zero-padded).
std::vector<uint8_t> FixedVersionResponse(uint8_t command, uint8_t status, size_t total,
                                          std::string_view prefix, std::string_view text) {
  std::vector<uint8_t> r = ResponseHead(command, status, total - 16);
  r.insert(r.end(), prefix.begin(), prefix.end());
  const size_t room = total - 2 - r.size();
  const size_t n = std::min(room, text.size());
  r.insert(r.end(), text.begin(), text.begin() + static_cast<long>(n));
  r.resize(total - 2, 0);
  AppendCrc(r);
  return r;
}

std::optional<uint8_t> ParseHexByte(std::string_view s) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  if (s.empty() || s.size() > 2) return std::nullopt;
  unsigned v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    v = v * 16 + static_cast<unsigned>(d);
  }
  return static_cast<uint8_t>(v);
}

}  // namespace

void FrameSplitter::Feed(const uint8_t* data, size_t count, uint32_t nowMs) {
  if (count == 0) return;
  buffer_.insert(buffer_.end(), data, data + count);
  lastByteMs_ = nowMs;
}

int FrameSplitter::MsUntilIdle(uint32_t nowMs) const {
  if (buffer_.empty()) return -1;
  const uint32_t quiet = nowMs - lastByteMs_;
  return quiet >= idleGapMs_ ? 0 : static_cast<int>(idleGapMs_ - quiet);
}

Request FrameSplitter::Take(RequestKind kind, size_t length) {
  Request r;
  r.kind = kind;
  r.bytes.assign(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
  if (length > 10) r.command = r.bytes[10];
  if (length > 11) r.subCommand = r.bytes[11];
  if ((kind == RequestKind::kLong || kind == RequestKind::kShort) && length >= 16) {
    const uint16_t crc = FrameCrc(r.bytes.data(), length - 2);
    r.crcOk = r.bytes[length - 2] == (crc & 0xFF) && r.bytes[length - 1] == (crc >> 8);
  }
  return r;
}

std::optional<Request> FrameSplitter::Next(uint32_t nowMs) {
  if (buffer_.empty()) return std::nullopt;
  const size_t n = buffer_.size();
  const bool idle = nowMs - lastByteMs_ >= idleGapMs_;
  const bool longTag = StartsWithPrefixOf(buffer_, kLongTag);
  const bool shortTag = StartsWithPrefixOf(buffer_, kShortTag);
  if (longTag || shortTag) {
    size_t total = 0;
    if (n >= kTagSize) total = shortTag ? 16 : (n >= 14 ? DeclaredFrameLength(buffer_) : 0);
    if (total != 0 && n >= total)
      return Take(shortTag ? RequestKind::kShort : RequestKind::kLong, total);
    if (idle) return Take(RequestKind::kIncomplete, n);
    return std::nullopt;
  }
  // No known tag: the frame runs up to the next tag, or as far as its length says.
  static constexpr uint8_t kTagStart[8] = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l'};
  const auto next =
      std::search(buffer_.begin() + 1, buffer_.end(), std::begin(kTagStart), std::end(kTagStart));
  if (next != buffer_.end())
    return Take(RequestKind::kBadTag, static_cast<size_t>(next - buffer_.begin()));
  if (n >= 14 && DeclaredFrameLength(buffer_) <= n) {
    return Take(RequestKind::kBadTag, DeclaredFrameLength(buffer_));
  }
  if (idle) return Take(RequestKind::kBadTag, n);
  return std::nullopt;
}

std::optional<StatusRule> ParseStatusRule(std::string_view text) {
  StatusRule rule;
  const size_t colon = text.find(':');
  const size_t equals = text.find('=');
  if (colon == std::string_view::npos || equals == std::string_view::npos || equals < colon) {
    return std::nullopt;
  }
  const std::string_view command = text.substr(0, colon);
  const std::string_view sub = text.substr(colon + 1, equals - colon - 1);
  std::string_view status = text.substr(equals + 1);
  const size_t at = status.find('@');
  if (at != std::string_view::npos) {
    const std::string_view nth = status.substr(at + 1);
    status = status.substr(0, at);
    if (nth.empty() || nth.size() > 6 ||
        !std::all_of(nth.begin(), nth.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    rule.occurrence = static_cast<unsigned>(std::stoul(std::string(nth)));
    if (rule.occurrence == 0) return std::nullopt;
  }
  if (command != "*") {
    rule.command = ParseHexByte(command);
    if (!rule.command) return std::nullopt;
  }
  if (sub != "*") {
    rule.subCommand = ParseHexByte(sub);
    if (!rule.subCommand) return std::nullopt;
  }
  const std::optional<uint8_t> value = ParseHexByte(status);
  if (!value) return std::nullopt;
  rule.status = *value;
  return rule;
}

std::string DefaultVersionText(int readerType) {
  switch (readerType) {
    case 2:
      return "Tern,SN12345,FW2.4.1";
    case 3:
      return "HERON 3.2.0";
    default:
      return "1.07.3";
  }
}

std::vector<uint8_t> ShortResponse(uint8_t command, uint8_t status) {
  std::vector<uint8_t> r = ResponseHead(command, status, 0);
  AppendCrc(r);
  return r;
}

std::string HexLine(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string line;
  line.reserve(bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) line.push_back(' ');
    line.push_back(kDigits[bytes[i] >> 4]);
    line.push_back(kDigits[bytes[i] & 0xF]);
  }
  return line;
}

std::optional<uint8_t> ReaderModel::RuleStatus(const Request& request) {
  std::optional<uint8_t> status;
  for (StatusRule& rule : options_.statusRules) {
    if (rule.command && *rule.command != request.command) continue;
    if (rule.subCommand && *rule.subCommand != request.subCommand) continue;
    ++rule.seen;
    if (!status && (rule.occurrence == 0 || rule.occurrence == rule.seen)) status = rule.status;
  }
  return status;
}

std::vector<uint8_t> ReaderModel::FullAnswer(const Request& request) {
  switch (request.kind) {
    case RequestKind::kBadTag:
      return ShortResponse(request.command, 0x01);
    case RequestKind::kIncomplete:
      return ShortResponse(request.command, 0x08);  // the reader's own byte time-out
    case RequestKind::kShort:
      // Only Lark readers (and Tern in Lark compatibility) know the short header.
      if (options_.readerType >= 2) return ShortResponse(request.command, 0x01);
      break;
    case RequestKind::kLong:
      break;
  }
  if (!request.crcOk) return ShortResponse(request.command, 0x04);
  const uint8_t status = RuleStatus(request).value_or(0);
  const std::string text = options_.versionText.value_or(DefaultVersionText(options_.readerType));
  const uint8_t cmd = request.command, sub = request.subCommand;
  if (request.kind == RequestKind::kShort && cmd == 0x29 && sub == 0x00) {
    return FixedVersionResponse(cmd, status, kLarkVersionSize, "LK-SN0012345", text);
  }
  if (request.kind == RequestKind::kLong && options_.readerType == 2 && cmd == 0x09 &&
      sub == 0x20) {
    return FixedVersionResponse(cmd, status, kTernVersionSize, "", text);
  }
  if (request.kind == RequestKind::kLong && options_.readerType == 3 && cmd == 0x29 &&
      sub == 0x00) {
    if (status != 0) return ShortResponse(cmd, status);
    const size_t declared = options_.heronDeclaredLength.value_or(text.size());
    std::vector<uint8_t> r = ResponseHead(cmd, status, declared);
    std::vector<uint8_t> data(text.begin(), text.end());
    data.resize(std::min(declared, kMaxHeronDataSent), 0);
    r.insert(r.end(), data.begin(), data.end());
    AppendCrc(r);
    return r;
  }
  return ShortResponse(cmd, status);
}

std::vector<uint8_t> ReaderModel::StaleBytes() const {
  const std::vector<uint8_t> junk = ShortResponse(0xEE, 0x09);
  std::vector<uint8_t> r;
  while (r.size() < options_.staleBytes) r.push_back(junk[r.size() % junk.size()]);
  return r;
}

std::vector<uint8_t> ReaderModel::Answer(const Request& request) {
  std::vector<uint8_t> answer = FullAnswer(request);
  if (options_.truncateAnswers && *options_.truncateAnswers < answer.size()) {
    answer.resize(*options_.truncateAnswers);
  }
  const std::vector<uint8_t> stale = StaleBytes();
  answer.insert(answer.end(), stale.begin(), stale.end());
  return answer;
}

}  // namespace kavonel::sim
