#include "script_checks.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>

#include "data_dictionary.h"
#include "entry_lists.h"
#include "tlv_reader.h"

namespace kavonel::emv {
namespace {

constexpr uint32_t kAidTag = 0x9F06;
constexpr uint32_t kGroupTag = 0xFFE4;
// Values quoted in a message are cut after this many bytes.
constexpr size_t kQuotedBytes = 16;

// "9F1A (Terminal country code)", or the tag alone when the table does not know it.
std::string Named(uint32_t tag, size_t tagSize, const TagInfo* info) {
  std::string text = TagText(tag, tagSize);
  if (info != nullptr) text += std::string(" (") + info->name + ")";
  return text;
}

// Where the value breaks its format, as the end of a message; empty when it does not.
std::string FormatFault(const TagInfo& info, std::span<const uint8_t> value) {
  switch (info.format) {
    case Format::kN:
      for (uint8_t byte : value) {
        if ((byte >> 4) > 9 || (byte & 0xF) > 9) {
          return HexText(value, kQuotedBytes) + " is not all digits (format n)";
        }
      }
      return {};
    case Format::kCn: {
      bool padding = false;
      for (uint8_t byte : value) {
        for (unsigned nibble : {unsigned(byte >> 4), unsigned(byte & 0xF)}) {
          if (nibble == 0xF) {
            padding = true;
          } else if (padding || nibble > 9) {
            return HexText(value, kQuotedBytes) +
                   " has a non-digit before its F padding (format cn)";
          }
        }
      }
      return {};
    }
    case Format::kAn:
    case Format::kAns:
      for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] < 0x20 || value[i] > 0x7E) {
          return "byte " + HexText(value.subspan(i, 1)) + " at " + std::to_string(i + 1) +
                 " of the value is not printable text (format " + FormatName(info.format) + ")";
        }
      }
      return {};
    case Format::kB:
      return {};
  }
  return {};
}

class Checker {
 public:
  Checker(std::span<const uint8_t> buffer, const LineMap& lines, size_t maxFindings)
      : buffer_(buffer), lines_(lines), max_(maxFindings) {}

  void Record(const quassel::RecordView& record) {
    recordOffset_ = static_cast<size_t>(record.data.data() - buffer_.data());
    switch (BodyKindOf(record.command, record.subCommand)) {
      case BodyKind::kTlv:
        Tlv(record);
        break;
      case BodyKind::kRevocationEntry:
        if (record.data.size() != kRevocationEntrySize) {
          Add(RecordLine(record), "revocation list entry of " + ByteCount(record.data.size()) +
                                      ", expected 9: RID (5), CA public key index (1), "
                                      "certificate serial number (3)");
        }
        break;
      case BodyKind::kRidIndexEntry:
        if (record.data.size() != kRidIndexEntrySize) {
          Add(RecordLine(record), "revocation list entry of " + ByteCount(record.data.size()) +
                                      ", expected 6: RID (5), CA public key index (1)");
        }
        break;
      case BodyKind::kExceptionEntry:
        ExceptionEntry(record);
        break;
      case BodyKind::kOther:
        break;
    }
    if (pending_.size() > 1) {
      std::stable_sort(pending_.begin(), pending_.end(),
                       [](const Finding& a, const Finding& b) { return a.line < b.line; });
    }
    for (Finding& finding : pending_) {
      if (result_.findings.size() < max_) {
        result_.findings.push_back(std::move(finding));
      } else {
        ++result_.notListed;
      }
    }
    pending_.clear();
  }

  // The AIDs' groups can be checked only once every group set has been seen.
  CheckResult Result() {
    if (!groups_.empty()) {
      for (const AidGroup& aid : aidGroups_) {
        if (groups_.contains(aid.value)) continue;
        const std::span<const uint8_t> value(reinterpret_cast<const uint8_t*>(aid.value.data()),
                                             aid.value.size());
        Add(lines_.LineOf(aid.offset), Named(kGroupTag, 2, FindTag(kGroupTag)) + ": group " +
                                           HexText(value, kQuotedBytes) +
                                           " is set by no group set of this script");
      }
    }
    if (!pending_.empty()) {
      std::vector<Finding> merged;
      std::merge(std::make_move_iterator(result_.findings.begin()),
                 std::make_move_iterator(result_.findings.end()),
                 std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()),
                 std::back_inserter(merged),
                 [](const Finding& a, const Finding& b) { return a.line < b.line; });
      if (merged.size() > max_) {
        result_.notListed += merged.size() - max_;
        merged.resize(max_);
      }
      result_.findings = std::move(merged);
    }
    return std::move(result_);
  }

 private:
  std::span<const uint8_t> Value(const quassel::RecordView& record, const Element& e) const {
    return record.data.subspan(e.valueOffset, e.length);
  }
  uint32_t RecordLine(const quassel::RecordView& record) const {
    return lines_.LineOf(static_cast<size_t>(record.bytes.data() - buffer_.data()));
  }
  uint32_t LineAt(size_t dataOffset) const { return lines_.LineOf(recordOffset_ + dataOffset); }
  void Add(uint32_t line, std::string message) {
    pending_.push_back(Finding{line, std::move(message)});
  }

  void Tlv(const quassel::RecordView& record) {
    ReadTlv(record.data, elements_, problems_);
    bool topLevelWhole = true;
    for (const TlvProblem& p : problems_) {
      const std::string tag = TagText(p.tag, p.tagSize);
      switch (p.kind) {
        case TlvProblemKind::kValueOverrun:
          Add(LineAt(p.offset), Named(p.tag, p.tagSize, FindTag(p.tag)) + ": length " +
                                    std::to_string(p.length) + " runs past the end of the " +
                                    (p.depth == 0 ? "body" : "template") + " (" +
                                    ByteCount(p.available) + " left)");
          break;
        case TlvProblemKind::kLeftOver:
          Add(LineAt(p.offset),
              "tag " + tag + ": the " + (p.depth == 0 ? "body" : "template") +
                  " ends within its tag and length (" + ByteCount(p.available) +
                  " left: " + HexText(record.data.subspan(p.offset, p.available), 8) + ")");
          break;
        case TlvProblemKind::kBadLength:
          Add(LineAt(p.offset), Named(p.tag, p.tagSize, FindTag(p.tag)) + ": length byte " +
                                    HexText(record.data.subspan(p.offset + p.tagSize, 1)) +
                                    " is none of 00 to 7F, 81 xx, 82 xxxx; the rest of the " +
                                    (p.depth == 0 ? "body" : "template") + " is not read");
          break;
        case TlvProblemKind::kLongTag:
          Add(LineAt(p.offset), "tag " + tag + "... runs on past four bytes; the rest of the " +
                                    (p.depth == 0 ? "body" : "template") + " is not read");
          break;
      }
      if (p.depth == 0) topLevelWhole = false;
    }

    const Element* aid = nullptr;
    const Element* group = nullptr;
    for (const Element& e : elements_) {
      if (e.depth == 0 && e.tag == kAidTag) aid = &e;
      if (e.depth == 0 && e.tag == kGroupTag) group = &e;
      const TagInfo* info = FindTag(e.tag);
      if (info == nullptr) continue;
      if (!info->LengthAllowed(e.length)) {
        Add(LineAt(e.offset), Named(e.tag, e.tagSize, info) + ": length " +
                                  std::to_string(e.length) + ", allowed " + LengthText(*info));
      } else if (!e.constructed) {
        std::string fault = FormatFault(*info, Value(record, e));
        if (!fault.empty()) Add(LineAt(e.offset), Named(e.tag, e.tagSize, info) + ": " + fault);
      }
    }
    Duplicates();

    const bool aidSet = record.command == 0x04 && record.subCommand == 0x02;
    const bool groupSet = record.command == 0x04 && record.subCommand == 0x03;
    if (aidSet && aid == nullptr && topLevelWhole) {
      Add(RecordLine(record), "aid set without 9F06 (Application identifier (AID))");
    }
    if ((aidSet || groupSet) && group != nullptr) {
      const std::span<const uint8_t> value = Value(record, *group);
      std::string bytes(reinterpret_cast<const char*>(value.data()), value.size());
      if (groupSet) {
        groups_.insert(std::move(bytes));
      } else {
        aidGroups_.push_back(AidGroup{recordOffset_ + group->offset, std::move(bytes)});
      }
    }
  }

  // The same tag twice in one template (or at the top of the record). A tag's value
  // alone tells its size (a longer tag is a larger number), so one 64-bit key orders by
  // template, tag and place: 17 bits of parent, 32 of tag, 15 of index (a record of
  // 65535 bytes holds at most 32767 elements).
  void Duplicates() {
    if (elements_.size() < 2 || !AnyRepeat()) return;
    keys_.clear();
    for (size_t i = 0; i < elements_.size(); ++i) {
      keys_.push_back((uint64_t(elements_[i].parent + 1) << 47) |
                      (uint64_t(elements_[i].tag) << 15) | i);
    }
    std::sort(keys_.begin(), keys_.end());
    constexpr int kIndexBits = 15;
    size_t first = 0;
    for (size_t i = 1; i < keys_.size(); ++i) {
      if ((keys_[i] >> kIndexBits) != (keys_[first] >> kIndexBits)) {
        first = i;
        continue;
      }
      const Element& e = elements_[keys_[i] & 0x7FFF];
      const Element& earlier = elements_[keys_[first] & 0x7FFF];
      Add(LineAt(e.offset), Named(e.tag, e.tagSize, FindTag(e.tag)) + " appears twice in one " +
                                (e.depth == 0 ? "record" : "template") + " (first on line " +
                                std::to_string(LineAt(earlier.offset)) + ")");
    }
  }

  // Whether some tag may stand twice in one template: one pass over a table stamped per
  // record, so the common record (no repeat) costs no sort.
  bool AnyRepeat() {
    if (elements_.size() > kSeenSlots / 2) return true;  // the sort decides
    ++stamp_;
    for (const Element& e : elements_) {
      const uint64_t key = (uint64_t(e.parent + 1) << 32) | e.tag;
      size_t slot = static_cast<size_t>((key * 0x9E3779B97F4A7C15u) >> 54);
      while (seen_[slot].stamp == stamp_) {
        if (seen_[slot].key == key) return true;
        slot = (slot + 1) % kSeenSlots;
      }
      seen_[slot] = Seen{key, stamp_};
    }
    return false;
  }

  void ExceptionEntry(const quassel::RecordView& record) {
    const size_t size = record.data.size();
    if (size < 2 || size > kMaxPanBytes + 1) {
      Add(RecordLine(record), "exception list entry of " + ByteCount(size) +
                                  ", expected a PAN (1 to 10 bytes) and its sequence number (1)");
      return;
    }
    const std::span<const uint8_t> pan = record.data.first(size - 1);
    const PanReading reading = ReadPan(pan);
    if (!reading.wellFormed) {
      Add(RecordLine(record), "exception list PAN " + HexText(pan) +
                                  " has a non-digit before its F padding (digit " +
                                  std::to_string(reading.badNibble + 1) + ")");
    } else if (reading.digits.size() >= 2 && !reading.luhnValid) {
      Add(RecordLine(record), "exception list PAN " + reading.digits +
                                  " fails its Luhn check: the last digit should be " +
                                  reading.expectedCheck);
    }
  }

  std::span<const uint8_t> buffer_;
  const LineMap& lines_;
  size_t max_;
  size_t recordOffset_ = 0;
  std::vector<Element> elements_;
  std::vector<TlvProblem> problems_;
  std::vector<uint64_t> keys_;
  static constexpr size_t kSeenSlots = 1024;  // the hash's top 10 bits
  struct Seen {
    uint64_t key = 0;
    uint32_t stamp = 0;
  };
  std::vector<Seen> seen_ = std::vector<Seen>(kSeenSlots);
  uint32_t stamp_ = 0;
  // The groups of the AIDs, checked at the end: where each FFE4 is, and its value.
  struct AidGroup {
    size_t offset;
    std::string value;
  };
  std::vector<AidGroup> aidGroups_;
  std::set<std::string> groups_;  // the values of the group sets' FFE4
  std::vector<Finding> pending_;
  CheckResult result_;
};

}  // namespace

BodyKind BodyKindOf(uint8_t command, uint8_t subCommand) {
  if (command == 0x04) {
    switch (subCommand) {
      case 0x00:  // configuration set
      case 0x02:  // aid set
      case 0x03:  // group set
      case 0x04:  // aid delete
      case 0x05:  // group delete
      case 0x0C:  // cashtransrisk set
      case 0x0D:  // cashbacktransrisk set
      case 0x0E:  // drlrisk set
        return BodyKind::kTlv;
      default:
        return BodyKind::kOther;
    }
  }
  if (command == 0x84) {
    switch (subCommand) {
      case 0x04:  // revocation list add
      case 0x0D:  // revocation list delete entry
        return BodyKind::kRevocationEntry;
      case 0x05:
        return BodyKind::kRidIndexEntry;
      case 0x09:  // exception list add
      case 0x0A:  // exception list delete entry
        return BodyKind::kExceptionEntry;
      default:
        return BodyKind::kOther;
    }
  }
  return BodyKind::kOther;
}

uint32_t LineMap::LineOf(size_t offset) const {
  const auto found = std::upper_bound(ends_.begin(), ends_.end(), offset);
  if (found == ends_.end()) return static_cast<uint32_t>(ends_.size());
  return static_cast<uint32_t>(found - ends_.begin()) + 1;
}

CheckResult CheckScript(std::span<const quassel::RecordView> records,
                        std::span<const uint8_t> buffer, const LineMap& lines, size_t maxFindings) {
  Checker checker(buffer, lines, maxFindings);
  for (const quassel::RecordView& record : records) checker.Record(record);
  return checker.Result();
}

}  // namespace kavonel::emv
