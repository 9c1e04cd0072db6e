// The command buffer: command records back to back, with the bookkeeping the exports report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quassel {

// Largest data length a record's 16-bit length field can hold.
inline constexpr size_t kMaxRecordData = 65535;
// Size of a record header: command, sub-command, 16-bit big-endian data length.
inline constexpr size_t kRecordHeaderSize = 4;

// Owns its bytes through malloc/realloc rather than std::vector: a large buffer then grows
// in place (mremap) instead of being copied, which halves the peak memory of a big load,
// and running out of memory is a return value instead of an exception.
class CommandBuffer {
 public:
  CommandBuffer() = default;
  ~CommandBuffer();
  CommandBuffer(CommandBuffer&& other) noexcept;
  CommandBuffer& operator=(CommandBuffer&& other) noexcept;
  CommandBuffer(const CommandBuffer&) = delete;
  CommandBuffer& operator=(const CommandBuffer&) = delete;

  // Drops every record and releases the memory; the hand-outs then find nothing.
  void Release();
  // Starts an empty buffer with the initial room of a load, or room for expectedSize
  // bytes if that is more. False when memory is short.
  bool Start(size_t expectedSize = 0);

  // Appends the header of a new record, which becomes the current record. False when
  // memory is short (or the 32-bit total size would overflow).
  bool BeginRecord(uint8_t command, uint8_t subCommand);
  // Makes room for count data bytes at the end of the current record, raises its length
  // and returns where to write them; nullptr when memory is short. The caller keeps the
  // record's data length within kMaxRecordData.
  uint8_t* AppendData(size_t count);
  // Makes room for up to count data bytes without adding them: the reader decodes a word
  // straight into DataRoom's answer and then commits what it wrote. nullptr when memory is
  // short. The room stays valid until the next call that adds to the buffer.
  uint8_t* DataRoom(size_t count) {
    if (hasRecord_ && count <= capacity_ - size_) return data_ + size_;
    return GrowForData(count);
  }
  // Adds count bytes written at DataRoom's answer to the current record.
  void CommitData(size_t count) {
    size_ += count;
    currentDataLength_ += count;
    uint8_t* header = data_ + currentRecord_;
    header[2] = static_cast<uint8_t>(currentDataLength_ >> 8);
    header[3] = static_cast<uint8_t>(currentDataLength_);
    const size_t recordSize = kRecordHeaderSize + currentDataLength_;
    if (recordSize > maxRecordSize_) maxRecordSize_ = static_cast<uint32_t>(recordSize);
  }
  // Data length of the current record (0 when no record has been begun).
  size_t CurrentDataLength() const { return currentDataLength_; }

  // Upper bound on the bytes the buffer may hold; growing past it counts as memory that
  // cannot be had. Lets tests reach the out-of-memory path; the default is no bound.
  void SetByteLimit(size_t limit) { byteLimit_ = limit; }

  uint32_t RecordCount() const { return recordCount_; }
  uint32_t TotalSize() const { return static_cast<uint32_t>(size_); }
  // Size of the longest record, 4 at least.
  uint32_t MaxRecordSize() const { return maxRecordSize_; }
  uint32_t ReadCursor() const { return static_cast<uint32_t>(cursor_); }
  std::span<const uint8_t> Bytes() const { return {data_, size_}; }

  // Hand-outs; results are the library's codes (0, 0x20000002, 0x20000008). Neither
  // checks its pointers: the callers do.
  uint32_t Next(uint8_t* destination, uint32_t* capacity);
  uint32_t All(uint8_t* destination, uint32_t* capacity);

 private:
  bool Reserve(size_t needed);
  uint8_t* GrowForData(size_t count);

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t byteLimit_ = SIZE_MAX;
  size_t currentRecord_ = 0;
  size_t currentDataLength_ = 0;
  bool hasRecord_ = false;
  uint32_t recordCount_ = 0;
  uint32_t maxRecordSize_ = kRecordHeaderSize;
  size_t cursor_ = 0;
};

}  // namespace quassel
