// The four C exports of libquassel, over one process-wide decoder.
#define QUASSEL_BUILDING
#include <new>
#include <string>

#include "decoder.h"
#include "quassel.h"

namespace {

// The library keeps one command buffer for the whole process, from one load to the next.
quassel::Decoder& Instance() {
  static quassel::Decoder decoder;
  return decoder;
}

}  // namespace

extern "C" {

QUASSEL_API uint32_t LoadConfigurationText(const char* path, uint32_t deviceType,
                                           uint32_t* commandCount, uint32_t* maxRecordSize,
                                           uint32_t* totalBytes, uint32_t* detailCode,
                                           uint32_t* errorLine) {
  if (path == nullptr || commandCount == nullptr || maxRecordSize == nullptr ||
      totalBytes == nullptr || detailCode == nullptr || errorLine == nullptr) {
    return QUASSEL_INVALID_PARAMETER;
  }
  quassel::LoadResult result;
  try {
    result = Instance().LoadFile(std::string(path), deviceType);
  } catch (const std::bad_alloc&) {
    result = quassel::LoadResult{};
    result.result = QUASSEL_NOT_ENOUGH_MEMORY;
  }
  *detailCode = result.detailCode;
  *errorLine = result.errorLine;
  if (result.result == QUASSEL_OK) {
    *commandCount = result.commandCount;
    *maxRecordSize = result.maxRecordSize;
    *totalBytes = result.totalBytes;
  }
  return result.result;
}

QUASSEL_API uint32_t GetNextConfigCommand(uint8_t* destination, uint32_t* capacity) {
  return Instance().NextCommand(destination, capacity);
}

QUASSEL_API uint32_t GetAllConfigCommands(uint8_t* destination, uint32_t* capacity) {
  return Instance().AllCommands(destination, capacity);
}

QUASSEL_API const char* GetDLLVersion(void) {
  return quassel::kVersionText;
}

}  // extern "C"
