// An in-memory serial line and a clock that moves only when the line is waited on, so
// that every time-out of the port logic can be tested in microseconds. The test keeps
// the FakeLine; ComPort owns a FakeSerialDevice that plays it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "link/serial_device.h"

namespace kavonel {

class FakeClock final : public MonotonicClock {
 public:
  explicit FakeClock(uint32_t startMs = 0) : now_(startMs) {}
  uint32_t NowMs() override { return now_; }
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  uint32_t now_;
};

// What the reader side of the line does, and what the port did to it.
class FakeLine {
 public:
  explicit FakeLine(std::shared_ptr<FakeClock> clock) : clock_(std::move(clock)) {}

  // --- set-up by the test ---
  std::set<std::string> existingPaths{DevicePathForPort("COM1")};
  std::set<std::string> lockedPaths;  // held exclusively by someone else
  // Called after each write with everything written since the last purge.
  std::function<void(FakeLine&, const std::vector<uint8_t>& sincePurge)> onWrite;
  // Bytes the reader sends delayMs from now (relative to the fake clock).
  void Send(uint32_t delayMs, std::vector<uint8_t> bytes);
  // Bytes already waiting in the input queue.
  void SendNow(std::vector<uint8_t> bytes) { Send(0, std::move(bytes)); }
  // The line hangs up delayMs from now.
  void HangUp(uint32_t delayMs);
  // The read that would hand over input byte number index (0-based, counted over all
  // reads since open) fails with status instead.
  void FailReadAt(size_t index, IoStatus status);
  // The write of output byte number index fails with status; kWouldBlock means the line
  // stops taking bytes from there on.
  void FailWriteAt(size_t index, IoStatus status);
  bool failOpen = false;
  std::string openFailureReason;  // what the device says after a refused open

  // --- what happened ---
  std::string openedPath;
  int baudRate = 0;
  int openCount = 0;
  int closeCount = 0;
  int purgeCount = 0;
  std::vector<uint8_t> written;      // every byte written since open
  std::vector<uint8_t> sincePurge;   // written since the last purge
  std::vector<uint8_t> purgedInput;  // input bytes thrown away by purges
  std::vector<uint32_t> waitSlices;  // every time-out a wait was given, in ms
  bool isOpen = false;

  // --- used by FakeSerialDevice ---
  FakeClock& clock() { return *clock_; }
  void Deliver();  // moves due bytes into the input queue
  std::deque<uint8_t> input;
  bool hungUp = false;
  size_t bytesRead = 0;
  size_t readFailIndex = SIZE_MAX;
  IoStatus readFailStatus = IoStatus::kFailed;
  size_t writeFailIndex = SIZE_MAX;
  IoStatus writeFailStatus = IoStatus::kFailed;
  // Milliseconds until the next scheduled event, or UINT32_MAX when none.
  uint32_t NextEventIn() const;

 private:
  struct Event {
    uint32_t at;
    std::vector<uint8_t> bytes;
    bool hangUp;
  };
  void Schedule(Event event);
  std::shared_ptr<FakeClock> clock_;
  std::deque<Event> events_;
};

class FakeSerialDevice final : public SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

  bool Open(const std::string& path, int baudRate) override;
  void Close() override;
  bool IsOpen() const override { return line_->isOpen; }
  std::string OpenFailureReason() const override { return line_->openFailureReason; }
  void Purge() override;
  long QueuedBytes() override;
  IoResult Read(uint8_t* destination, size_t maxCount) override;
  IoResult Write(const uint8_t* source, size_t count) override;
  WaitStatus WaitReadable(std::chrono::milliseconds timeout) override;
  WaitStatus WaitWritable(std::chrono::milliseconds timeout) override;

 private:
  std::shared_ptr<FakeLine> line_;
};

}  // namespace kavonel
