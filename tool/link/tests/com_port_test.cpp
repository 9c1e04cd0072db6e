// The port logic against the in-memory line: every time-out, the purge, failures.
// The fake clock moves only while the port waits, so a 60 s time-out costs nothing.
#include "link/com_port.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "link/fake_serial_device.h"

namespace kavonel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Sequence(size_t n, uint8_t first = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

class ComPortTest : public ::testing::Test {
 protected:
  explicit ComPortTest(uint32_t clockStart = 1000)
      : clock(std::make_shared<FakeClock>(clockStart)),
        line(std::make_shared<FakeLine>(clock)),
        port(std::make_unique<FakeSerialDevice>(line), clock) {}

  void OpenPort() { ASSERT_EQ(port.Open("COM1", 115200), COM_OK); }
  uint32_t Elapsed(uint32_t since) const { return clock->NowMs() - since; }
  // The reader sends bytes one by one, each gap[i] ms after the previous one.
  void Trickle(const Bytes& bytes, const std::vector<uint32_t>& gaps) {
    uint32_t at = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      at += gaps[i];
      line->Send(at, {bytes[i]});
    }
  }

  std::shared_ptr<FakeClock> clock;
  std::shared_ptr<FakeLine> line;
  ComPort port;
};

TEST(BaudRate, AcceptedSetOnly) {
  for (int rate : {110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
    EXPECT_TRUE(IsAcceptedBaudRate(rate)) << rate;
  }
  for (int rate : {0, -9600, 14400, 230400, 9601, 115201})
    EXPECT_FALSE(IsAcceptedBaudRate(rate)) << rate;
}

TEST_F(ComPortTest, RefusedBaudRateLeavesThePortUntouched) {
  EXPECT_EQ(port.Open("COM1", 14400), COM_BAD_BAUD_RATE);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(line->openCount, 0);
  EXPECT_EQ(port.Open("COM1", 4800), COM_OK);
  EXPECT_EQ(line->baudRate, 4800);
  EXPECT_EQ(line->openedPath, DevicePathForPort("COM1"));
}

TEST_F(ComPortTest, SecondOpenIsRefusedWithoutTouchingTheOpenPort) {
  OpenPort();
  line->existingPaths.insert(DevicePathForPort("ttyUSB0"));
  EXPECT_EQ(port.Open("ttyUSB0", 9600), COM_OPEN_FAILED);
  EXPECT_EQ(line->openCount, 1);
  EXPECT_EQ(line->openedPath, DevicePathForPort("COM1"));
  EXPECT_EQ(line->baudRate, 115200);
  EXPECT_TRUE(port.IsOpen());
  // A wrong rate is still told apart while a port is open.
  EXPECT_EQ(port.Open("COM1", 14400), COM_BAD_BAUD_RATE);
}

TEST_F(ComPortTest, MissingOrUnnamedPortFailsAndAnExistingOneOpensAfterwards) {
  EXPECT_EQ(port.Open("COM7", 115200), COM_OPEN_FAILED);
  EXPECT_EQ(port.Open("", 115200), COM_OPEN_FAILED);
  EXPECT_EQ(port.Open(std::string(5000, 'x'), 115200), COM_OPEN_FAILED);
  line->lockedPaths.insert(DevicePathForPort("COM1"));
  EXPECT_EQ(port.Open("COM1", 115200), COM_OPEN_FAILED);
  EXPECT_FALSE(port.IsOpen());
  line->lockedPaths.clear();
  EXPECT_EQ(port.Open("COM1", 115200), COM_OK);
}

TEST_F(ComPortTest, CloseEndsTransfersAndMayBeRepeated) {
  OpenPort();
  port.Close();
  port.Close();
  EXPECT_EQ(line->closeCount, 1);
  uint8_t buffer[16];
  const uint8_t one = 1;
  EXPECT_EQ(port.SendBytes(&one, 1), COM_NOT_OPEN);
  EXPECT_EQ(port.ReceiveResponseHead(buffer), COM_NOT_OPEN);
  EXPECT_EQ(port.ReceiveBytes(buffer, 16), COM_NOT_OPEN);
  EXPECT_TRUE(line->waitSlices.empty());  // refused at once, no waiting
  OpenPort();
  EXPECT_EQ(line->openCount, 2);
}

TEST_F(ComPortTest, StaleBytesArePurgedBeforeEverySend) {
  OpenPort();
  line->SendNow({0xDE, 0xAD, 0xBE, 0xEF});
  const Bytes answer = Sequence(16, 0x40);
  line->onWrite = [&](FakeLine& l, const Bytes& sent) {
    if (sent.size() == 16) l.Send(5, answer);
  };
  const Bytes request = Sequence(16);
  ASSERT_EQ(port.SendBytes(request.data(), request.size()), COM_OK);
  EXPECT_EQ(line->purgedInput, (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(line->written, request);
  Bytes got(16);
  ASSERT_EQ(port.ReceiveBytes(got.data(), 16), COM_OK);
  EXPECT_EQ(got, answer);
}

TEST_F(ComPortTest, SendingNothingOnlyPurges) {
  OpenPort();
  line->SendNow({1, 2, 3});
  EXPECT_EQ(port.SendBytes(nullptr, 0), COM_OK);
  EXPECT_EQ(line->purgeCount, 1);
  EXPECT_TRUE(line->written.empty());
  EXPECT_EQ(line->purgedInput.size(), 3u);
}

TEST_F(ComPortTest, HeadReadsSixteenBytesAndLeavesTheSurplusForThePurge) {
  OpenPort();
  const Bytes answer = Sequence(20);
  line->Send(3, answer);
  Bytes head(16);
  ASSERT_EQ(port.ReceiveResponseHead(head.data()), COM_OK);
  EXPECT_EQ(head, Bytes(answer.begin(), answer.begin() + 16));
  EXPECT_EQ(line->input.size(), 4u);
  const uint8_t next = 0x18;
  ASSERT_EQ(port.SendBytes(&next, 1), COM_OK);
  EXPECT_EQ(line->purgedInput, Bytes(answer.begin() + 16, answer.end()));
}

TEST_F(ComPortTest, ZeroBytesAnswerAtOnce) {
  OpenPort();
  EXPECT_EQ(port.ReceiveBytes(nullptr, 0), COM_OK);
  EXPECT_TRUE(line->waitSlices.empty());
}

// When the reader's bytes arrive, and what the receive must answer.
struct TimingCase {
  const char* name;
  bool head;                   // ReceiveResponseHead, else ReceiveBytes of 16
  std::vector<uint32_t> gaps;  // ms before each byte the reader sends
  uint8_t expected;
  uint32_t failsAt;  // on COM_TIMEOUT: ms from the start of the receive
};
void PrintTo(const TimingCase& c, std::ostream* os) {
  *os << c.name;
}

class ReceiveTiming : public ComPortTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(ReceiveTiming, DeadlinesPerByte) {
  const TimingCase& c = GetParam();
  OpenPort();
  Trickle(Sequence(c.gaps.size()), c.gaps);
  const uint32_t start = clock->NowMs();
  Bytes got(16, 0xAA);
  const uint8_t result =
      c.head ? port.ReceiveResponseHead(got.data()) : port.ReceiveBytes(got.data(), 16);
  EXPECT_EQ(result, c.expected);
  if (result == COM_OK) {
    EXPECT_EQ(got, Sequence(16));
  } else {
    EXPECT_EQ(got, Bytes(16, 0));  // a failed receive hands back nothing
    EXPECT_EQ(Elapsed(start), c.failsAt);
  }
}

std::vector<uint32_t> Gaps(uint32_t first, uint32_t rest, size_t count) {
  std::vector<uint32_t> g(count, rest);
  if (count) g[0] = first;
  return g;
}

INSTANTIATE_TEST_SUITE_P(
    Port, ReceiveTiming,
    ::testing::Values(
        // A byte that arrives as its deadline ends still counts; one a millisecond
        // later does not. Each further byte has its own deadline from the one before.
        TimingCase{"HeadSilent", true, {}, COM_TIMEOUT, 60001},
        TimingCase{"HeadFirstByteAtTheLimit", true, Gaps(60001, 0, 16), COM_OK, 0},
        TimingCase{"HeadFirstByteLate", true, {60002}, COM_TIMEOUT, 60001},
        TimingCase{"HeadStopsAfterTen", true, Gaps(5, 1, 10), COM_TIMEOUT, 14 + 201},
        TimingCase{"HeadSlowButSteady", true, Gaps(100, 201, 16), COM_OK, 0},
        TimingCase{"HeadOneGapTooLong", true, {1, 1, 1, 202}, COM_TIMEOUT, 3 + 201},
        TimingCase{"BytesSilent", false, {}, COM_TIMEOUT, 10001},
        TimingCase{"BytesEachAtTheLimit", false, Gaps(10001, 10001, 16), COM_OK, 0},
        TimingCase{"BytesStopAfterTen", false, Gaps(5, 1, 10), COM_TIMEOUT, 14 + 10001},
        TimingCase{"BytesOneGapTooLong", false, {1, 10002}, COM_TIMEOUT, 1 + 10001}),
    [](const auto& info) { return std::string(info.param.name); });

class WrappingClock : public ComPortTest {
 protected:
  WrappingClock() : ComPortTest(0xFFFFFFFFu - 30000) {}
};

TEST_F(WrappingClock, WrapNeitherShortensNorLengthensADeadline) {
  OpenPort();
  const uint32_t start = clock->NowMs();
  uint8_t head[16];
  EXPECT_EQ(port.ReceiveResponseHead(head), COM_TIMEOUT);
  EXPECT_EQ(Elapsed(start), 60001u);
  // Bytes that trickle across the wrap are all taken.
  line->Send(29990, Sequence(8));
  line->Send(30150, Sequence(8, 9));
  EXPECT_EQ(port.ReceiveResponseHead(head), COM_OK);
}

struct FailCase {
  const char* name;
  IoStatus status;
  uint8_t expected;
};
void PrintTo(const FailCase& c, std::ostream* os) {
  *os << c.name;
}

class FailingRead : public ComPortTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailingRead, FirstFailingByteGivesTheResult) {
  OpenPort();
  line->Send(1, Sequence(16));
  line->FailReadAt(5, GetParam().status);
  Bytes got(16, 0xAA);
  EXPECT_EQ(port.ReceiveBytes(got.data(), 16), GetParam().expected);
  EXPECT_EQ(got, Bytes(16, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Port, FailingRead,
    ::testing::Values(FailCase{"NotStarted", IoStatus::kNotStarted, COM_READ_NOT_STARTED},
                      FailCase{"Failed", IoStatus::kFailed, COM_TRANSFER_FAILED},
                      FailCase{"HangUp", IoStatus::kHangUp, COM_TRANSFER_FAILED}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComPortTest, FailingWriteEndsTheSendAndKeepsWhatWasWritten) {
  OpenPort();
  line->FailWriteAt(3, IoStatus::kFailed);
  const Bytes request = Sequence(16);
  EXPECT_EQ(port.SendBytes(request.data(), request.size()), COM_TRANSFER_FAILED);
  EXPECT_EQ(line->written, Bytes(request.begin(), request.begin() + 3));
}

TEST_F(ComPortTest, WriteThatMakesNoProgressFailsAfterTheStallTime) {
  OpenPort();
  line->FailWriteAt(4, IoStatus::kWouldBlock);
  const Bytes request = Sequence(16);
  const uint32_t start = clock->NowMs();
  EXPECT_EQ(port.SendBytes(request.data(), request.size()), COM_TRANSFER_FAILED);
  EXPECT_EQ(Elapsed(start), 10001u);
  EXPECT_EQ(line->written.size(), 4u);
}

TEST_F(ComPortTest, HangUpFailsAWaitingReceiveAtOnce) {
  OpenPort();
  line->Send(10, Sequence(3));
  line->HangUp(50);
  const uint32_t start = clock->NowMs();
  uint8_t head[16];
  EXPECT_EQ(port.ReceiveResponseHead(head), COM_TRANSFER_FAILED);
  EXPECT_EQ(Elapsed(start), 50u);
}

TEST_F(ComPortTest, HangUpFailsAStalledWriteAtOnce) {
  OpenPort();
  line->FailWriteAt(2, IoStatus::kWouldBlock);
  line->HangUp(300);
  const Bytes request = Sequence(16);
  const uint32_t start = clock->NowMs();
  EXPECT_EQ(port.SendBytes(request.data(), request.size()), COM_TRANSFER_FAILED);
  EXPECT_EQ(Elapsed(start), 300u);
}

TEST_F(ComPortTest, WaitHookRunsAtLeastEveryTwentyMsOnItsOwnThread) {
  OpenPort();
  int calls = 0;
  port.SetWaitHook([&] { ++calls; });
  uint8_t buffer[16];
  EXPECT_EQ(port.ReceiveBytes(buffer, 16), COM_TIMEOUT);
  EXPECT_GE(calls, 10000 / 20 - 1);
  for (uint32_t slice : line->waitSlices) ASSERT_LE(slice, 20u);
}

TEST_F(ComPortTest, WaitHookNeverRunsOnAnotherThread) {
  OpenPort();
  int calls = 0;
  port.SetWaitHook([&] { ++calls; });
  uint8_t result = 0;
  std::thread worker([&] {
    uint8_t buffer[16];
    result = port.ReceiveBytes(buffer, 16);
  });
  worker.join();
  EXPECT_EQ(result, COM_TIMEOUT);
  EXPECT_EQ(calls, 0);
  // Without a hook to serve, the wait is one sleep, not a loop of short ones.
  EXPECT_LE(line->waitSlices.size(), 2u);
}

TEST_F(ComPortTest, AHookForOnceRunsOncePerTransferAndTheRestOfTheWaitIsOneSleep) {
  OpenPort();
  int calls = 0;
  port.SetWaitHook([&] { ++calls; }, ComPort::HookRepeat::kOncePerTransfer);
  uint8_t buffer[16];
  const uint32_t start = clock->NowMs();
  EXPECT_EQ(port.ReceiveBytes(buffer, 16), COM_TIMEOUT);
  EXPECT_GE(Elapsed(start), 10000u);  // the time-out is not cut short
  EXPECT_EQ(calls, 1);
  ASSERT_FALSE(line->waitSlices.empty());
  EXPECT_LE(line->waitSlices.front(), 20u);  // it runs once the wait has lasted 20 ms
  EXPECT_LE(line->waitSlices.size(), 3u);
  // The next transfer, a stalled write, runs it again.
  line->FailWriteAt(0, IoStatus::kWouldBlock);
  const uint8_t one = 1;
  EXPECT_EQ(port.SendBytes(&one, 1), COM_TRANSFER_FAILED);
  EXPECT_EQ(calls, 2);
}

// Many readers at once keep each other waiting beyond 20 ms at every answer: their hook
// waits for a wait an operator would notice.
TEST_F(ComPortTest, AHookForLongWaitsRunsOnceAQuarterSecondIn) {
  ComTimeouts timeouts;
  timeouts.hookInterval = std::chrono::milliseconds(250);
  ComPort patient(std::make_unique<FakeSerialDevice>(line), clock, timeouts);
  ASSERT_EQ(patient.Open("COM1", 115200), COM_OK);
  int calls = 0;
  patient.SetWaitHook([&] { ++calls; }, ComPort::HookRepeat::kOncePerTransfer);
  uint8_t buffer[16];
  EXPECT_EQ(patient.ReceiveBytes(buffer, 16), COM_TIMEOUT);
  EXPECT_EQ(calls, 1);
  ASSERT_FALSE(line->waitSlices.empty());
  EXPECT_EQ(line->waitSlices.front(), 250u);
  EXPECT_LE(line->waitSlices.size(), 3u);
}

TEST_F(ComPortTest, WaitHookAlsoRunsWhileAWriteIsStalled) {
  OpenPort();
  int calls = 0;
  port.SetWaitHook([&] { ++calls; });
  line->FailWriteAt(0, IoStatus::kWouldBlock);
  const uint8_t one = 1;
  EXPECT_EQ(port.SendBytes(&one, 1), COM_TRANSFER_FAILED);
  EXPECT_GE(calls, 10000 / 20 - 1);
}

TEST_F(ComPortTest, BytesThatCameWhileASlowHookRanStillCount) {
  OpenPort();
  // The window was busy for 15 s inside the hook; the answer came after 30 ms.
  port.SetWaitHook([&] { clock->Advance(15000); });
  line->Send(30, Sequence(16));
  Bytes got(16);
  EXPECT_EQ(port.ReceiveBytes(got.data(), 16), COM_OK);
  EXPECT_EQ(got, Sequence(16));
}

TEST_F(ComPortTest, WaitHookRunsEvenWhenBytesKeepTrickling) {
  OpenPort();
  int calls = 0;
  port.SetWaitHook([&] { ++calls; });
  Trickle(Sequence(16), Gaps(15, 15, 16));  // never a 20 ms gap
  uint8_t head[16];
  EXPECT_EQ(port.ReceiveResponseHead(head), COM_OK);
  EXPECT_GE(calls, 240 / 20 - 1);
}

}  // namespace
}  // namespace kavonel
