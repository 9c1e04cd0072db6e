// Data words are decoded sixteen characters at a time where the processor allows; this
// compares every outcome with a plain word-by-word reading of the same line, over many
// random lines that mix digits, blanks, foreign characters, comments and `end`.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder.h"
#include "test_support.h"

namespace quassel {
namespace {

struct Outcome {
  uint32_t detail = 0;  // 0 for success
  std::vector<uint8_t> data;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The body of `group set <line>`, read word by word as the language says. Words after
// `end` stand at statement level, where the generator's words are all skipped.
Outcome Reference(const std::string& line) {
  Outcome outcome;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size()) break;
    size_t end = pos;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    const std::string word = line.substr(pos, end - pos);
    pos = end;
    if (word[0] == ';') break;
    if (word == "end" || word == "END" || word == "End") break;
    if (word.size() % 2 != 0) return {kDetailInvalidValue, {}};
    for (size_t i = 0; i < word.size(); i += 2) {
      const int high = HexValue(word[i]);
      const int low = HexValue(word[i + 1]);
      if (high < 0 || low < 0) return {kDetailNotHex, {}};
      outcome.data.push_back(static_cast<uint8_t>(high * 16 + low));
    }
  }
  return outcome;
}

std::string RandomLine(std::mt19937& random) {
  static const std::vector<std::string> pieces = {"0",
                                                  "1",
                                                  "9",
                                                  "a",
                                                  "F",
                                                  "c",
                                                  "00",
                                                  "9F1A",
                                                  "DEADbeef",
                                                  "0123456789abcdef",
                                                  "0123456789ABCDEF0123",
                                                  " ",
                                                  " ",
                                                  " ",
                                                  "\t",
                                                  "\r",
                                                  "  ",
                                                  "x",
                                                  "G",
                                                  ";",
                                                  "; note",
                                                  "end",
                                                  "END",
                                                  "End",
                                                  "0x",
                                                  "z9"};
  std::uniform_int_distribution<size_t> count(0, 24);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::string line;
  for (size_t n = count(random); n > 0; --n) line += pieces[pick(random)];
  return line;
}

TEST(HexRun, AgreesWithWordByWordReading) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 30000; ++round) {
    const std::string line = RandomLine(random);
    const Outcome expected = Reference(line);
    Decoder decoder;
    const std::string script = "group set " + line;
    const LoadResult result = decoder.LoadText(script);
    // Read from a stream (in chunks, with room to look past a line's end): the same.
    std::istringstream stream(script);
    Decoder fromStream;
    const LoadResult streamed = fromStream.LoadStream(stream);
    EXPECT_EQ(streamed.result, result.result) << "[" << line << "]";
    EXPECT_EQ(streamed.detailCode, result.detailCode) << "[" << line << "]";
    EXPECT_TRUE(std::ranges::equal(fromStream.Bytes(), decoder.Bytes())) << "[" << line << "]";
    if (expected.detail != 0) {
      EXPECT_EQ(result.result, kScriptFormatError) << "[" << line << "]";
      EXPECT_EQ(result.detailCode, expected.detail) << "[" << line << "]";
      continue;
    }
    ASSERT_EQ(result.result, kOk) << "[" << line << "] detail " << std::hex << result.detailCode;
    ASSERT_FALSE(decoder.Records().empty());
    EXPECT_EQ(test::Hex(decoder.Records()[0].data), test::Hex(expected.data)) << "[" << line << "]";
  }
}

}  // namespace
}  // namespace quassel
