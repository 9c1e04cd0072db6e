#include "script_explain.h"

#include <nlohmann/json.hpp>
#include <optional>

#include "command_names.h"
#include "entry_lists.h"
#include "escaped_text.h"
#include "iso_names.h"

namespace kavonel::emv {
namespace {

constexpr uint32_t kExponentTag = 0x5F36;

// The digits of a value in BCD, or nothing when a nibble is not a digit.
std::optional<std::string> Digits(std::span<const uint8_t> value) {
  std::string digits;
  for (uint8_t byte : value) {
    for (unsigned nibble : {unsigned(byte >> 4), unsigned(byte & 0xF)}) {
      if (nibble > 9) return std::nullopt;
      digits += static_cast<char>('0' + nibble);
    }
  }
  return digits;
}

std::string WithoutLeadingZeros(std::string digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

// An amount in minor units, with the decimal point where the exponent puts it.
std::string Amount(std::string digits, std::optional<int> exponent) {
  digits = WithoutLeadingZeros(std::move(digits));
  if (!exponent || *exponent == 0) return digits;
  const auto e = static_cast<size_t>(*exponent);
  if (digits.size() <= e) digits.insert(0, e + 1 - digits.size(), '0');
  digits.insert(digits.size() - e, 1, '.');
  return digits;
}

std::string Quoted(std::span<const uint8_t> value) {
  const std::string escaped = quassel::EscapedText(
      std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
  std::string text = "\"";
  for (char c : escaped) {
    if (c == '"') {
      text += "\\x22";
    } else {
      text += c;
    }
  }
  return text + "\"";
}

std::string Readable(const TagInfo& info, std::span<const uint8_t> value,
                     std::optional<int> exponent) {
  switch (info.format) {
    case Format::kAn:
    case Format::kAns:
      return Quoted(value);
    case Format::kCn: {
      std::string digits;
      for (uint8_t byte : value) {
        for (unsigned nibble : {unsigned(byte >> 4), unsigned(byte & 0xF)}) {
          if (nibble == 0xF) return digits;
          if (nibble > 9) return {};
          digits += static_cast<char>('0' + nibble);
        }
      }
      return digits;
    }
    case Format::kB:
      if (info.meaning == Meaning::kAmount && value.size() <= 8) {
        uint64_t amount = 0;
        for (uint8_t byte : value) amount = (amount << 8) | byte;
        return Amount(std::to_string(amount), exponent);
      }
      return {};
    case Format::kN:
      break;
  }
  const std::optional<std::string> digits = Digits(value);
  if (!digits) return {};
  switch (info.meaning) {
    case Meaning::kAmount:
      return Amount(*digits, exponent);
    case Meaning::kCountry:
    case Meaning::kCurrency: {
      const std::string number = WithoutLeadingZeros(*digits);
      if (number.size() > 3) return number;  // no ISO code has more digits
      const IsoName* name = info.meaning == Meaning::kCountry
                                ? FindCountry(static_cast<unsigned>(std::stoul(number)))
                                : FindCurrency(static_cast<unsigned>(std::stoul(number)));
      if (name == nullptr) return number + " (not assigned)";
      return number + " " + name->name + " (" + name->code + ")";
    }
    case Meaning::kPlain:
      break;
  }
  return WithoutLeadingZeros(*digits);
}

// The script's transaction currency exponent: the first 5F36 of its TLV records.
std::optional<int> ScriptExponent(std::span<const quassel::RecordView> records) {
  std::vector<Element> elements;
  std::vector<TlvProblem> problems;
  for (const quassel::RecordView& record : records) {
    if (BodyKindOf(record.command, record.subCommand) != BodyKind::kTlv) continue;
    ReadTlv(record.data, elements, problems);
    for (const Element& e : elements) {
      if (e.depth != 0 || e.tag != kExponentTag || e.length != 1) continue;
      const uint8_t value = record.data[e.valueOffset];
      if (value <= 9) return value;
    }
  }
  return std::nullopt;
}

std::string EntryText(BodyKind kind, std::span<const uint8_t> data) {
  switch (kind) {
    case BodyKind::kRevocationEntry:
      if (data.size() != kRevocationEntrySize) return {};
      return "RID " + HexText(data.first(kRidSize)) + ", CA public key index " +
             HexText(data.subspan(kRidSize, 1)) + ", certificate serial number " +
             HexText(data.subspan(kRidSize + 1));
    case BodyKind::kRidIndexEntry:
      if (data.size() != kRidIndexEntrySize) return {};
      return "RID " + HexText(data.first(kRidSize)) + ", CA public key index " +
             HexText(data.subspan(kRidSize, 1));
    case BodyKind::kExceptionEntry: {
      if (data.size() < 2 || data.size() > kMaxPanBytes + 1) return {};
      const PanReading pan = ReadPan(data.first(data.size() - 1));
      if (!pan.wellFormed) return {};
      return "PAN " + pan.digits + ", PAN sequence number " + HexText(data.last(1));
    }
    default:
      return {};
  }
}

nlohmann::json ElementJson(const std::vector<ExplainedElement>& elements, size_t index,
                           std::vector<std::vector<size_t>>& children) {
  const ExplainedElement& e = elements[index];
  nlohmann::json out = {
      {"tag", TagText(e.element.tag, e.element.tagSize)},
      {"name", e.info != nullptr ? nlohmann::json(e.info->name) : nlohmann::json(nullptr)},
      {"length", e.element.length},
      {"value", HexText(e.value)},
      {"line", e.line},
  };
  if (!e.readable.empty()) out["readable"] = e.readable;
  if (e.element.constructed) {
    nlohmann::json inner = nlohmann::json::array();
    for (size_t child : children[index]) inner.push_back(ElementJson(elements, child, children));
    out["elements"] = std::move(inner);
  }
  return out;
}

}  // namespace

std::vector<ExplainedRecord> ExplainScript(std::span<const quassel::RecordView> records,
                                           std::span<const uint8_t> buffer, const LineMap& lines) {
  const std::optional<int> exponent = ScriptExponent(records);
  std::vector<ExplainedRecord> out;
  std::vector<Element> elements;
  std::vector<TlvProblem> problems;
  for (const quassel::RecordView& record : records) {
    ExplainedRecord explained;
    const auto recordAt = static_cast<size_t>(record.bytes.data() - buffer.data());
    const size_t dataAt = recordAt + quassel::kRecordHeaderSize;
    explained.line = lines.LineOf(recordAt);
    explained.command = record.command;
    explained.subCommand = record.subCommand;
    const char* words = quassel::StatementWords(record.command, record.subCommand);
    explained.statement = words != nullptr ? words : "";
    explained.kind = BodyKindOf(record.command, record.subCommand);
    explained.data = record.data;
    if (explained.kind == BodyKind::kTlv) {
      ReadTlv(record.data, elements, problems);
      for (const Element& e : elements) {
        ExplainedElement item;
        item.element = e;
        item.info = FindTag(e.tag);
        item.line = lines.LineOf(dataAt + e.offset);
        item.value = record.data.subspan(e.valueOffset, e.length);
        if (item.info != nullptr && !e.constructed) {
          item.readable = Readable(*item.info, item.value, exponent);
        }
        explained.elements.push_back(std::move(item));
      }
      for (const TlvProblem& p : problems) {
        explained.unread.push_back(UnreadBytes{p.depth, lines.LineOf(dataAt + p.offset),
                                               record.data.subspan(p.offset, p.end - p.offset)});
      }
    } else {
      explained.readable = EntryText(explained.kind, record.data);
    }
    out.push_back(std::move(explained));
  }
  return out;
}

std::string ExplainText(const std::vector<ExplainedRecord>& records) {
  std::string text;
  for (const ExplainedRecord& r : records) {
    text += std::to_string(r.line) + ": " + r.statement + " [" +
            HexText(std::span<const uint8_t>(&r.command, 1)) + " " +
            HexText(std::span<const uint8_t>(&r.subCommand, 1)) + "] " + ByteCount(r.data.size());
    if (r.kind != BodyKind::kTlv && !r.data.empty()) text += ": " + HexText(r.data);
    if (!r.readable.empty()) text += " = " + r.readable;
    text += '\n';
    for (const ExplainedElement& e : r.elements) {
      text.append(2 * (e.element.depth + 1), ' ');
      text += std::to_string(e.line) + ": " + TagText(e.element.tag, e.element.tagSize) + " " +
              (e.info != nullptr ? e.info->name : "(not in the dictionary)") + ", " +
              ByteCount(e.element.length);
      if (e.element.constructed) {
        text += ", template";
      } else if (!e.value.empty()) {
        text += ": " + HexText(e.value);
      }
      if (!e.readable.empty()) text += " = " + e.readable;
      text += '\n';
    }
    for (const UnreadBytes& u : r.unread) {
      text.append(2 * (u.depth + 1), ' ');
      text += std::to_string(u.line) + ": no whole element: " + HexText(u.bytes) +
              " (kavonel-cli lint says why)\n";
    }
  }
  return text;
}

nlohmann::json ExplainJson(const std::vector<ExplainedRecord>& records) {
  nlohmann::json out = nlohmann::json::array();
  for (const ExplainedRecord& r : records) {
    nlohmann::json record = {
        {"line", r.line},          {"statement", r.statement},
        {"command", r.command},    {"sub_command", r.subCommand},
        {"data", HexText(r.data)},
    };
    if (r.kind == BodyKind::kTlv) {
      std::vector<std::vector<size_t>> children(r.elements.size());
      nlohmann::json top = nlohmann::json::array();
      for (size_t i = 0; i < r.elements.size(); ++i) {
        const int32_t parent = r.elements[i].element.parent;
        if (parent >= 0) children[static_cast<size_t>(parent)].push_back(i);
      }
      for (size_t i = 0; i < r.elements.size(); ++i) {
        if (r.elements[i].element.parent < 0) top.push_back(ElementJson(r.elements, i, children));
      }
      record["elements"] = std::move(top);
    }
    if (!r.readable.empty()) record["readable"] = r.readable;
    out.push_back(std::move(record));
  }
  return out;
}

}  // namespace kavonel::emv
