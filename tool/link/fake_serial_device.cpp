#include "link/fake_serial_device.h"

#include <algorithm>
#include <climits>

namespace kavonel {

void FakeLine::Send(uint32_t delayMs, std::vector<uint8_t> bytes) {
  Schedule({clock_->NowMs() + delayMs, std::move(bytes), false});
}

void FakeLine::HangUp(uint32_t delayMs) {
  Schedule({clock_->NowMs() + delayMs, {}, true});
}

void FakeLine::Schedule(Event event) {
  // Kept in time order (differences taken modulo 2^32, so the fake clock may wrap like a
  // real tick count); events of the same time keep the order they were given in.
  const uint32_t now = clock_->NowMs();
  const auto later = std::upper_bound(
      events_.begin(), events_.end(), event, [now](const Event& a, const Event& b) {
        return static_cast<int32_t>(a.at - now) < static_cast<int32_t>(b.at - now);
      });
  events_.insert(later, std::move(event));
  Deliver();
}

void FakeLine::FailReadAt(size_t index, IoStatus status) {
  readFailIndex = index;
  readFailStatus = status;
}

void FakeLine::FailWriteAt(size_t index, IoStatus status) {
  writeFailIndex = index;
  writeFailStatus = status;
}

uint32_t FakeLine::NextEventIn() const {
  return events_.empty() ? UINT32_MAX : events_.front().at - clock_->NowMs();
}

void FakeLine::Deliver() {
  const uint32_t now = clock_->NowMs();
  while (!events_.empty() && static_cast<int32_t>(now - events_.front().at) >= 0) {
    Event& e = events_.front();
    if (e.hangUp) hungUp = true;
    input.insert(input.end(), e.bytes.begin(), e.bytes.end());
    events_.pop_front();
  }
}

bool FakeSerialDevice::Open(const std::string& path, int baudRate) {
  FakeLine& l = *line_;
  if (l.failOpen || l.isOpen || !l.existingPaths.count(path) || l.lockedPaths.count(path)) {
    return false;
  }
  l.isOpen = true;
  l.openedPath = path;
  l.baudRate = baudRate;
  ++l.openCount;
  l.written.clear();
  l.sincePurge.clear();
  l.bytesRead = 0;
  return true;
}

void FakeSerialDevice::Close() {
  line_->isOpen = false;
  ++line_->closeCount;
}

void FakeSerialDevice::Purge() {
  FakeLine& l = *line_;
  l.Deliver();
  ++l.purgeCount;
  l.purgedInput.insert(l.purgedInput.end(), l.input.begin(), l.input.end());
  l.input.clear();
  l.sincePurge.clear();
}

long FakeSerialDevice::QueuedBytes() {
  line_->Deliver();
  return static_cast<long>(line_->input.size());
}

IoResult FakeSerialDevice::Read(uint8_t* destination, size_t maxCount) {
  FakeLine& l = *line_;
  l.Deliver();
  if (l.bytesRead == l.readFailIndex && !l.input.empty()) return {l.readFailStatus, 0};
  size_t n = std::min(maxCount, l.input.size());
  if (l.readFailIndex > l.bytesRead) n = std::min(n, l.readFailIndex - l.bytesRead);
  if (n == 0) return {l.hungUp ? IoStatus::kHangUp : IoStatus::kWouldBlock, 0};
  std::copy_n(l.input.begin(), n, destination);
  l.input.erase(l.input.begin(), l.input.begin() + static_cast<long>(n));
  l.bytesRead += n;
  return {IoStatus::kOk, n};
}

IoResult FakeSerialDevice::Write(const uint8_t* source, size_t count) {
  FakeLine& l = *line_;
  if (l.hungUp) return {IoStatus::kHangUp, 0};
  size_t n = count;
  if (l.writeFailIndex >= l.written.size()) n = std::min(n, l.writeFailIndex - l.written.size());
  if (n == 0) return {l.writeFailStatus, 0};
  l.written.insert(l.written.end(), source, source + n);
  l.sincePurge.insert(l.sincePurge.end(), source, source + n);
  if (l.onWrite) l.onWrite(l, l.sincePurge);
  return {IoStatus::kOk, n};
}

WaitStatus FakeSerialDevice::WaitReadable(std::chrono::milliseconds timeout) {
  FakeLine& l = *line_;
  const uint32_t limit = static_cast<uint32_t>(timeout.count());
  l.waitSlices.push_back(limit);
  l.Deliver();
  if (l.input.empty() && !l.hungUp) {
    // Time passes only here: up to the next thing the reader does, or the whole time-out.
    l.clock().Advance(std::min(l.NextEventIn(), limit));
    l.Deliver();
  }
  if (!l.input.empty()) return WaitStatus::kReady;
  if (l.hungUp) return WaitStatus::kHangUp;
  return WaitStatus::kTimedOut;
}

WaitStatus FakeSerialDevice::WaitWritable(std::chrono::milliseconds timeout) {
  FakeLine& l = *line_;
  const uint32_t limit = static_cast<uint32_t>(timeout.count());
  l.waitSlices.push_back(limit);
  l.Deliver();
  if (l.hungUp) return WaitStatus::kHangUp;
  if (l.written.size() < l.writeFailIndex || l.writeFailStatus != IoStatus::kWouldBlock) {
    return WaitStatus::kReady;
  }
  // A stalled line: only a hang-up can end the wait early.
  const uint32_t next = l.NextEventIn();
  if (next <= limit) {
    l.clock().Advance(next);
    l.Deliver();
    if (l.hungUp) return WaitStatus::kHangUp;
    return WaitStatus::kTimedOut;  // a slice ended; the caller asks again
  }
  l.clock().Advance(limit);
  return WaitStatus::kTimedOut;
}

}  // namespace kavonel
