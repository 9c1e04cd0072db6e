#include "sim/reader_model.h"

#include <gtest/gtest.h>

#include <cstring>

#include "link/frame.h"
#include "link/reader_requests.h"

namespace kavonel::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Fixed(uint8_t command, uint8_t sub) {
  Bytes b(16);
  BuildFixedFrame(b.data(), command, sub);
  return b;
}

Bytes WithData(uint8_t command, uint8_t sub, const Bytes& data) {
  Bytes b(kScriptFrameBufferSize, 0);
  b[10] = command;
  b[11] = sub;
  b[12] = static_cast<uint8_t>(data.size() >> 8);
  b[13] = static_cast<uint8_t>(data.size() & 0xFF);
  std::memcpy(b.data() + 14, data.data(), data.size());
  b.resize(FrameScriptCommand(b.data(), static_cast<uint32_t>(data.size() + 4)));
  return b;
}

Bytes ShortVersion() {
  Bytes b(16);
  BuildShortVersionFrame(b.data());
  return b;
}

struct Splitter : ::testing::Test {
  FrameSplitter splitter{100};
  std::vector<Request> Feed(const Bytes& bytes, uint32_t now) {
    splitter.Feed(bytes.data(), bytes.size(), now);
    std::vector<Request> out;
    while (auto r = splitter.Next(now)) out.push_back(*r);
    return out;
  }
};

TEST_F(Splitter, FramesArrivingInPiecesAndBackToBack) {
  const Bytes a = WithData(0x21, 0x03, {1, 2, 3, 4, 5});
  const Bytes b = ShortVersion();
  const Bytes c = Fixed(0x18, 0x01);
  Bytes all = a;
  all.insert(all.end(), b.begin(), b.end());
  all.insert(all.end(), c.begin(), c.end());
  std::vector<Request> got;
  for (size_t i = 0; i < all.size(); i += 7) {
    const Bytes piece(all.begin() + static_cast<long>(i),
                      all.begin() + static_cast<long>(std::min(all.size(), i + 7)));
    for (Request& r : Feed(piece, 0)) got.push_back(r);
  }
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].kind, RequestKind::kLong);
  EXPECT_EQ(got[0].bytes, a);
  EXPECT_TRUE(got[0].crcOk);
  EXPECT_EQ(got[1].kind, RequestKind::kShort);
  EXPECT_EQ(got[1].command, 0x29);
  EXPECT_TRUE(got[1].crcOk);
  EXPECT_EQ(got[2].bytes, c);
  EXPECT_EQ(splitter.Pending(), 0u);
}

TEST_F(Splitter, BadTagRunsAsFarAsItsLengthAndTheNextFrameStillCounts) {
  Bytes bad = Fixed(0x18, 0x01);
  bad[0] = 'X';
  Bytes all = bad;
  const Bytes good = Fixed(0x04, 0x09);
  all.insert(all.end(), good.begin(), good.end());
  const std::vector<Request> got = Feed(all, 0);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, RequestKind::kBadTag);
  EXPECT_EQ(got[0].bytes.size(), 16u);
  EXPECT_EQ(got[1].kind, RequestKind::kLong);
  EXPECT_EQ(got[1].command, 0x04);
}

TEST_F(Splitter, NoiseBeforeAFrameIsCutAtTheTag) {
  Bytes all = {0x00, 0xFF, 0x13};
  const Bytes good = Fixed(0x18, 0x01);
  all.insert(all.end(), good.begin(), good.end());
  const std::vector<Request> got = Feed(all, 0);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].kind, RequestKind::kBadTag);
  EXPECT_EQ(got[0].bytes.size(), 3u);
  EXPECT_EQ(got[1].bytes, good);
}

TEST_F(Splitter, UnfinishedFrameIsGivenUpAfterTheIdleGap) {
  Bytes frame = WithData(0x21, 0x03, Bytes(40, 7));
  frame.resize(30);
  EXPECT_TRUE(Feed(frame, 1000).empty());
  EXPECT_EQ(splitter.MsUntilIdle(1050), 50);
  EXPECT_FALSE(splitter.Next(1099));
  const std::optional<Request> r = splitter.Next(1100);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->kind, RequestKind::kIncomplete);
  EXPECT_EQ(splitter.MsUntilIdle(1100), -1);
}

TEST_F(Splitter, CorruptedCrcIsFound) {
  Bytes frame = Fixed(0x18, 0x01);
  frame[15] ^= 1;
  const std::vector<Request> got = Feed(frame, 0);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].crcOk);
}

Bytes AnswerOf(ReaderOptions options, const Bytes& request) {
  FrameSplitter s;
  s.Feed(request.data(), request.size(), 0);
  std::optional<Request> r = s.Next(0);
  if (!r) r = s.Next(1000);
  ReaderModel model(std::move(options));
  return model.Answer(*r);
}

TEST(Reader, ConfigurationAndFixedRequestsAnswerStatusZeroEchoingTheCommand) {
  for (const Bytes& request : {Fixed(0x18, 0x01), Fixed(0x04, 0x09), Fixed(0x77, 0x05),
                               WithData(0x21, 0x03, Bytes(300, 1))}) {
    const Bytes answer = AnswerOf({}, request);
    ASSERT_EQ(answer.size(), 16u);
    EXPECT_EQ(answer[10], request[10]);
    EXPECT_EQ(answer[11], 0);
    EXPECT_EQ(FrameCrc(answer.data(), 14), answer[14] | answer[15] << 8);
  }
}

TEST(Reader, BadTagAndBadCrcGetTheirStatus) {
  Bytes badTag = Fixed(0x18, 0x01);
  badTag[3] = 'x';
  EXPECT_EQ(AnswerOf({}, badTag)[11], 0x01);
  Bytes badCrc = Fixed(0x18, 0x01);
  badCrc[14] ^= 0x40;
  EXPECT_EQ(AnswerOf({}, badCrc)[11], 0x04);
}

TEST(Reader, VersionAnswersOfEachTypeCarryTheirText) {
  ReaderOptions lark;
  lark.readerType = 0;
  Bytes answer = AnswerOf(lark, ShortVersion());
  ASSERT_EQ(answer.size(), 41u);
  answer.resize(kVersionBufferSize, 0);
  EXPECT_EQ(FirmwareVersionText(kReaderLark, answer.data()), "1.07.3");

  ReaderOptions tern;
  answer = AnswerOf(tern, Fixed(0x09, 0x20));
  ASSERT_EQ(answer.size(), 70u);
  answer.resize(kVersionBufferSize, 0);
  EXPECT_EQ(FirmwareVersionText(kReaderTern, answer.data()), "2.4.1");

  ReaderOptions heron;
  heron.readerType = 3;
  answer = AnswerOf(heron, Fixed(0x29, 0x00));
  ASSERT_EQ(answer.size(), 16u + 11);
  EXPECT_EQ(answer[13], 11);
  EXPECT_EQ(std::string(answer.begin() + 14, answer.begin() + 25), "HERON 3.2.0");
}

TEST(Reader, ReadersThatDoNotKnowTheShortHeaderAnswerBadTag) {
  ReaderOptions tern;
  EXPECT_EQ(AnswerOf(tern, ShortVersion())[11], 0x01);
}

TEST(Reader, MisbehaviourOptions) {
  ReaderOptions o;
  o.truncateAnswers = 10;
  o.staleBytes = 20;
  const Bytes answer = AnswerOf(o, Fixed(0x18, 0x01));
  ASSERT_EQ(answer.size(), 30u);
  EXPECT_EQ(answer[10 + 10], 0xEE);  // stale bytes look like an answer that failed

  ReaderOptions heron;
  heron.readerType = 3;
  heron.heronDeclaredLength = 0xFFFF;
  const Bytes long_ = AnswerOf(heron, Fixed(0x29, 0x00));
  EXPECT_EQ(long_[12], 0xFF);
  EXPECT_EQ(long_[13], 0xFF);
}

TEST(Reader, StatusRulesByCommandAndOccurrence) {
  ReaderOptions o;
  o.statusRules = {*ParseStatusRule("04:09=05"), *ParseStatusRule("18:*=09@2")};
  ReaderModel model(o);
  auto ask = [&](const Bytes& request) {
    FrameSplitter s;
    s.Feed(request.data(), request.size(), 0);
    return model.Answer(*s.Next(0))[11];
  };
  EXPECT_EQ(ask(Fixed(0x04, 0x09)), 0x05);
  EXPECT_EQ(ask(Fixed(0x04, 0x08)), 0x00);
  EXPECT_EQ(ask(Fixed(0x18, 0x01)), 0x00);
  EXPECT_EQ(ask(Fixed(0x18, 0x01)), 0x09);
  EXPECT_EQ(ask(Fixed(0x18, 0x01)), 0x00);
}

TEST(StatusRule, Parsing) {
  const auto rule = ParseStatusRule("0x1A:*=FF@3");
  ASSERT_TRUE(rule);
  EXPECT_EQ(rule->command, 0x1A);
  EXPECT_FALSE(rule->subCommand);
  EXPECT_EQ(rule->status, 0xFF);
  EXPECT_EQ(rule->occurrence, 3u);
  for (const char* bad :
       {"", "04", "04:03", "04=03:05", "123:01=0", "04:03=5@0", "04:03=5@x", "g4:03=1", "04:03="}) {
    EXPECT_FALSE(ParseStatusRule(bad)) << bad;
  }
}

}  // namespace
}  // namespace kavonel::sim
