// The configuration script decoder as a C++ class: what the exports of libquassel wrap,
// and what the program, kavonel-cli and the tests use directly. Each Decoder is
// independent (no globals); one Decoder is not safe to use from two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "command_buffer.h"
#include "quassel.h"

namespace quassel {

// The library's codes (quassel.h), for C++ callers.
inline constexpr uint32_t kOk = QUASSEL_OK;
inline constexpr uint32_t kNotEnoughMemory = QUASSEL_NOT_ENOUGH_MEMORY;
inline constexpr uint32_t kInvalidParameter = QUASSEL_INVALID_PARAMETER;
inline constexpr uint32_t kFileOpenError = QUASSEL_FILE_OPEN_ERROR;
inline constexpr uint32_t kScriptFormatError = QUASSEL_SCRIPT_FORMAT_ERROR;
inline constexpr uint32_t kAllProcessed = QUASSEL_ALL_PROCESSED;
inline constexpr uint32_t kDetailCommandFormat = QUASSEL_DETAIL_COMMAND_FORMAT;
inline constexpr uint32_t kDetailInvalidValue = QUASSEL_DETAIL_INVALID_VALUE;
inline constexpr uint32_t kDetailNotHex = QUASSEL_DETAIL_NOT_HEX;

// The version text GetDLLVersion answers.
inline constexpr const char* kVersionText = "1.3.0";

// What one load reports: the same values LoadConfigurationText writes to its
// out-parameters. On failure the three counts are those of an empty buffer.
struct LoadResult {
  uint32_t result = kOk;
  uint32_t detailCode = 0;  // 0x20000010..12 for a script error, else 0
  uint32_t errorLine = 0;   // 1-based physical line of a script error, else 0
  uint32_t commandCount = 0;
  uint32_t maxRecordSize = kRecordHeaderSize;
  uint32_t totalBytes = 0;
};

// Something the decoder passed over without an error that a script author would want to
// know about: a skipped word, a body left open at the end of the file, a message or KAT
// line that goes into no record. line is the 1-based physical line it concerns. Script
// text quoted in message is escaped (escaped_text.h): the message is safe to print.
struct Diagnostic {
  uint32_t line = 0;
  std::string message;
};

// One record of the command buffer, pointing into it (valid until the next load).
struct RecordView {
  uint8_t command = 0;
  uint8_t subCommand = 0;
  std::span<const uint8_t> data;   // the data bytes only
  std::span<const uint8_t> bytes;  // the whole record: header and data
};

// At most this many diagnostics are kept per load; a last one then says how many more
// were passed over, so a pathological script cannot make the list grow without bound.
inline constexpr size_t kMaxDiagnostics = 1000;

class Decoder {
 public:
  Decoder() = default;

  // Each load replaces the buffer, the result and the diagnostics of the previous one.
  // A UTF-8 byte order mark at the very start of the input is passed over.
  // After any failure the buffer is empty and the hand-outs answer kAllProcessed.
  // deviceType is accepted for the exports' sake and changes nothing.
  LoadResult LoadFile(const std::string& path, uint32_t deviceType = 0);
  LoadResult LoadStream(std::istream& in, uint32_t deviceType = 0);
  LoadResult LoadText(std::string_view text, uint32_t deviceType = 0);

  // GetNextConfigCommand: copies the record at the read cursor if *capacity bytes hold it,
  // sets *capacity to its size and moves the cursor on (kOk); kNotEnoughMemory when it
  // does not fit, kAllProcessed when no record is left or no load has succeeded,
  // kInvalidParameter for a null pointer. Nothing changes unless kOk.
  uint32_t NextCommand(uint8_t* destination, uint32_t* capacity);
  // GetAllConfigCommands: copies the whole buffer if *capacity bytes hold it, sets
  // *capacity to its size and the cursor back to the first record (kOk); kNotEnoughMemory
  // when it does not fit, kAllProcessed when no load has succeeded, kInvalidParameter
  // for a null pointer.
  uint32_t AllCommands(uint8_t* destination, uint32_t* capacity);

  const LoadResult& LastLoad() const { return last_; }
  // True after a successful load, until the next load starts.
  bool Loaded() const { return loaded_; }
  std::span<const uint8_t> Bytes() const { return buffer_.Bytes(); }
  std::vector<RecordView> Records() const;
  uint32_t ReadCursor() const { return buffer_.ReadCursor(); }
  // Warnings of the last load in the order found, also after a failed load (those found
  // before the error). A note on what the end of the file left open comes last and names
  // the line where that statement began.
  const std::vector<Diagnostic>& Diagnostics() const { return diagnostics_; }

  // Bounds the command buffer's bytes (default: none); a load that needs more fails with
  // kNotEnoughMemory as if memory had run out.
  void SetByteLimit(size_t limit) { byteLimit_ = limit; }
  // Files and streams are read in pieces of this many bytes (at least 1); lines are cut
  // out of a piece in place, and only a line that straddles two pieces is copied. Tests
  // make it small to meet the seams between pieces.
  void SetChunkSize(size_t bytes) { chunkSize_ = bytes == 0 ? 1 : bytes; }
  static constexpr size_t kDefaultChunkSize = size_t{1} << 20;
  // Where each line's bytes end, for tools that point at a record's data by line: while
  // set, a load fills (*lineEnds)[n - 1] with the buffer's size once line n was read, so
  // the byte at offset x came from the first line whose end is past x. nullptr (the
  // default) keeps nothing.
  void SetLineEnds(std::vector<uint32_t>* lineEnds) { lineEnds_ = lineEnds; }

 private:
  class Session;
  // Runs one load over a source of bytes: read(data) points data at the next bytes and
  // answers their count, 0 at the end of the input, -1 on a read failure. expectedSize
  // is a guess at the buffer's final size (0: none); slack is how many bytes past each
  // piece read may be read (their values do not matter).
  template <typename Read>
  LoadResult Run(Read& read, size_t expectedSize, size_t slack);
  LoadResult Finish(uint32_t result, uint32_t detail, uint32_t line);

  CommandBuffer buffer_;
  LoadResult last_;
  std::vector<Diagnostic> diagnostics_;
  size_t byteLimit_ = SIZE_MAX;
  size_t chunkSize_ = kDefaultChunkSize;
  std::vector<uint32_t>* lineEnds_ = nullptr;
  bool loaded_ = false;
  bool lastLoadFailed_ = false;
};

}  // namespace quassel
