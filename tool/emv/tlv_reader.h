// Reading a record's data as BER-TLV, with the readers' exception: tags FFE0 to FFFF are
// two-byte primitive tags (the group number FFE4 among them), where BER would read on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kavonel::emv {

// Tags of more bytes than this are not read (no reader configuration uses one).
inline constexpr size_t kMaxTagSize = 4;
// Templates nested deeper than this are not opened: their value stays bytes. Real
// configurations nest one or two deep; the bound keeps every walk of the tree shallow.
inline constexpr size_t kMaxDepth = 32;

struct Element {
  uint32_t tag = 0;
  uint32_t offset = 0;       // of the tag's first byte in the data
  uint32_t valueOffset = 0;  // of the value's first byte
  uint32_t length = 0;       // of the value
  uint32_t depth = 0;        // 0 at the top level of the record
  int32_t parent = -1;       // index of the constructed element holding it, -1 at the top
  uint8_t tagSize = 0;
  uint8_t lengthSize = 0;  // 1, 2 (81 xx) or 3 (82 xxxx)
  bool constructed = false;
};

// Why reading stopped early at one level.
enum class TlvProblemKind : uint8_t {
  kValueOverrun,  // a length that runs past the end of the body (or of its template)
  kLeftOver,      // bytes at the end that are no whole tag and length
  kBadLength,     // a first length byte that is none of 00..7F, 81, 82
  kLongTag,       // a tag of more than kMaxTagSize bytes
};

struct TlvProblem {
  TlvProblemKind kind = TlvProblemKind::kLeftOver;
  uint32_t offset = 0;     // where the element (or the left-over bytes) starts
  uint32_t tag = 0;        // as far as it could be read
  uint8_t tagSize = 0;     // the bytes of tag
  uint32_t length = 0;     // kValueOverrun: the length written; kBadLength: the byte
  uint32_t available = 0;  // kValueOverrun: the bytes that are there; kLeftOver: their count
  uint32_t depth = 0;
  uint32_t end = 0;  // where the level ends that is not read on
};

// Reads data into elements in script order (a constructed element before what it
// holds). A problem ends the level it is found at: the rest of that level is not read,
// while the levels around it go on after the template that holds it. The vectors are
// cleared first; reusing them across records saves allocations.
void ReadTlv(std::span<const uint8_t> data, std::vector<Element>& elements,
             std::vector<TlvProblem>& problems);

// True when the tag's first byte marks it constructed (bit 6), FFE0..FFFF excepted.
bool IsConstructed(uint32_t tag, size_t tagSize);

// Appends the BER encoding of a length in its shortest form.
void AppendLength(std::vector<uint8_t>& out, size_t length);

}  // namespace kavonel::emv
