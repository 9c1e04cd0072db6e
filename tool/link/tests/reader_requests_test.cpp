#include "link/reader_requests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "link/fake_serial_device.h"
#include "link/frame.h"

namespace kavonel {
namespace {

using Bytes = std::vector<uint8_t>;

// A response head: tag, command, status, big-endian length.
Bytes Head(uint8_t command, uint8_t status, size_t length) {
  Bytes b = {'Z',
             'a',
             'n',
             'd',
             'r',
             'e',
             'l',
             'l',
             '2',
             0,
             command,
             status,
             static_cast<uint8_t>(length >> 8),
             static_cast<uint8_t>(length & 0xFF)};
  return b;
}

Bytes WithText(Bytes b, size_t offset, const std::string& text, size_t total) {
  b.resize(total, 0);
  std::memcpy(b.data() + offset, text.data(), text.size());
  return b;
}

class VersionExchange : public ::testing::Test {
 protected:
  VersionExchange()
      : clock(std::make_shared<FakeClock>()),
        line(std::make_shared<FakeLine>(clock)),
        port(std::make_unique<FakeSerialDevice>(line), clock),
        buffer(kVersionBufferSize, 0) {
    EXPECT_EQ(port.Open("COM1", 115200), COM_OK);
  }
  // The reader answers a complete 16-byte request with these bytes.
  void AnswerWith(Bytes answer) {
    line->onWrite = [answer](FakeLine& l, const Bytes& sent) {
      if (sent.size() == 16) l.Send(2, answer);
    };
  }
  Bytes Request(int type) {
    Bytes r(16);
    EXPECT_TRUE(BuildVersionRequest(type, r.data()));
    return r;
  }

  std::shared_ptr<FakeClock> clock;
  std::shared_ptr<FakeLine> line;
  ComPort port;
  Bytes buffer;
};

TEST_F(VersionExchange, LarkSendsTheShortRequestAndReads41Bytes) {
  AnswerWith(WithText(Head(0x29, 0, 25), 26, "LK1.07.3", 45));
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderLark, buffer.data()), COM_OK);
  Bytes shortFrame(16);
  BuildShortVersionFrame(shortFrame.data());
  EXPECT_EQ(line->written, shortFrame);
  EXPECT_EQ(line->input.size(), 4u);  // only 41 of the 45 bytes were taken
  EXPECT_EQ(buffer[41], 0);
  EXPECT_EQ(FirmwareVersionText(kReaderLark, buffer.data()), "LK1.07.3");
}

TEST_F(VersionExchange, TernCompatibilityModeOnlyPurges) {
  line->SendNow({1, 2, 3});
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderTernCompat, buffer.data()), COM_OK);
  EXPECT_TRUE(line->written.empty());
  EXPECT_EQ(line->purgeCount, 1);
  EXPECT_EQ(buffer, Bytes(kVersionBufferSize, 0));
  EXPECT_EQ(FirmwareVersionText(kReaderTernCompat, buffer.data()), std::nullopt);
}

TEST_F(VersionExchange, TernReads70BytesAndTheThirdField) {
  AnswerWith(WithText(Head(0x09, 0, 54), 14, "Tern,SN12345,FW2.4.1", 70));
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderTern, buffer.data()), COM_OK);
  EXPECT_EQ(line->written, Request(kReaderTern));
  EXPECT_EQ(line->written[10], 0x09);
  EXPECT_EQ(line->written[11], 0x20);
  EXPECT_EQ(FirmwareVersionText(kReaderTern, buffer.data()), "2.4.1");
}

TEST_F(VersionExchange, HeronReadsTheDeclaredDataAndEndsTheText) {
  Bytes answer = WithText(Head(0x29, 0, 6), 14, "HR-3.2", 22);
  answer[20] = 0x77;  // CRC bytes: the first is overwritten by the terminating zero
  answer[21] = 0x88;
  AnswerWith(answer);
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderHeron, buffer.data()), COM_OK);
  EXPECT_EQ(line->written, Request(kReaderHeron));
  EXPECT_EQ(buffer[20], 0);
  EXPECT_EQ(buffer[21], 0x88);
  EXPECT_TRUE(line->input.empty());
  EXPECT_EQ(FirmwareVersionText(kReaderHeron, buffer.data()), "HR-3.2");
}

TEST_F(VersionExchange, HeronWithEmptyDataStillReadsTheCrc) {
  AnswerWith({'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', '2', 0, 0x29, 0, 0, 0, 0x12, 0x34});
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderHeron, buffer.data()), COM_OK);
  EXPECT_TRUE(line->input.empty());
  EXPECT_EQ(FirmwareVersionText(kReaderHeron, buffer.data()), "");
}

TEST_F(VersionExchange, HeronFailureStatusReadsNoData) {
  Bytes answer = Head(0x29, 0x02, 4);
  answer.resize(22, 0x55);
  AnswerWith(answer);
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderHeron, buffer.data()), COM_OK);
  EXPECT_EQ(buffer[kStatusOffset], 0x02);
  EXPECT_EQ(line->input.size(), 8u);
}

TEST_F(VersionExchange, HeronLengthThatFillsTheBufferExactlyIsRead) {
  const size_t length = kVersionBufferSize - 16;  // 16567: data, CRC and nothing more
  Bytes answer = Head(0x29, 0, length);
  answer.resize(14 + length + 2, 'v');
  AnswerWith(answer);
  ASSERT_EQ(ExchangeFirmwareVersion(port, kReaderHeron, buffer.data()), COM_OK);
  EXPECT_EQ(FirmwareVersionText(kReaderHeron, buffer.data())->size(), length);
}

TEST_F(VersionExchange, HeronLengthThatDoesNotFitIsRefusedUnread) {
  for (size_t length : {kVersionBufferSize - 15, size_t{0xFFFF}}) {
    Bytes answer = Head(0x29, 0, length);
    answer.resize(14 + 100, 'v');
    AnswerWith(answer);
    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_EQ(ExchangeFirmwareVersion(port, kReaderHeron, buffer.data()), COM_TRANSFER_FAILED)
        << length;
    EXPECT_EQ(line->input.size(), 100u);
  }
}

TEST_F(VersionExchange, SilentReaderTimesOutAndLinkCodesPassThrough) {
  EXPECT_EQ(ExchangeFirmwareVersion(port, kReaderTern, buffer.data()), COM_TIMEOUT);
  port.Close();
  EXPECT_EQ(ExchangeFirmwareVersion(port, kReaderLark, buffer.data()), COM_NOT_OPEN);
}

TEST_F(VersionExchange, HeronDataThatStopsShortTimesOut) {
  Bytes answer = Head(0x29, 0, 40);
  answer.resize(30, 'v');
  AnswerWith(answer);
  EXPECT_EQ(ExchangeFirmwareVersion(port, kReaderHeron, buffer.data()), COM_TIMEOUT);
}

struct TernCase {
  std::string text;
  std::optional<std::string> version;
};
void PrintTo(const TernCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class TernVersionText : public ::testing::TestWithParam<TernCase> {};

TEST_P(TernVersionText, ThirdNonEmptyFieldWithoutItsPrefix) {
  Bytes buffer(kVersionBufferSize, 0);
  std::memcpy(buffer.data() + 14, GetParam().text.data(), GetParam().text.size());
  EXPECT_EQ(FirmwareVersionText(kReaderTern, buffer.data()), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(Fields, TernVersionText,
                         ::testing::Values(TernCase{"A,B,FW1.2.3", "1.2.3"},
                                           TernCase{",,A,,B,,XY9", "9"},
                                           TernCase{"Tern,SN12345,FW2.4.1,extra", "2.4.1"},
                                           TernCase{"A,B,FW", ""}, TernCase{"A,B,F", ""},
                                           TernCase{"A,B,F,", ""}, TernCase{"A,B", std::nullopt},
                                           TernCase{",,,A,,,B,,,", std::nullopt},
                                           TernCase{"", std::nullopt}, TernCase{"A,B,CDE,F", "E"}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(VersionText, UnterminatedTextStopsAtTheBufferEnd) {
  Bytes buffer(kVersionBufferSize, 'x');
  EXPECT_EQ(FirmwareVersionText(kReaderLark, buffer.data())->size(), kVersionBufferSize - 26);
  EXPECT_EQ(FirmwareVersionText(kReaderHeron, buffer.data())->size(), kVersionBufferSize - 14);
  EXPECT_EQ(FirmwareVersionText(kReaderTern, buffer.data()), std::nullopt);
  EXPECT_EQ(FirmwareVersionText(7, buffer.data()), std::nullopt);
}

TEST(VersionRequest, EachTypeAsksItsOwnWay) {
  uint8_t request[16];
  EXPECT_FALSE(BuildVersionRequest(kReaderTernCompat, request));
  ASSERT_TRUE(BuildVersionRequest(kReaderHeron, request));
  uint8_t expected[16];
  BuildFixedFrame(expected, 0x29, 0x00);
  EXPECT_EQ(0, std::memcmp(request, expected, 16));
}

}  // namespace
}  // namespace kavonel
