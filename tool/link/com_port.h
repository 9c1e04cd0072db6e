// The serial port to the reader: open, close, and the three transfers, each
// answering a one-byte result code. Free of Qt and of any platform header: the
// device calls live behind SerialDevice (serial_device.h).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kavonel {

enum ComResult : uint8_t {
  COM_OK = 0x00,
  COM_TRANSFER_FAILED = 0xF8,
  COM_READ_NOT_STARTED = 0xF9,
  COM_TIMEOUT = 0xFB,
  COM_NOT_OPEN = 0xFC,
  COM_OPEN_FAILED = 0xFD,
  COM_BAD_BAUD_RATE = 0xFE,
};

// True for the rates the line accepts: 110 ... 115200.
bool IsAcceptedBaudRate(int baudRate);

// The device path for a port name, by the platform's rules (in the serial device's file):
// POSIX: "COM3" -> "/dev/ttyS2", "/dev/x" -> "/dev/x", "ttyUSB0" -> "/dev/ttyUSB0".
// Windows: "COM3" -> "\\.\COM3", "\\.\x" as given; names with a path in them refused.
// Empty, or too long for a device path: empty result (the open is refused).
std::string DevicePathForPort(std::string_view portName);
// How an operator names a port on this platform, for help texts.
extern const char kPortNameHint[];

struct ComTimeouts {
  std::chrono::milliseconds firstHeadByte{60000};  // ReceiveResponseHead, first byte
  std::chrono::milliseconds nextHeadByte{200};     // ReceiveResponseHead, each further byte
  std::chrono::milliseconds fixedByte{10000};      // ReceiveBytes, every byte
  // One queued byte to be read. Reads are only issued once poll() says bytes are there,
  // so they complete at once; kept so callers may still state it.
  std::chrono::milliseconds readByte{200};
  std::chrono::milliseconds writeStall{10000};  // a write that makes no progress
  // How long a wait lasts before the wait hook runs (SetWaitHook), and between its runs.
  std::chrono::milliseconds hookInterval{20};
};

class SerialDevice;    // serial_device.h
class MonotonicClock;  // serial_device.h

class ComPort {
 public:
  // Without arguments: the platform's serial device and the steady clock.
  ComPort();
  ComPort(std::unique_ptr<SerialDevice> device, std::shared_ptr<MonotonicClock> clock,
          ComTimeouts timeouts = {});
  ~ComPort();
  ComPort(const ComPort&) = delete;
  ComPort& operator=(const ComPort&) = delete;

  uint8_t Open(std::string_view portName, int baudRate);
  // After an Open that failed: why, in the operator's words, on one line; empty when
  // nothing more is known.
  std::string OpenFailureReason() const;
  void Close();
  bool IsOpen() const;

  // Purges both directions, then writes count bytes; count 0 only purges.
  uint8_t SendBytes(const uint8_t* data, size_t count);
  // Exactly 16 bytes: first within firstHeadByte, each further one within nextHeadByte.
  uint8_t ReceiveResponseHead(uint8_t* response16);
  // Exactly count bytes, each within fixedByte; count 0 answers COM_OK at once.
  uint8_t ReceiveBytes(uint8_t* destination, size_t count);

  // From any thread: the transfer under way fails at once, and so does every later
  // transfer and open, so a reader that is given up on lets go of its thread and port.
  void Abandon();

  // Run while a transfer waits, but only on the thread that set it (the window's thread
  // keeps painting; a worker thread never runs it): at least every 20 ms, or only once
  // when the transfer has waited 20 ms, so that a long wait is one sleep, or whenever
  // the thread's window messages come, where the device waits on them (Windows; the
  // others fall back to every 20 ms).
  enum class HookRepeat { kEvery20Ms, kOncePerTransfer, kOnMessages };
  void SetWaitHook(std::function<void()> hook, HookRepeat repeat = HookRepeat::kEvery20Ms);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The program's one port, shared by the window's operations and reader detection.
ComPort& TheComPort();

// The port operations under their familiar names, on TheComPort().
uint8_t OpenComPort(std::string_view portName, int baudRate);
void CloseComPort();
uint8_t SendBytes(const uint8_t* data, size_t count);
uint8_t ReceiveResponseHead(uint8_t* response16);
uint8_t ReceiveBytes(uint8_t* destination, size_t count);

}  // namespace kavonel
