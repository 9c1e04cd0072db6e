// Decodes arbitrary bytes as a script, then checks what a caller relies on: the counts
// agree with the buffer, every record hands out whole and in order, a failed load leaves
// nothing to hand out, reading in small pieces (a stream) gives the same result (and the
// same line of every byte) as reading the whole text at once, and a byte-order mark in
// front changes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "command_names.h"
#include "decoder.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  quassel::Decoder decoder;
  std::vector<uint32_t> lineEnds;
  decoder.SetLineEnds(&lineEnds);
  const quassel::LoadResult result = decoder.LoadText(text);

  std::istringstream stream{std::string(text)};
  quassel::Decoder fromStream;
  std::vector<uint32_t> streamedLineEnds;
  fromStream.SetLineEnds(&streamedLineEnds);
  fromStream.SetChunkSize(size % 64 + 1);
  const quassel::LoadResult streamed = fromStream.LoadStream(stream);
  Check(streamed.result == result.result && streamed.detailCode == result.detailCode &&
        streamed.errorLine == result.errorLine &&
        std::ranges::equal(fromStream.Bytes(), decoder.Bytes()));
  // Where each line's bytes end does not depend on how the input was cut, and a
  // successful load's last line ends at the buffer's end.
  Check(streamedLineEnds == lineEnds && std::ranges::is_sorted(lineEnds));
  Check(result.result != quassel::kOk || lineEnds.empty() ||
        lineEnds.back() == decoder.Bytes().size());

  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (!text.starts_with(kByteOrderMark)) {
    quassel::Decoder marked;
    const quassel::LoadResult withMark =
        marked.LoadText(std::string(kByteOrderMark) + std::string(text));
    Check(withMark.result == result.result && withMark.detailCode == result.detailCode &&
          withMark.errorLine == result.errorLine &&
          std::ranges::equal(marked.Bytes(), decoder.Bytes()) &&
          marked.Diagnostics().size() == decoder.Diagnostics().size());
  }

  std::vector<uint8_t> room(result.maxRecordSize + 1);
  uint32_t capacity = static_cast<uint32_t>(room.size());
  if (result.result != quassel::kOk) {
    Check(decoder.Bytes().empty());
    Check(decoder.NextCommand(room.data(), &capacity) == quassel::kAllProcessed);
    Check(decoder.AllCommands(room.data(), &capacity) == quassel::kAllProcessed);
    Check(result.errorLine == 0 || result.detailCode != 0);
    return 0;
  }
  Check(result.detailCode == 0 && result.errorLine == 0);
  Check(result.totalBytes == decoder.Bytes().size());
  Check(result.maxRecordSize >= 4);

  // Record by record, each with exactly the largest size as room.
  uint32_t count = 0;
  size_t offset = 0;
  for (;;) {
    capacity = result.maxRecordSize;
    const uint32_t code = decoder.NextCommand(room.data(), &capacity);
    if (code == quassel::kAllProcessed) break;
    Check(code == quassel::kOk);
    Check(capacity >= 4 && capacity <= result.maxRecordSize);
    Check(4u + ((room[2] << 8) | room[3]) == capacity);
    Check(quassel::CommandDisplayName(room[0], room[1]) != nullptr);
    Check(std::memcmp(room.data(), decoder.Bytes().data() + offset, capacity) == 0);
    offset += capacity;
    ++count;
  }
  Check(count == result.commandCount && offset == result.totalBytes);
  Check(decoder.Records().size() == count);

  // All at once: one byte short fails, the exact size rewinds the cursor.
  std::vector<uint8_t> all(result.totalBytes + 1);
  if (result.totalBytes > 0) {
    capacity = result.totalBytes - 1;
    Check(decoder.AllCommands(all.data(), &capacity) == quassel::kNotEnoughMemory);
  }
  capacity = result.totalBytes;
  Check(decoder.AllCommands(all.data(), &capacity) == quassel::kOk);
  Check(capacity == result.totalBytes);
  capacity = result.maxRecordSize;
  Check(decoder.NextCommand(room.data(), &capacity) ==
        (count == 0 ? quassel::kAllProcessed : quassel::kOk));
  return 0;
}
