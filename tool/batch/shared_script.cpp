#include "batch/shared_script.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kavonel {

SharedScript DecodeScriptOnce(const std::string& path, int readerType) {
  SharedScript script;
  script.path = path;
  quassel::Decoder decoder;
  script.load = decoder.LoadFile(path, static_cast<uint32_t>(readerType));
  if (script.load.result == quassel::kOk) {
    for (const quassel::RecordView& record : decoder.Records()) {
      script.records.emplace_back(record.bytes.begin(), record.bytes.end());
    }
  }
  script.sha256 = FileSha256(path);
  return script;
}

ScriptDecoder RecordHandout(const SharedScript& script) {
  auto cursor = std::make_shared<size_t>(0);
  ScriptDecoder decoder;
  decoder.loadConfigurationText = [&script, cursor](const char*, uint32_t, uint32_t* count,
                                                    uint32_t* maxSize, uint32_t* total,
                                                    uint32_t* detail, uint32_t* line) {
    *cursor = 0;
    *detail = script.load.detailCode;
    *line = script.load.errorLine;
    if (script.load.result == quassel::kOk) {
      *count = script.load.commandCount;
      *maxSize = script.load.maxRecordSize;
      *total = script.load.totalBytes;
    }
    return script.load.result;
  };
  // As the library's hand-out: nothing moves unless the record fits.
  decoder.getNextConfigCommand = [&script, cursor](uint8_t* destination, uint32_t* capacity) {
    if (destination == nullptr || capacity == nullptr) return quassel::kInvalidParameter;
    if (*cursor >= script.records.size()) return quassel::kAllProcessed;
    const std::vector<uint8_t>& record = script.records[*cursor];
    if (record.size() > *capacity) return quassel::kNotEnoughMemory;
    std::memcpy(destination, record.data(), record.size());
    *capacity = static_cast<uint32_t>(record.size());
    ++*cursor;
    return quassel::kOk;
  };
  return decoder;
}

}  // namespace kavonel
