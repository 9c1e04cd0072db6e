#include "tlv_reader.h"

namespace kavonel::emv {
namespace {

bool ReadersOwnTag(uint32_t tag, size_t tagSize) {
  return tagSize == 2 && tag >= 0xFFE0;
}

}  // namespace

bool IsConstructed(uint32_t tag, size_t tagSize) {
  if (ReadersOwnTag(tag, tagSize)) return false;
  const uint32_t first = tag >> (8 * (tagSize - 1));
  return (first & 0x20) != 0;
}

void ReadTlv(std::span<const uint8_t> data, std::vector<Element>& elements,
             std::vector<TlvProblem>& problems) {
  elements.clear();
  problems.clear();
  struct Level {
    size_t end;
    int32_t parent;
  };
  // The templates open around the current position; an explicit stack, since a body of
  // 64 KiB may nest thousands deep.
  std::vector<Level> open;
  size_t end = data.size();
  int32_t parent = -1;
  size_t pos = 0;
  for (;;) {
    if (pos >= end) {
      if (open.empty()) break;
      pos = end;
      end = open.back().end;
      parent = open.back().parent;
      open.pop_back();
      continue;
    }
    const auto depth = static_cast<uint32_t>(open.size());
    // A problem ends this level: the rest of it is unreadable.
    const auto fail = [&](TlvProblemKind kind, uint32_t tag, size_t tagSize, size_t length,
                          size_t available) {
      problems.push_back(TlvProblem{kind, static_cast<uint32_t>(pos), tag,
                                    static_cast<uint8_t>(tagSize), static_cast<uint32_t>(length),
                                    static_cast<uint32_t>(available), depth,
                                    static_cast<uint32_t>(end)});
      pos = end;
    };
    // The tag: one byte, or more while the first has its low five bits set and each
    // following byte has bit 8 set; FFE0..FFFF stop after two.
    size_t at = pos;
    uint32_t tag = data[at++];
    size_t tagSize = 1;
    if ((tag & 0x1F) == 0x1F) {
      bool whole = true;
      bool tooLong = false;
      for (;;) {
        if (at >= end) {
          whole = false;
          break;
        }
        const uint8_t next = data[at++];
        tag = (tag << 8) | next;
        ++tagSize;
        if ((next & 0x80) == 0 || ReadersOwnTag(tag, tagSize)) break;
        if (tagSize == kMaxTagSize) {
          tooLong = true;
          break;
        }
      }
      if (tooLong) {
        fail(TlvProblemKind::kLongTag, tag, tagSize, 0, end - pos);
        continue;
      }
      if (!whole) {
        fail(TlvProblemKind::kLeftOver, tag, tagSize, 0, end - pos);
        continue;
      }
    }
    if (at >= end) {
      fail(TlvProblemKind::kLeftOver, tag, tagSize, 0, end - pos);
      continue;
    }
    // The length: 00..7F, 81 xx or 82 xxxx.
    size_t length = data[at++];
    size_t lengthSize = 1;
    if (length >= 0x80) {
      const size_t extra = length - 0x80;
      if (extra == 0 || extra > 2) {
        fail(TlvProblemKind::kBadLength, tag, tagSize, length, 0);
        continue;
      }
      if (end - at < extra) {
        fail(TlvProblemKind::kLeftOver, tag, tagSize, 0, end - pos);
        continue;
      }
      length = 0;
      for (size_t i = 0; i < extra; ++i) length = (length << 8) | data[at++];
      lengthSize += extra;
    }
    if (length > end - at) {
      fail(TlvProblemKind::kValueOverrun, tag, tagSize, length, end - at);
      continue;
    }
    Element element;
    element.tag = tag;
    element.offset = static_cast<uint32_t>(pos);
    element.valueOffset = static_cast<uint32_t>(at);
    element.length = static_cast<uint32_t>(length);
    element.depth = depth;
    element.parent = parent;
    element.tagSize = static_cast<uint8_t>(tagSize);
    element.lengthSize = static_cast<uint8_t>(lengthSize);
    element.constructed = IsConstructed(tag, tagSize) && depth < kMaxDepth;
    elements.push_back(element);
    pos = at + length;
    if (element.constructed && length > 0) {
      open.push_back(Level{end, parent});
      parent = static_cast<int32_t>(elements.size() - 1);
      end = pos;
      pos = at;
    }
  }
}

void AppendLength(std::vector<uint8_t>& out, size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<uint8_t>(length));
  } else if (length <= 0xFF) {
    out.push_back(0x81);
    out.push_back(static_cast<uint8_t>(length));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
  }
}

}  // namespace kavonel::emv
