// The device calls under ComPort, and the clock its time-outs are measured on. The
// logic in com_port.cpp knows only these interfaces: the POSIX terminal device lives in
// serial_device_posix.cpp, an in-memory device for tests in fake_serial_device.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kavonel {

enum class IoStatus {
  kOk,          // count bytes moved (at least one)
  kWouldBlock,  // nothing can move now; wait and try again
  kHangUp,      // the other end is gone (adapter unplugged, virtual reader ended)
  kFailed,      // the transfer was issued and failed
  kNotStarted,  // the transfer could not be issued at all
};

struct IoResult {
  IoStatus status;
  size_t count;
};

enum class WaitStatus { kReady, kTimedOut, kHangUp, kFailed };

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens the device at path for reading and writing, exclusively (a second opener, in
  // this process or another, is refused), and sets raw 8N1 at baudRate without flow
  // control, DTR and RTS off. False when the device cannot be had.
  virtual bool Open(const std::string& path, int baudRate) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // After a failed Open: why, in the operator's words, on one line; empty when the
  // device cannot tell.
  virtual std::string OpenFailureReason() const { return {}; }

  // Drops whatever waits in both directions.
  virtual void Purge() = 0;
  // Bytes waiting to be read, or -1 when the device cannot tell.
  virtual long QueuedBytes() = 0;

  // Never block: move what can be moved now.
  virtual IoResult Read(uint8_t* destination, size_t maxCount) = 0;
  virtual IoResult Write(const uint8_t* source, size_t count) = 0;

  // Block until the device is readable (writable), the time-out passes, or the line
  // hangs up. Never busy: the implementation sleeps in the kernel.
  virtual WaitStatus WaitReadable(std::chrono::milliseconds timeout) = 0;
  virtual WaitStatus WaitWritable(std::chrono::milliseconds timeout) = 0;

  // Waits of the calling thread wake for its window messages as well, run handle for
  // them and wait on: the window of that thread answers while it waits for the reader,
  // and an idle wait sleeps. An empty handle ends this. False where the device cannot
  // wait on messages (the default).
  virtual bool SetMessageHandler(std::function<void()> handle) {
    (void)handle;
    return false;
  }

  // From any thread: the wait under way, and every later one, ends at once with
  // kFailed. A device that cannot be woken lets its wait run out (the default).
  virtual void Interrupt() {}
};

// A millisecond counter that only moves forward and may wrap: only differences of two
// readings, taken as unsigned 32-bit, are meaningful (as with a tick count).
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  virtual uint32_t NowMs() = 0;
};

// std::chrono::steady_clock, cut to 32 bits.
class SteadyClock final : public MonotonicClock {
 public:
  uint32_t NowMs() override;
};

// The platform's serial device (chosen by the build).
std::unique_ptr<SerialDevice> MakePlatformSerialDevice();

}  // namespace kavonel
