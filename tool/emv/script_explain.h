// What a decoded script configures, record by record and data object by data object:
// kavonel-cli explain, as text for a person and as JSON for a program.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <span>
#include <string>
#include <vector>

#include "data_dictionary.h"
#include "decoder.h"
#include "script_checks.h"
#include "tlv_reader.h"

namespace kavonel::emv {

struct ExplainedElement {
  Element element;
  const TagInfo* info = nullptr;  // nullptr: not in the dictionary
  uint32_t line = 0;              // where its tag starts
  std::span<const uint8_t> value;
  std::string readable;  // empty where the format has no other reading
};

// Bytes of a TLV body that are no whole element (lint says why).
struct UnreadBytes {
  uint32_t depth = 0;
  uint32_t line = 0;
  std::span<const uint8_t> bytes;
};

struct ExplainedRecord {
  uint32_t line = 0;  // where the record begins: its statement, or its entry line
  uint8_t command = 0;
  uint8_t subCommand = 0;
  const char* statement = "";
  BodyKind kind = BodyKind::kOther;
  std::span<const uint8_t> data;
  std::vector<ExplainedElement> elements;  // TLV bodies, in script order
  std::vector<UnreadBytes> unread;
  std::string readable;  // entries: their fields
};

// Every record of a successful load (buffer: Decoder::Bytes(), which records point into).
std::vector<ExplainedRecord> ExplainScript(std::span<const quassel::RecordView> records,
                                           std::span<const uint8_t> buffer, const LineMap& lines);

// One line per record and one per element, indented under its record or template.
std::string ExplainText(const std::vector<ExplainedRecord>& records);
// One array of objects: line, statement, command, sub_command, data (hex) and, for TLV
// bodies, elements (tag, name, length, value, line, readable where there is one, and
// elements for a template).
nlohmann::json ExplainJson(const std::vector<ExplainedRecord>& records);

}  // namespace kavonel::emv
