// Arbitrary record bodies (nested templates, long lengths, tags cut short) through the
// TLV reader, lint's checks and explain. The reader must account for every byte: its
// elements, written back with their own length forms, give the body again unless it
// reported a problem, and each element lies inside its template.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "script_checks.h"
#include "script_explain.h"
#include "tlv_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

using kavonel::emv::Element;

// Writes back the elements from index on that lie inside [begin, end), each with the
// length form it was read with; answers the index after them.
size_t Encode(const std::vector<Element>& elements, size_t index, std::span<const uint8_t> data,
              size_t end, std::vector<uint8_t>& out) {
  while (index < elements.size() && elements[index].offset < end) {
    const Element& e = elements[index];
    Check(e.valueOffset + e.length <= end);
    for (size_t i = e.tagSize; i-- > 0;) out.push_back(static_cast<uint8_t>(e.tag >> (8 * i)));
    if (e.lengthSize > 1) out.push_back(static_cast<uint8_t>(0x80 + e.lengthSize - 1));
    for (size_t i = e.lengthSize == 1 ? 1 : e.lengthSize - 1; i-- > 0;) {
      out.push_back(static_cast<uint8_t>(e.length >> (8 * i)));
    }
    ++index;
    if (e.constructed) {
      index = Encode(elements, index, data, e.valueOffset + e.length, out);
    } else {
      const auto value = data.subspan(e.valueOffset, e.length);
      out.insert(out.end(), value.begin(), value.end());
    }
  }
  return index;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks the record kind, the rest is the body; a buffer of one record
  // behind a header, its bytes spread over lines of (second byte % 16 + 1) bytes.
  static const uint8_t kKinds[][2] = {{0x04, 0x00}, {0x04, 0x02}, {0x04, 0x03}, {0x84, 0x04},
                                      {0x84, 0x05}, {0x84, 0x09}, {0x01, 0x01}};
  const uint8_t* kind = kKinds[data[0] % std::size(kKinds)];
  const size_t perLine = data[1] % 16 + 1;
  const std::span<const uint8_t> body(data + 2, std::min<size_t>(size - 2, 65535));
  std::vector<uint8_t> buffer = {kind[0], kind[1], static_cast<uint8_t>(body.size() >> 8),
                                 static_cast<uint8_t>(body.size())};
  buffer.insert(buffer.end(), body.begin(), body.end());
  std::vector<uint32_t> lineEnds;
  for (size_t end = 4; end < buffer.size(); end += perLine)
    lineEnds.push_back(static_cast<uint32_t>(end));
  lineEnds.push_back(static_cast<uint32_t>(buffer.size()));

  quassel::RecordView record;
  record.command = kind[0];
  record.subCommand = kind[1];
  record.bytes = buffer;
  record.data = std::span<const uint8_t>(buffer).subspan(4);
  const std::vector<quassel::RecordView> records = {record};
  const kavonel::emv::LineMap lines(lineEnds);

  std::vector<Element> elements;
  std::vector<kavonel::emv::TlvProblem> problems;
  kavonel::emv::ReadTlv(record.data, elements, problems);
  for (const Element& e : elements) {
    if (e.parent >= 0) {
      const Element& holder = elements[static_cast<size_t>(e.parent)];
      Check(holder.constructed && e.depth == holder.depth + 1 && e.offset >= holder.valueOffset &&
            e.valueOffset + e.length <= holder.valueOffset + holder.length);
    }
  }
  if (problems.empty()) {
    std::vector<uint8_t> encoded;
    Check(Encode(elements, 0, record.data, record.data.size(), encoded) == elements.size());
    Check(std::ranges::equal(encoded, record.data));
  }

  const kavonel::emv::CheckResult result = kavonel::emv::CheckScript(records, buffer, lines);
  for (const kavonel::emv::Finding& f : result.findings) {
    Check(f.line >= 1 && f.line <= lineEnds.size() && !f.message.empty());
  }
  const auto explained = kavonel::emv::ExplainScript(records, buffer, lines);
  Check(explained.size() == 1);
  const nlohmann::json json = kavonel::emv::ExplainJson(explained);
  Check(json[0]["data"] == kavonel::emv::HexText(record.data));
  (void)json.dump();
  (void)kavonel::emv::ExplainText(explained);
  return 0;
}
