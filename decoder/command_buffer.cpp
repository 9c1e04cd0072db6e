#include "command_buffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "quassel.h"

namespace quassel {
namespace {

// Room of a fresh buffer; most scripts never need more.
constexpr size_t kInitialCapacity = 16383;
// The bookkeeping is 32-bit, so is the buffer.
constexpr size_t kMaxTotalSize = UINT32_MAX;

}  // namespace

CommandBuffer::~CommandBuffer() {
  std::free(data_);
}

CommandBuffer::CommandBuffer(CommandBuffer&& other) noexcept {
  *this = std::move(other);
}

CommandBuffer& CommandBuffer::operator=(CommandBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    byteLimit_ = other.byteLimit_;
    currentRecord_ = other.currentRecord_;
    currentDataLength_ = other.currentDataLength_;
    hasRecord_ = std::exchange(other.hasRecord_, false);
    recordCount_ = std::exchange(other.recordCount_, 0);
    maxRecordSize_ = std::exchange(other.maxRecordSize_, kRecordHeaderSize);
    cursor_ = std::exchange(other.cursor_, 0);
  }
  return *this;
}

void CommandBuffer::Release() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
  currentRecord_ = currentDataLength_ = 0;
  hasRecord_ = false;
  recordCount_ = 0;
  maxRecordSize_ = kRecordHeaderSize;
  cursor_ = 0;
}

bool CommandBuffer::Start(size_t expectedSize) {
  Release();
  // Room reserved but not yet written costs address space only, not memory; asking for
  // the expected size at once spares the copies of growing step by step.
  if (expectedSize > kInitialCapacity &&
      Reserve(expectedSize < byteLimit_ ? expectedSize : byteLimit_)) {
    return true;
  }
  return Reserve(kInitialCapacity < byteLimit_ ? kInitialCapacity : byteLimit_);
}

bool CommandBuffer::Reserve(size_t needed) {
  if (needed <= capacity_) return true;
  if (needed > byteLimit_ || needed > kMaxTotalSize) return false;
  size_t grown = capacity_ < kInitialCapacity ? kInitialCapacity : capacity_ * 2;
  if (grown < needed) grown = needed;
  if (grown > byteLimit_) grown = byteLimit_;
  if (grown > kMaxTotalSize) grown = kMaxTotalSize;
  void* moved = std::realloc(data_, grown);
  if (moved == nullptr) return false;
  data_ = static_cast<uint8_t*>(moved);
  capacity_ = grown;
  return true;
}

bool CommandBuffer::BeginRecord(uint8_t command, uint8_t subCommand) {
  if (size_ > kMaxTotalSize - kRecordHeaderSize || !Reserve(size_ + kRecordHeaderSize)) {
    return false;
  }
  uint8_t* header = data_ + size_;
  header[0] = command;
  header[1] = subCommand;
  header[2] = 0;
  header[3] = 0;
  currentRecord_ = size_;
  currentDataLength_ = 0;
  hasRecord_ = true;
  size_ += kRecordHeaderSize;
  ++recordCount_;
  return true;
}

uint8_t* CommandBuffer::AppendData(size_t count) {
  uint8_t* at = DataRoom(count);
  if (at != nullptr) CommitData(count);
  return at;
}

uint8_t* CommandBuffer::GrowForData(size_t count) {
  // Bytes belong to the current record, which is always the last one in the buffer.
  if (!hasRecord_ || count > kMaxTotalSize - size_ || !Reserve(size_ + count)) return nullptr;
  return data_ + size_;
}

uint32_t CommandBuffer::Next(uint8_t* destination, uint32_t* capacity) {
  if (cursor_ >= size_) return QUASSEL_ALL_PROCESSED;
  const uint8_t* record = data_ + cursor_;
  const size_t recordSize = kRecordHeaderSize + ((size_t{record[2]} << 8) | record[3]);
  if (*capacity < recordSize) return QUASSEL_NOT_ENOUGH_MEMORY;
  std::memcpy(destination, record, recordSize);
  *capacity = static_cast<uint32_t>(recordSize);
  cursor_ += recordSize;
  return QUASSEL_OK;
}

uint32_t CommandBuffer::All(uint8_t* destination, uint32_t* capacity) {
  if (*capacity < size_) return QUASSEL_NOT_ENOUGH_MEMORY;
  if (size_ != 0) std::memcpy(destination, data_, size_);
  *capacity = static_cast<uint32_t>(size_);
  cursor_ = 0;
  return QUASSEL_OK;
}

}  // namespace quassel
