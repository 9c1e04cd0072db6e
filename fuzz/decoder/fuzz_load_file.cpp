// fuzz_load_file: a script file through Decoder::LoadFile, the path of the C export and of
// both programs. Input: byte 0 picks the size of the reads; bytes 1-3 a repeat count (bytes
// 2-3 shifted right by byte 1, so that most files stay small: under coverage tracing a
// decode costs microseconds per word); byte 4 the length of the repeated piece and bytes
// 5-6 where it starts in the text; the rest is the text. The file is the text with that
// piece repeated, so a few bytes of input make lines and records that cross many reads and
// reach the 65535-byte limit of a record. Checks: the file decodes as the same text given
// whole does, whatever the reads; the C export reports and hands out the same; a byte
// order mark in front of a small file changes nothing; every warning is safe to print.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decoder.h"
#include "fuzz_support.h"
#include "library_state.h"
#include "quassel.h"

namespace {

using quassel::Decoder;
using quassel::LoadResult;

constexpr size_t kChunkSizes[] = {1, 2, 3, 7, 16, 255, 256, 4096, Decoder::kDefaultChunkSize};
constexpr size_t kMaxFileSize = size_t{3} << 16;  // room for a record at its limit
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The mark is checked in front of files up to this size: it concerns their start only.
constexpr size_t kMarkCheckedUpTo = 4096;

bool SameLoad(const Decoder& a, const LoadResult& ra, const Decoder& b, const LoadResult& rb) {
  if (ra.result != rb.result || ra.detailCode != rb.detailCode || ra.errorLine != rb.errorLine ||
      ra.commandCount != rb.commandCount || ra.maxRecordSize != rb.maxRecordSize ||
      ra.totalBytes != rb.totalBytes || !std::ranges::equal(a.Bytes(), b.Bytes()) ||
      a.Diagnostics().size() != b.Diagnostics().size()) {
    return false;
  }
  for (size_t i = 0; i < a.Diagnostics().size(); ++i) {
    if (a.Diagnostics()[i].line != b.Diagnostics()[i].line ||
        a.Diagnostics()[i].message != b.Diagnostics()[i].message) {
      return false;
    }
  }
  return true;
}

// No control character (C0, DEL, C1) and well-formed UTF-8 only: decoded code point by
// code point, each checked against the shortest form and the ranges Unicode allows.
bool SafeToPrint(std::string_view text) {
  static constexpr uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t more = lead < 0x80 ? 0 : lead < 0xC0 ? 4 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    if (more == 4 || text.size() - i <= more) return false;
    uint32_t code = lead & (0x7F >> more);
    for (size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if (code < kShortest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) return false;
    i += more + 1;
  }
  return true;
}

// The C export on the same file: what it reports and hands out, against the reference.
void CheckExport(const std::string& path, uint32_t deviceType, const Decoder& reference,
                 const LoadResult& expected) {
  constexpr uint32_t kUntouched = 0xA5A5A5A5;
  uint32_t count = kUntouched, maxSize = kUntouched, total = kUntouched;
  uint32_t detail = kUntouched, line = kUntouched;
  const uint32_t result =
      LoadConfigurationText(path.c_str(), deviceType, &count, &maxSize, &total, &detail, &line);
  fuzz::Check(result == expected.result && detail == expected.detailCode &&
              line == expected.errorLine);
  if (result != QUASSEL_OK) {
    fuzz::Check(count == kUntouched && maxSize == kUntouched && total == kUntouched);
    return;
  }
  fuzz::Check(count == expected.commandCount && maxSize == expected.maxRecordSize &&
              total == expected.totalBytes);
  // Record by record into exactly the room the load asked for.
  std::vector<uint8_t> handedOut;
  std::vector<uint8_t> room(maxSize);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t capacity = maxSize;
    fuzz::Check(GetNextConfigCommand(room.data(), &capacity) == QUASSEL_OK);
    handedOut.insert(handedOut.end(), room.begin(), room.begin() + capacity);
  }
  uint32_t capacity = maxSize;
  fuzz::Check(GetNextConfigCommand(room.data(), &capacity) == QUASSEL_ALL_PROCESSED);
  fuzz::Check(std::ranges::equal(handedOut, reference.Bytes()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile scratch("fuzz_load_file");
  fuzz::Input input(data, size);
  const uint8_t settings = input.Byte();
  const size_t chunkSize = kChunkSizes[settings % std::size(kChunkSizes)];
  const size_t scale = input.Byte() % 32;
  const size_t count = input.Word();
  const size_t repeat = scale < 16 ? count >> scale : 0;
  const size_t pieceLength = input.Byte();
  const size_t pieceAt = input.Word();
  const std::string_view text = input.Rest();

  const size_t at = std::min(pieceAt, text.size());
  const std::string_view piece = text.substr(at, pieceLength);
  std::string file(text.substr(0, at));
  for (size_t i = 0; i < repeat && file.size() + piece.size() <= kMaxFileSize; ++i) file += piece;
  file += text.substr(at);

  Decoder reference;
  const LoadResult expected = reference.LoadText(file);

  Decoder fromFile;
  fromFile.SetChunkSize(chunkSize);
  const LoadResult loaded = fromFile.LoadFile(scratch.Write(file), settings >> 6);
  fuzz::Check(SameLoad(fromFile, loaded, reference, expected));
  CheckExport(scratch.Path(), settings >> 6, reference, expected);
  fuzz::ReleaseLibraryState();

  if (!file.starts_with(kByteOrderMark) && file.size() <= kMarkCheckedUpTo) {
    Decoder marked;
    const LoadResult withMark = marked.LoadText(std::string(kByteOrderMark) + file);
    fuzz::Check(SameLoad(marked, withMark, reference, expected));
  }
  for (const quassel::Diagnostic& diagnostic : reference.Diagnostics()) {
    fuzz::Check(SafeToPrint(diagnostic.message));
  }
  return 0;
}
