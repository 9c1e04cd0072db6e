// The link over real pseudo-terminals against reader-sim. Time-outs are shortened so a
// silent reader costs a fraction of a second; nothing here asserts on elapsed time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/com_port.h"
#include "link/frame.h"
#include "link/reader_requests.h"
#include "link/serial_device.h"
#include "sim/reader_model.h"
#include "sim/sim_process.h"

namespace kavonel {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

ComTimeouts Short() {
  ComTimeouts t;
  t.firstHeadByte = 400ms;
  t.nextHeadByte = 100ms;
  t.fixedByte = 400ms;
  t.writeStall = 400ms;
  return t;
}

std::unique_ptr<ComPort> MakePort(ComTimeouts timeouts = {}) {
  return std::make_unique<ComPort>(MakePlatformSerialDevice(), std::make_shared<SteadyClock>(),
                                   timeouts);
}

// One fixed request and its 16-byte answer; the status, or -1 with the link code.
int Exchange(ComPort& port, FixedRequest request, uint8_t* linkCode = nullptr) {
  uint8_t frame[16], answer[16];
  BuildFixedFrame(frame, request.command, request.subCommand);
  uint8_t code = port.SendBytes(frame, 16);
  if (code == COM_OK) code = port.ReceiveBytes(answer, 16);
  if (linkCode) *linkCode = code;
  if (code != COM_OK) return -1;
  EXPECT_EQ(answer[10], request.command);
  return answer[kStatusOffset];
}

struct VersionCase {
  int type;
  std::optional<std::string> text;
};
void PrintTo(const VersionCase& c, std::ostream* os) {
  *os << "type " << c.type;
}

class VersionOverPty : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionOverPty, EachReaderTypeAnswersItsOwnVersionRequest) {
  const std::string record = ::testing::TempDir() + "kavonel-version-" +
                             std::to_string(GetParam().type) + "-" + std::to_string(getpid());
  SimProcess sim({"--type", std::to_string(GetParam().type), "--record", record});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  Bytes buffer(kVersionBufferSize, 0);
  ASSERT_EQ(ExchangeFirmwareVersion(*port, GetParam().type, buffer.data()), COM_OK);
  EXPECT_EQ(buffer[kStatusOffset], 0);
  EXPECT_EQ(FirmwareVersionText(GetParam().type, buffer.data()), GetParam().text);
  port->Close();
  ASSERT_TRUE(sim.Stop());
  // Type 1 asks nothing at all; the others sent exactly their request.
  std::ifstream in(record);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::remove(record.c_str());
  Bytes request(16);
  if (BuildVersionRequest(GetParam().type, request.data())) {
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], sim::HexLine(request));
  } else {
    EXPECT_TRUE(lines.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Types, VersionOverPty,
                         ::testing::Values(VersionCase{kReaderLark, "1.07.3"},
                                           VersionCase{kReaderTernCompat, std::nullopt},
                                           VersionCase{kReaderTern, "2.4.1"},
                                           VersionCase{kReaderHeron, "HERON 3.2.0"}),
                         [](const auto& info) { return "Type" + std::to_string(info.param.type); });

TEST(LinkOverPty, ButtonRequestsAndAChosenStatus) {
  SimProcess sim({"--status", "04:09=05"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 9600), COM_OK);
  EXPECT_EQ(Exchange(*port, kCheckConnectionRequest), 0);
  EXPECT_EQ(Exchange(*port, kResetToDefaultRequest), 5);
  EXPECT_EQ(Exchange(*port, kRebootRequest), 0);
}

TEST(LinkOverPty, ScriptCommandWithDataGetsItsHead) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  std::vector<uint8_t> buffer(kScriptFrameBufferSize, 0);
  const size_t dataLength = 3000;  // more than a terminal's line buffer
  buffer[10] = 0x21;
  buffer[11] = 0x03;
  buffer[12] = dataLength >> 8;
  buffer[13] = dataLength & 0xFF;
  for (size_t i = 0; i < dataLength; ++i) buffer[14 + i] = static_cast<uint8_t>(i);
  const size_t length = FrameScriptCommand(buffer.data(), dataLength + 4);
  ASSERT_EQ(port->SendBytes(buffer.data(), length), COM_OK);
  uint8_t head[16];
  ASSERT_EQ(port->ReceiveResponseHead(head), COM_OK);
  EXPECT_EQ(head[10], 0x21);
  EXPECT_EQ(head[11], 0);
}

TEST(LinkOverPty, SilentReaderTimesOut) {
  SimProcess sim({"--silent"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  uint8_t code = 0;
  EXPECT_EQ(Exchange(*port, kCheckConnectionRequest, &code), -1);
  EXPECT_EQ(code, COM_TIMEOUT);
  uint8_t head[16];
  const uint8_t frame[16] = {};
  ASSERT_EQ(port->SendBytes(frame, 16), COM_OK);
  EXPECT_EQ(port->ReceiveResponseHead(head), COM_TIMEOUT);
}

TEST(LinkOverPty, AnswerThatStopsAfterTenBytesTimesOut) {
  SimProcess sim({"--truncate", "10"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  uint8_t frame[16], head[16];
  BuildFixedFrame(frame, 0x18, 0x01);
  ASSERT_EQ(port->SendBytes(frame, 16), COM_OK);
  EXPECT_EQ(port->ReceiveResponseHead(head), COM_TIMEOUT);
  uint8_t code = 0;
  EXPECT_EQ(Exchange(*port, kCheckConnectionRequest, &code), -1);
  EXPECT_EQ(code, COM_TIMEOUT);
}

TEST(LinkOverPty, StaleBytesAreNeverTakenForTheAnswer) {
  // Junk before the first request and behind every answer, shaped like a failed answer.
  SimProcess sim({"--stale", "16"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto device = MakePlatformSerialDevice();
  SerialDevice* line = device.get();
  ComPort port(std::move(device), std::make_shared<SteadyClock>(), Short());
  ASSERT_EQ(port.Open(sim.Path(), 115200), COM_OK);
  // The pty hands bytes on asynchronously: wait until the junk is really queued, so it is
  // the purge that must drop it, not luck in the timing.
  auto waitForJunk = [&] {
    for (int i = 0; i < 5000 && line->QueuedBytes() < 16; ++i)
      std::this_thread::sleep_for(1ms);
    ASSERT_GE(line->QueuedBytes(), 16);
  };
  for (int i = 0; i < 5; ++i) {
    waitForJunk();
    EXPECT_EQ(Exchange(port, kCheckConnectionRequest), 0) << i;
  }
}

TEST(LinkOverPty, HangUpFailsTheTransferWithoutWaitingOutTheTimeOut) {
  SimProcess sim({"--hang-up-after", "1"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort();  // full time-outs: only the hang-up can end this quickly
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  EXPECT_EQ(Exchange(*port, kCheckConnectionRequest), 0);
  uint8_t code = 0;
  EXPECT_EQ(Exchange(*port, kCheckConnectionRequest, &code), -1);
  EXPECT_EQ(code, COM_TRANSFER_FAILED);
  EXPECT_TRUE(sim.WaitForExit(5000));
  port->Close();
}

TEST(LinkOverPty, HeronLengthThatDoesNotFitIsRefused) {
  SimProcess sim({"--type", "3", "--heron-length", "0xFFFF"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  Bytes buffer(kVersionBufferSize, 0);
  EXPECT_EQ(ExchangeFirmwareVersion(*port, kReaderHeron, buffer.data()), COM_TRANSFER_FAILED);
}

TEST(LinkOverPty, TernTextWithTwoFieldsHasNoVersion) {
  SimProcess sim({"--type", "2", "--version-text", "Tern,SN1"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  Bytes buffer(kVersionBufferSize, 0);
  ASSERT_EQ(ExchangeFirmwareVersion(*port, kReaderTern, buffer.data()), COM_OK);
  EXPECT_EQ(FirmwareVersionText(kReaderTern, buffer.data()), std::nullopt);
}

TEST(LinkOverPty, PortIsExclusiveWithinAndAcrossProcesses) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto first = MakePort(Short());
  ASSERT_EQ(first->Open(sim.Path(), 115200), COM_OK);
  auto second = MakePort(Short());
  EXPECT_EQ(second->Open(sim.Path(), 115200), COM_OPEN_FAILED);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ComPort other(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
    _exit(other.Open(sim.Path(), 115200));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), COM_OPEN_FAILED);

  first->Close();
  EXPECT_EQ(second->Open(sim.Path(), 115200), COM_OK);
  EXPECT_EQ(Exchange(*second, kCheckConnectionRequest), 0);
}

TEST(LinkOverPty, PortOpensAndClosesManyTimesInOneSession) {
  const std::string link = ::testing::TempDir() + "kavonel-reader-" + std::to_string(getpid());
  {
    SimProcess sim({"--link", link});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    auto port = MakePort(Short());
    for (int i = 0; i < 20; ++i) {
      ASSERT_EQ(port->Open(link, 115200), COM_OK) << i;
      ASSERT_EQ(Exchange(*port, kCheckConnectionRequest), 0) << i;
      port->Close();
    }
    EXPECT_TRUE(sim.Stop());
  }
  EXPECT_NE(access(link.c_str(), F_OK), 0);  // the link went with the reader
}

TEST(LinkOverPty, TheProcessPortUnderItsFamiliarNames) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ASSERT_EQ(OpenComPort(sim.Path(), 115200), COM_OK);
  EXPECT_EQ(OpenComPort(sim.Path(), 115200), COM_OPEN_FAILED);
  EXPECT_TRUE(TheComPort().IsOpen());
  uint8_t frame[16], answer[16];
  BuildFixedFrame(frame, 0x77, 0x05);
  EXPECT_EQ(SendBytes(frame, 16), COM_OK);
  EXPECT_EQ(ReceiveBytes(answer, 16), COM_OK);
  EXPECT_EQ(answer[10], 0x77);
  BuildFixedFrame(frame, 0x18, 0x01);
  EXPECT_EQ(SendBytes(frame, 16), COM_OK);
  EXPECT_EQ(ReceiveResponseHead(answer), COM_OK);
  EXPECT_EQ(answer[10], 0x18);
  CloseComPort();
  EXPECT_FALSE(TheComPort().IsOpen());
  EXPECT_EQ(SendBytes(frame, 16), COM_NOT_OPEN);
}

TEST(LinkOverPty, BadTagAndBadCrcAreAnswered) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  uint8_t frame[16], answer[16];
  BuildFixedFrame(frame, 0x18, 0x01);
  frame[0] = 'z';
  ASSERT_EQ(port->SendBytes(frame, 16), COM_OK);
  ASSERT_EQ(port->ReceiveBytes(answer, 16), COM_OK);
  EXPECT_EQ(answer[kStatusOffset], 0x01);
  BuildFixedFrame(frame, 0x18, 0x01);
  frame[15] ^= 0x80;
  ASSERT_EQ(port->SendBytes(frame, 16), COM_OK);
  ASSERT_EQ(port->ReceiveBytes(answer, 16), COM_OK);
  EXPECT_EQ(answer[kStatusOffset], 0x04);
}

TEST(PosixDevice, CountsQueuedBytesAndWaitsInTheKernel) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  ASSERT_TRUE(device->Open(sim.Path(), 115200));
  EXPECT_FALSE(MakePlatformSerialDevice()->Open(sim.Path(), 115200));
  EXPECT_EQ(device->QueuedBytes(), 0);
  EXPECT_EQ(device->WaitReadable(20ms), WaitStatus::kTimedOut);
  uint8_t frame[16];
  BuildFixedFrame(frame, 0x18, 0x01);
  ASSERT_EQ(device->Write(frame, 16).count, 16u);
  long queued = 0;
  for (int i = 0; i < 100 && queued < 16; ++i) {
    ASSERT_EQ(device->WaitReadable(1000ms), WaitStatus::kReady);
    queued = device->QueuedBytes();
    if (queued < 16) usleep(2000);
  }
  EXPECT_EQ(queued, 16);
  device->Purge();
  EXPECT_EQ(device->QueuedBytes(), 0);
  device->Close();
  EXPECT_FALSE(device->IsOpen());
  EXPECT_FALSE(MakePlatformSerialDevice()->Open("/dev/kavonel-no-such-port", 115200));
}

TEST(PosixDevice, WaitHookRunsWhileASilentReaderIsAwaited) {
  SimProcess sim({"--silent"});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  auto port = MakePort(Short());
  int calls = 0;
  port->SetWaitHook([&] { ++calls; });
  ASSERT_EQ(port->Open(sim.Path(), 115200), COM_OK);
  uint8_t code = 0;
  Exchange(*port, kCheckConnectionRequest, &code);
  EXPECT_EQ(code, COM_TIMEOUT);
  EXPECT_GT(calls, 0);
}

}  // namespace
}  // namespace kavonel
