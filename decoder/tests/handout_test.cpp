// Hand-outs and their cursor, loading from files and streams, and running out of memory.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "decoder.h"
#include "test_support.h"

namespace quassel {
namespace {

using test::Hex;
using test::HexWord;

// Two records: 5 bytes, then 12 bytes.
constexpr const char* kTwoRecords =
    "pollmode set 01 end\nrevocation list add\n0102030405060708\nend\n";

std::string Next(Decoder& decoder, uint32_t capacity, uint32_t* result) {
  std::vector<uint8_t> room(capacity + 8, 0xEE);
  uint32_t size = capacity;
  *result = decoder.NextCommand(room.data(), &size);
  if (*result != kOk) {
    EXPECT_EQ(size, capacity) << "capacity changed by a failed hand-out";
    EXPECT_EQ(room[0], 0xEE) << "bytes written by a failed hand-out";
    return {};
  }
  EXPECT_EQ(room[size], 0xEE) << "written past the record";
  room.resize(size);
  return Hex(room);
}

TEST(NextCommand, HandsOutEachRecordOnceThenAllProcessed) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  uint32_t result = 0;
  EXPECT_EQ(Next(decoder, 12, &result), "01 01 00 01 01");
  EXPECT_EQ(Next(decoder, 12, &result), "84 04 00 08 01 02 03 04 05 06 07 08");
  Next(decoder, 12, &result);
  EXPECT_EQ(result, kAllProcessed);
  Next(decoder, 12, &result);
  EXPECT_EQ(result, kAllProcessed);
}

TEST(NextCommand, TooLittleRoomLeavesTheCursor) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText("configuration set end pollmode set 01 end").result, kOk);
  uint32_t result = 0;
  Next(decoder, 3, &result);
  EXPECT_EQ(result, kNotEnoughMemory);
  EXPECT_EQ(decoder.ReadCursor(), 0u);
  EXPECT_EQ(Next(decoder, 4, &result), "04 00 00 00");
  Next(decoder, 4, &result);
  EXPECT_EQ(result, kNotEnoughMemory);
  EXPECT_EQ(Next(decoder, 5, &result), "01 01 00 01 01");
}

TEST(AllCommands, NeedsRoomForTheWholeBufferAndRewinds) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  uint32_t result = 0;
  Next(decoder, 12, &result);
  Next(decoder, 12, &result);

  std::array<uint8_t, 20> all{};
  uint32_t size = 16;
  EXPECT_EQ(decoder.AllCommands(all.data(), &size), kNotEnoughMemory);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(all[0], 0);
  size = 17;
  EXPECT_EQ(decoder.AllCommands(all.data(), &size), kOk);
  EXPECT_EQ(size, 17u);
  EXPECT_EQ(Hex(std::span(all).first(17)), Hex(decoder.Bytes()));
  EXPECT_EQ(Next(decoder, 12, &result), "01 01 00 01 01");
}

TEST(Handouts, AnEmptyLoadHandsOutNothing) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText("; nothing").result, kOk);
  uint32_t result = 0;
  Next(decoder, 100, &result);
  EXPECT_EQ(result, kAllProcessed);
  uint8_t byte = 0xEE;
  uint32_t size = 0;
  EXPECT_EQ(decoder.AllCommands(&byte, &size), kOk);
  EXPECT_EQ(size, 0u);
}

TEST(Handouts, NothingBeforeAnyLoad) {
  Decoder decoder;
  uint8_t room[16];
  uint32_t size = sizeof room;
  EXPECT_EQ(decoder.NextCommand(room, &size), kAllProcessed);
  EXPECT_EQ(size, sizeof room);
  // The empty buffer copies as zero bytes.
  EXPECT_EQ(decoder.AllCommands(room, &size), kOk);
  EXPECT_EQ(size, 0u);
}

TEST(Handouts, NothingOfAnEarlierLoadAfterAFailedOne) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  ASSERT_EQ(decoder.LoadText("pollmode set 01 end\ngroup set 9G end").result, kScriptFormatError);
  uint8_t room[64];
  uint32_t size = sizeof room;
  EXPECT_EQ(decoder.NextCommand(room, &size), kAllProcessed);
  EXPECT_EQ(decoder.AllCommands(room, &size), kAllProcessed);
  EXPECT_EQ(size, sizeof room);
  EXPECT_TRUE(decoder.Records().empty());
  // A good load afterwards hands out again from its first record.
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  EXPECT_EQ(decoder.NextCommand(room, &size), kOk);
  EXPECT_EQ(size, 5u);
}

TEST(Handouts, NullPointersAreRefused) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  uint8_t room[64];
  uint32_t size = sizeof room;
  EXPECT_EQ(decoder.NextCommand(nullptr, &size), kInvalidParameter);
  EXPECT_EQ(decoder.NextCommand(room, nullptr), kInvalidParameter);
  EXPECT_EQ(decoder.AllCommands(nullptr, &size), kInvalidParameter);
  EXPECT_EQ(decoder.AllCommands(room, nullptr), kInvalidParameter);
  EXPECT_EQ(size, sizeof room);
  EXPECT_EQ(decoder.ReadCursor(), 0u);
}

TEST(Memory, ABufferThatCannotGrowStopsTheLoad) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  decoder.SetByteLimit(16);
  const LoadResult result = decoder.LoadText(kTwoRecords);
  EXPECT_EQ(result.result, kNotEnoughMemory);
  EXPECT_EQ(result.detailCode, 0u);
  EXPECT_EQ(result.errorLine, 0u);
  EXPECT_TRUE(decoder.Bytes().empty());
  uint8_t room[64];
  uint32_t size = sizeof room;
  EXPECT_EQ(decoder.NextCommand(room, &size), kAllProcessed);
  // Exactly enough room is enough, also when the record header is what does not fit.
  decoder.SetByteLimit(17);
  EXPECT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  decoder.SetByteLimit(7);
  EXPECT_EQ(decoder.LoadText(kTwoRecords).result, kNotEnoughMemory);
}

TEST(Memory, ABigLoadGrowsTheBufferBeyondItsFirstRoom) {
  std::string script;
  for (int i = 0; i < 2000; ++i) script += "exception list add\n" + HexWord(40) + "\nend\n";
  Decoder decoder;
  const LoadResult result = decoder.LoadText(script);
  ASSERT_EQ(result.result, kOk);
  EXPECT_EQ(result.commandCount, 2000u);
  EXPECT_EQ(result.totalBytes, 2000u * 44);
  EXPECT_EQ(decoder.Records().back().data.size(), 40u);
}

// A script of several chunks, with lines that straddle the chunk seams.
std::string LargeScript() {
  std::string script;
  for (int i = 0; script.size() < (5u << 20) / 2; ++i) {
    script += "group set ; record " + std::to_string(i) + "\n";
    script += HexWord(static_cast<size_t>(i % 700 + 1), "C3") + "\r\nend\n";
  }
  return script;
}

class TempFile {
 public:
  explicit TempFile(const std::string& text) {
    path_ = testing::TempDir() + "quassel_handout_" +
            testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

TEST(Loading, FileStreamAndTextAgree) {
  const std::string script = LargeScript() + "group set 01 end";  // last line without LF
  Decoder fromText;
  const LoadResult expected = fromText.LoadText(script);
  ASSERT_EQ(expected.result, kOk);

  TempFile file(script);
  Decoder fromFile;
  const LoadResult loaded = fromFile.LoadFile(file.Path());
  ASSERT_EQ(loaded.result, kOk);
  EXPECT_EQ(loaded.commandCount, expected.commandCount);
  EXPECT_EQ(loaded.totalBytes, expected.totalBytes);
  EXPECT_EQ(loaded.maxRecordSize, expected.maxRecordSize);
  EXPECT_TRUE(std::ranges::equal(fromFile.Bytes(), fromText.Bytes()));

  std::istringstream stream(script);
  Decoder fromStream;
  ASSERT_EQ(fromStream.LoadStream(stream).result, kOk);
  EXPECT_TRUE(std::ranges::equal(fromStream.Bytes(), fromText.Bytes()));
}

TEST(Loading, LinesAreCountedAcrossChunks) {
  std::string script = LargeScript();
  const auto lines = static_cast<uint32_t>(std::count(script.begin(), script.end(), '\n'));
  script += "group add\n";
  TempFile file(script);
  Decoder decoder;
  const LoadResult result = decoder.LoadFile(file.Path());
  EXPECT_EQ(result.result, kScriptFormatError);
  EXPECT_EQ(result.detailCode, kDetailCommandFormat);
  EXPECT_EQ(result.errorLine, lines + 1);
}

// A byte order mark is passed over at the very start only, however the reads cut it.
TEST(Loading, AByteOrderMarkAtTheStartIsPassedOver) {
  const std::string kPollmode = "01 01 00 01 01";
  const std::string kGroup = "04 03 00 01 02";
  const struct {
    std::string script;
    std::vector<std::string> records;
    size_t warnings;
  } cases[] = {
      {"\xEF\xBB\xBFpollmode set 01 end\r\ngroup set 02 end", {kPollmode, kGroup}, 0},
      {"\xEF\xBB\xBF", {}, 0},
      {"\xEF\xBB\xBF\n\xEF\xBB\xBFgroup set 02 end", {}, 4},  // the second is a word's
      {"pollmode set 01 end\n\xEF\xBB\xBFgroup set 02 end", {kPollmode}, 4},
      {"\xEF\xBB", {}, 1},                             // only the mark's beginning
      {"\xEF\xBB\xBE group set 02 end", {kGroup}, 1},  // not the mark after all
      {"\xEF\n\xBB\xBF group set 02 end", {kGroup}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(
        Hex(std::span(reinterpret_cast<const uint8_t*>(c.script.data()), c.script.size())));
    const auto expect = [&](const Decoder& decoder, const LoadResult& result, size_t chunk) {
      EXPECT_EQ(result.result, kOk) << chunk;
      EXPECT_EQ(test::RecordLines(decoder), c.records) << chunk;
      EXPECT_EQ(decoder.Diagnostics().size(), c.warnings) << chunk;
    };
    Decoder fromText;
    expect(fromText, fromText.LoadText(c.script), 0);
    TempFile file(c.script);
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, Decoder::kDefaultChunkSize}) {
      Decoder fromFile;
      fromFile.SetChunkSize(chunk);
      expect(fromFile, fromFile.LoadFile(file.Path()), chunk);
      std::istringstream stream(c.script);
      Decoder fromStream;
      fromStream.SetChunkSize(chunk);
      expect(fromStream, fromStream.LoadStream(stream), chunk);
    }
  }
}

TEST(Loading, FilesThatCannotBeOpened) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  for (const std::string& path :
       {testing::TempDir() + "quassel_no_such_script.txt", testing::TempDir(), std::string()}) {
    const LoadResult result = decoder.LoadFile(path);
    EXPECT_EQ(result.result, kFileOpenError) << path;
    EXPECT_EQ(result.detailCode, 0u);
    EXPECT_EQ(result.errorLine, 0u);
    EXPECT_TRUE(decoder.Bytes().empty());
  }
}

// A stream buffer that delivers some text and then fails, as a disk read error would.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::runtime_error("read error"); }

 private:
  std::string text_;
};

TEST(Loading, AReadFailureIsAFormatErrorWithoutLine) {
  FailingBuffer buffer("pollmode set 01 end\ngroup set 01");
  std::istream stream(&buffer);
  Decoder decoder;
  const LoadResult result = decoder.LoadStream(stream);
  EXPECT_EQ(result.result, kScriptFormatError);
  EXPECT_EQ(result.detailCode, 0u);
  EXPECT_EQ(result.errorLine, 0u);
  EXPECT_TRUE(decoder.Bytes().empty());
}

TEST(Loading, AReadFailureOfAThrowingStreamToo) {
  FailingBuffer buffer("pollmode set 01 end\n");
  std::istream stream(&buffer);
  stream.exceptions(std::ios::badbit);
  Decoder decoder;
  EXPECT_EQ(decoder.LoadStream(stream).result, kScriptFormatError);
}

TEST(Records, ViewsOfTheBuffer) {
  Decoder decoder;
  ASSERT_EQ(decoder.LoadText(kTwoRecords).result, kOk);
  const auto records = decoder.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].command, 0x84);
  EXPECT_EQ(records[1].subCommand, 0x04);
  EXPECT_EQ(Hex(records[1].data), "01 02 03 04 05 06 07 08");
  EXPECT_EQ(records[1].bytes.size(), 12u);
}

}  // namespace
}  // namespace quassel
