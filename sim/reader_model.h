// The virtual reader's logic, apart from the pseudo-terminal: finding request frames in
// the byte stream, and what a reader of each type answers to them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavonel::sim {

enum class RequestKind {
  kLong,        // "Zandrell2\0" + command, sub-command, length, data, CRC
  kShort,       // "Zandrell\0C" + command, sub-command, two bytes, CRC (16 bytes)
  kBadTag,      // no known header tag
  kIncomplete,  // a frame that stopped before its declared end
};

struct Request {
  RequestKind kind;
  std::vector<uint8_t> bytes;
  bool crcOk = false;
  uint8_t command = 0;
  uint8_t subCommand = 0;
};

// Cuts the incoming byte stream into request frames by header tag and length field. A
// frame that does not complete within the idle gap is given up as incomplete; bytes
// without a known tag run up to the next tag, or as far as their length field says.
class FrameSplitter {
 public:
  explicit FrameSplitter(uint32_t idleGapMs = 100) : idleGapMs_(idleGapMs) {}
  void Feed(const uint8_t* data, size_t count, uint32_t nowMs);
  // The next whole request, if any.
  std::optional<Request> Next(uint32_t nowMs);
  // When Next should be asked again although no byte arrives (the idle gap ends), as
  // milliseconds from nowMs; -1 when nothing waits.
  int MsUntilIdle(uint32_t nowMs) const;
  size_t Pending() const { return buffer_.size(); }

 private:
  Request Take(RequestKind kind, size_t length);
  std::vector<uint8_t> buffer_;
  uint32_t lastByteMs_ = 0;
  uint32_t idleGapMs_;
};

// Answer status for a command / sub-command, optionally only for its n-th occurrence.
struct StatusRule {
  std::optional<uint8_t> command;     // nothing: any
  std::optional<uint8_t> subCommand;  // nothing: any
  uint8_t status = 0;
  unsigned occurrence = 0;  // 0: every time; n: only the n-th matching request
  unsigned seen = 0;
};

// "04:03=5", "18:*=0x09", "*:*=8@2" (hex bytes, status decimal or 0x-hex). Nothing on error.
std::optional<StatusRule> ParseStatusRule(std::string_view text);

struct ReaderOptions {
  int readerType = 2;
  std::vector<StatusRule> statusRules;
  std::optional<std::string> versionText;  // the type's default when not given
  std::optional<unsigned> heronDeclaredLength;
  std::optional<size_t> truncateAnswers;  // send only the first n bytes of each answer
  size_t staleBytes = 0;                  // junk sent at start and behind every answer
};

// The default version text of a reader type.
std::string DefaultVersionText(int readerType);

class ReaderModel {
 public:
  explicit ReaderModel(ReaderOptions options) : options_(std::move(options)) {}
  // The bytes the reader sends back for a request (stale bytes and truncation included).
  std::vector<uint8_t> Answer(const Request& request);
  // Junk that a confused reader leaves on the line.
  std::vector<uint8_t> StaleBytes() const;

 private:
  std::vector<uint8_t> FullAnswer(const Request& request);
  std::optional<uint8_t> RuleStatus(const Request& request);
  ReaderOptions options_;
};

// 16-byte response: tag, command, status, length 0, CRC.
std::vector<uint8_t> ShortResponse(uint8_t command, uint8_t status);
std::string HexLine(const std::vector<uint8_t>& bytes);

}  // namespace kavonel::sim
