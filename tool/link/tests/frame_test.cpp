#include "link/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "link/reader_requests.h"

namespace kavonel {
namespace {

std::vector<uint8_t> Bytes(const uint8_t* p, size_t n) {
  return {p, p + n};
}

TEST(FrameCrc, PublishedCheckValueOfCcittFalse) {
  const std::string digits = "123456789";
  EXPECT_EQ(FrameCrc(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x29B1);
}

TEST(FrameCrc, EmptyInputIsTheInitialValue) {
  EXPECT_EQ(FrameCrc(nullptr, 0), 0xFFFF);
}

TEST(FrameCrc, MatchesBitwiseDefinitionOnEveryByteValue) {
  // The table must agree with the plain shift register for every input byte.
  for (int b = 0; b < 256; ++b) {
    uint16_t crc = 0xFFFF;
    crc ^= static_cast<uint16_t>(b << 8);
    for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    const uint8_t byte = static_cast<uint8_t>(b);
    EXPECT_EQ(FrameCrc(&byte, 1), crc) << "byte " << b;
  }
}

TEST(FixedFrame, CheckConnectionRequestIsByteExact) {
  uint8_t frame[16];
  BuildFixedFrame(frame, kCheckConnectionRequest.command, kCheckConnectionRequest.subCommand);
  const std::vector<uint8_t> expected = {0x5A, 0x61, 0x6E, 0x64, 0x72, 0x65, 0x6C, 0x6C,
                                         0x32, 0x00, 0x18, 0x01, 0x00, 0x00, 0xCA, 0x89};
  EXPECT_EQ(Bytes(frame, 16), expected);
}

TEST(FixedFrame, RebootDiffersFromCheckOnlyInCommandAndCrc) {
  uint8_t check[16], reboot[16];
  BuildFixedFrame(check, 0x18, 0x01);
  BuildFixedFrame(reboot, kRebootRequest.command, kRebootRequest.subCommand);
  for (int i = 0; i < 16; ++i) {
    if (i == 10 || i == 11 || i >= 14) continue;
    EXPECT_EQ(check[i], reboot[i]) << "offset " << i;
  }
  EXPECT_EQ(reboot[10], 0x77);
  EXPECT_EQ(reboot[11], 0x05);
  const uint16_t crc = FrameCrc(reboot, 14);
  EXPECT_EQ(reboot[14], crc & 0xFF);
  EXPECT_EQ(reboot[15], crc >> 8);
}

TEST(ShortVersionFrame, LarkRequestIsByteExact) {
  uint8_t frame[16];
  BuildShortVersionFrame(frame);
  const uint8_t head[14] = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', 0, 0x43, 0x29, 0, 0, 0};
  EXPECT_EQ(Bytes(frame, 14), Bytes(head, 14));
  const uint16_t crc = FrameCrc(head, 14);
  EXPECT_EQ(frame[14], crc & 0xFF);
  EXPECT_EQ(frame[15], crc >> 8);
}

struct ScriptCase {
  std::vector<uint8_t> record;
  size_t frameLength;
};
void PrintTo(const ScriptCase& c, std::ostream* os) {
  *os << c.record.size() << "-byte record";
}

class ScriptFrame : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptFrame, TagInFrontRecordInPlaceCrcBehindLowByteFirst) {
  const ScriptCase& c = GetParam();
  std::array<uint8_t, kScriptFrameBufferSize> buffer{};
  std::memcpy(buffer.data() + 10, c.record.data(), c.record.size());
  const size_t length = FrameScriptCommand(buffer.data(), static_cast<uint32_t>(c.record.size()));
  ASSERT_EQ(length, c.frameLength);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 10),
            std::string("Zandrell2\0", 10));
  EXPECT_EQ(Bytes(buffer.data() + 10, c.record.size()), c.record);
  const uint16_t crc = FrameCrc(buffer.data(), length - 2);
  EXPECT_EQ(buffer[length - 2], crc & 0xFF);
  EXPECT_EQ(buffer[length - 1], crc >> 8);
  // Nothing behind the frame is touched.
  for (size_t i = length; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0) << "offset " << i;
}

std::vector<uint8_t> RecordOf(size_t dataLength) {
  std::vector<uint8_t> r = {0x21, 0x03, static_cast<uint8_t>(dataLength >> 8),
                            static_cast<uint8_t>(dataLength & 0xFF)};
  for (size_t i = 0; i < dataLength; ++i) r.push_back(static_cast<uint8_t>(i * 7 + 1));
  return r;
}

INSTANTIATE_TEST_SUITE_P(Lengths, ScriptFrame,
                         ::testing::Values(ScriptCase{RecordOf(0), 16}, ScriptCase{RecordOf(1), 17},
                                           ScriptCase{RecordOf(0x0102), 0x0102 + 16},
                                           ScriptCase{RecordOf(kMaxScriptRecordSize - 4), 4096}),
                         [](const auto& info) {
                           return "Record" + std::to_string(info.param.record.size());
                         });

TEST(ScriptFrameBounds, LengthBigEndianButCrcLowByteFirst) {
  std::array<uint8_t, kScriptFrameBufferSize> buffer{};
  const std::vector<uint8_t> record = RecordOf(0x0102);
  std::memcpy(buffer.data() + 10, record.data(), record.size());
  FrameScriptCommand(buffer.data(), static_cast<uint32_t>(record.size()));
  EXPECT_EQ(buffer[12], 0x01);
  EXPECT_EQ(buffer[13], 0x02);
}

TEST(ScriptFrameBounds, RecordLongerThanTheBufferLeavesIsNotFramed) {
  std::array<uint8_t, kScriptFrameBufferSize + 8> guarded{};
  guarded.fill(0xEE);
  const size_t length =
      FrameScriptCommand(guarded.data(), static_cast<uint32_t>(kMaxScriptRecordSize + 1));
  EXPECT_EQ(length, 0u);
  for (uint8_t b : guarded) ASSERT_EQ(b, 0xEE);
  EXPECT_EQ(kMaxScriptRecordSize, 4084u);
}

TEST(ReaderStatusText, EveryCodeHasItsText) {
  const std::vector<std::pair<int, std::string>> table = {
      {0x00, "OK"},
      {0x01, "Incorrect Header Tag "},
      {0x02, "Unknown Command "},
      {0x03, "Unknown Sub-command"},
      {0x04, "CRC Error in Frame"},
      {0x05, "Incorrect Parameter"},
      {0x06, "Parameter Not Supported"},
      {0x07, "Mal-formatted Data "},
      {0x08, "Timeout "},
      {0x09, "Failed"},
      {0x0A, "Failed"},
      {0xFF, "Failed"},
  };
  for (const auto& [status, text] : table) {
    EXPECT_EQ(ReaderStatusText(static_cast<uint8_t>(status)), text) << "status " << status;
  }
}

}  // namespace
}  // namespace kavonel
