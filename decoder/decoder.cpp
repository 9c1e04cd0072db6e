#include "decoder.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <memory>
#include <new>
#include <string_view>

#include "script_reader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quassel {
namespace {

// Editors on Windows begin UTF-8 files with this mark; it is no part of the script.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The first line feed in [data, end), or nullptr; slack bytes past end may be read. Most
// lines are short, so sixteen bytes are compared at once without a call.
const char* FindNewline(const char* data, const char* end, size_t slack) {
  size_t left = static_cast<size_t>(end - data);
#if defined(__SSE2__)
  for (;;) {
    if (left < 16 && left + slack < 16) break;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
    if (mask != 0) {
      const auto at = static_cast<size_t>(std::countr_zero(mask));
      return at < left ? data + at : nullptr;
    }
    if (left <= 16) return nullptr;
    data += 16;
    left -= 16;
  }
#else
  (void)slack;
#endif
  return static_cast<const char*>(std::memchr(data, '\n', left));
}

uint32_t DetailCode(ReadStatus status) {
  switch (status) {
    case ReadStatus::kCommandFormat:
      return kDetailCommandFormat;
    case ReadStatus::kInvalidValue:
      return kDetailInvalidValue;
    case ReadStatus::kNotHex:
      return kDetailNotHex;
    default:
      return 0;
  }
}

}  // namespace

// One load: cuts the input into physical lines and feeds them to the script reader.
class Decoder::Session {
 public:
  Session(CommandBuffer& buffer, std::vector<Diagnostic>& diagnostics,
          std::vector<uint32_t>* lineEnds)
      : reader_(buffer, diagnostics), buffer_(buffer), lineEnds_(lineEnds) {}

  // Feeds bytes; false once the script has an error (or memory ran out). slack bytes
  // past data + size may be read (their values do not matter): the reader looks up to
  // kLineSlack bytes beyond a line, and a line without that much behind it is copied.
  bool Feed(const char* data, size_t size, size_t slack) {
    if (atStart_) {
      const size_t taken = SkipByteOrderMark(data, size);
      data += taken;
      size -= taken;
    }
    const char* end = data + size;
    while (data < end) {
      const char* newline = FindNewline(data, end, slack);
      if (newline == nullptr) {
        pending_.append(data, end);
        break;
      }
      if (pending_.empty() && static_cast<size_t>(end - newline) + slack >= kLineSlack) {
        status_ = Line(std::string_view(data, static_cast<size_t>(newline - data)));
      } else {
        pending_.append(data, newline);
        status_ = LinePending();
      }
      if (status_ != ReadStatus::kOk) return false;
      data = newline + 1;
    }
    return true;
  }

  // The input has ended: a last line without a line feed still counts.
  bool EndOfInput() {
    if (atStart_) pending_.append(kByteOrderMark.substr(0, markSeen_));  // only its beginning
    if (!pending_.empty()) {
      status_ = LinePending();
      pending_.shrink_to_fit();
      if (status_ != ReadStatus::kOk) return false;
    }
    reader_.EndOfFile();
    return true;
  }

  ReadStatus Status() const { return status_; }
  ScriptReader& Reader() { return reader_; }

 private:
  // The line gathered in pending_, with the slack the reader may look into.
  ReadStatus LinePending() {
    const size_t length = pending_.size();
    pending_.append(kLineSlack, ' ');
    const ReadStatus status = Line(std::string_view(pending_.data(), length));
    pending_.clear();
    return status;
  }

  ReadStatus Line(std::string_view line) {
    const ReadStatus status = reader_.Line(line);
    if (lineEnds_ != nullptr) lineEnds_->push_back(buffer_.TotalSize());
    return status;
  }

  // Passes over a byte order mark at the very start of the input, which may come split
  // over several reads. Answers how many of the bytes it took; bytes that only looked
  // like the mark's beginning go back in front of the first line.
  size_t SkipByteOrderMark(const char* data, size_t size) {
    size_t taken = 0;
    while (markSeen_ < kByteOrderMark.size() && taken < size &&
           data[taken] == kByteOrderMark[markSeen_]) {
      ++markSeen_;
      ++taken;
    }
    if (markSeen_ < kByteOrderMark.size()) {
      if (taken == size) return taken;  // the next read decides
      pending_.append(kByteOrderMark.substr(0, markSeen_));
    }
    atStart_ = false;
    return taken;
  }

  ScriptReader reader_;
  CommandBuffer& buffer_;
  std::vector<uint32_t>* lineEnds_;
  std::string pending_;
  ReadStatus status_ = ReadStatus::kOk;
  bool atStart_ = true;
  size_t markSeen_ = 0;  // bytes of the mark matched so far
};

LoadResult Decoder::Finish(uint32_t result, uint32_t detail, uint32_t line) {
  last_ = LoadResult{};
  last_.result = result;
  last_.detailCode = detail;
  last_.errorLine = line;
  loaded_ = result == kOk;
  lastLoadFailed_ = !loaded_;
  if (loaded_) {
    last_.commandCount = buffer_.RecordCount();
    last_.maxRecordSize = buffer_.MaxRecordSize();
    last_.totalBytes = buffer_.TotalSize();
  } else {
    // Nothing of a failed load, nor of the one before, may be handed out.
    buffer_.Release();
  }
  return last_;
}

template <typename Read>
LoadResult Decoder::Run(Read& read, size_t expectedSize, size_t slack) {
  diagnostics_.clear();
  if (lineEnds_ != nullptr) lineEnds_->clear();
  buffer_.SetByteLimit(byteLimit_);
  try {
    if (!buffer_.Start(expectedSize)) return Finish(kNotEnoughMemory, 0, 0);
    Session session(buffer_, diagnostics_, lineEnds_);
    bool ok = true;
    for (;;) {
      const char* data = nullptr;
      const std::ptrdiff_t count = read(data);
      if (count < 0) {
        session.Reader().CloseDiagnostics();
        return Finish(kScriptFormatError, 0, 0);
      }
      if (count == 0) break;
      ok = session.Feed(data, static_cast<size_t>(count), slack);
      if (!ok) break;
    }
    if (ok) ok = session.EndOfInput();
    session.Reader().CloseDiagnostics();
    if (ok) return Finish(kOk, 0, 0);
    if (session.Status() == ReadStatus::kNoMemory) return Finish(kNotEnoughMemory, 0, 0);
    return Finish(kScriptFormatError, DetailCode(session.Status()), session.Reader().LineNumber());
  } catch (const std::bad_alloc&) {
    return Finish(kNotEnoughMemory, 0, 0);
  }
}

LoadResult Decoder::LoadText(std::string_view text, uint32_t /*deviceType*/) {
  bool given = false;
  auto read = [&](const char*& data) -> std::ptrdiff_t {
    if (given) return 0;
    given = true;
    data = text.data();
    return static_cast<std::ptrdiff_t>(text.size());
  };
  return Run(read, text.size() / 2, 0);
}

LoadResult Decoder::LoadStream(std::istream& in, uint32_t /*deviceType*/) {
  std::unique_ptr<char[]> chunk;
  auto read = [&](const char*& data) -> std::ptrdiff_t {
    if (!chunk) chunk.reset(new char[chunkSize_ + kLineSlack]);
    try {
      in.read(chunk.get(), static_cast<std::streamsize>(chunkSize_));
    } catch (...) {
      // A stream set to throw rethrows whatever its buffer threw: a read failure all the same.
      return -1;
    }
    const std::streamsize count = in.gcount();
    if (count <= 0) return in.bad() ? -1 : 0;
    // The reader may look past the last line: give those bytes a value.
    std::memset(chunk.get() + count, ' ', kLineSlack);
    data = chunk.get();
    return static_cast<std::ptrdiff_t>(count);
  };
  return Run(read, 0, kLineSlack);
}

LoadResult Decoder::LoadFile(const std::string& path, uint32_t /*deviceType*/) {
  // The previous buffer goes before the file is even opened.
  diagnostics_.clear();
  buffer_.Release();
  // Binary mode: a carriage return is a blank wherever it stands, on every platform.
  // A directory opens as a stream on some systems but can never be read as a script.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return Finish(kFileOpenError, 0, 0);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Finish(kFileOpenError, 0, 0);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  std::unique_ptr<char[]> chunk;
  auto read = [&](const char*& data) -> std::ptrdiff_t {
    if (!chunk) chunk.reset(new char[chunkSize_ + kLineSlack]);
    const size_t count = std::fread(chunk.get(), 1, chunkSize_, file);
    if (count == 0) return std::ferror(file) ? -1 : 0;
    // The reader may look past the last line: give those bytes a value.
    std::memset(chunk.get() + count, ' ', kLineSlack);
    data = chunk.get();
    return static_cast<std::ptrdiff_t>(count);
  };
  // Two hex digits make one byte: half the file is a fair guess at the buffer's size.
  const auto fileSize = std::filesystem::file_size(path, ignored);
  return Run(read, ignored ? 0 : static_cast<size_t>(fileSize / 2), kLineSlack);
}

uint32_t Decoder::NextCommand(uint8_t* destination, uint32_t* capacity) {
  if (destination == nullptr || capacity == nullptr) return kInvalidParameter;
  if (!loaded_) return kAllProcessed;
  return buffer_.Next(destination, capacity);
}

uint32_t Decoder::AllCommands(uint8_t* destination, uint32_t* capacity) {
  if (destination == nullptr || capacity == nullptr) return kInvalidParameter;
  // Before any load the buffer is simply empty; after a failed one nothing of an
  // earlier load may leave the library.
  if (lastLoadFailed_) return kAllProcessed;
  return buffer_.All(destination, capacity);
}

std::vector<RecordView> Decoder::Records() const {
  std::vector<RecordView> records;
  const std::span<const uint8_t> bytes = buffer_.Bytes();
  size_t at = 0;
  while (at + kRecordHeaderSize <= bytes.size()) {
    const size_t length = (size_t{bytes[at + 2]} << 8) | bytes[at + 3];
    const size_t size = kRecordHeaderSize + length;
    if (size > bytes.size() - at) break;
    RecordView record;
    record.command = bytes[at];
    record.subCommand = bytes[at + 1];
    record.bytes = bytes.subspan(at, size);
    record.data = bytes.subspan(at + kRecordHeaderSize, length);
    records.push_back(record);
    at += size;
  }
  return records;
}

}  // namespace quassel
