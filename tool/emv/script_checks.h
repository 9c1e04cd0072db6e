// What kavonel-cli lint finds in a decoded script's data, read as the reader reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decoder.h"

namespace kavonel::emv {

// How a record's data is laid out, by its command and sub-command.
enum class BodyKind : uint8_t {
  kOther,            // poll mode, baud rate, device source, ...: bytes only the reader reads
  kTlv,              // configuration, group, AID and risk parameter records
  kRevocationEntry,  // RID, CA public key index, certificate serial number
  kRidIndexEntry,    // RID, CA public key index
  kExceptionEntry,   // PAN, PAN sequence number
};
BodyKind BodyKindOf(uint8_t command, uint8_t subCommand);

// The script line of each byte of one load's buffer (Decoder::SetLineEnds).
class LineMap {
 public:
  explicit LineMap(std::span<const uint32_t> lineEnds) : ends_(lineEnds) {}
  // The 1-based line the byte at this buffer offset was read from.
  uint32_t LineOf(size_t offset) const;

 private:
  std::span<const uint32_t> ends_;
};

struct Finding {
  uint32_t line = 0;
  std::string message;
};

struct CheckResult {
  std::vector<Finding> findings;  // in line order, at most the limit given
  size_t notListed = 0;           // found beyond the limit
};

// Checks every record of a successful load. buffer is Decoder::Bytes(), which records
// point into; lines maps its offsets to script lines.
CheckResult CheckScript(std::span<const quassel::RecordView> records,
                        std::span<const uint8_t> buffer, const LineMap& lines,
                        size_t maxFindings = quassel::kMaxDiagnostics);

}  // namespace kavonel::emv
