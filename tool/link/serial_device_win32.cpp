// The serial device on a Windows COM port with overlapped I/O, and the port names of the
// platform: the only file of the link with Windows headers (serial_device_posix.cpp is
// its twin).
//
// Waiting for the reader is a one-byte read into the device's own storage, pending in the
// driver until the first byte comes; the wait is on its event, with a time-out. The bytes
// behind it are read as the driver reports them queued, so those reads complete at once.
// A transfer still pending when the caller moves on is cancelled and waited for before
// its storage or its event goes away.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "link/port_diagnosis.h"
#include "link/serial_device.h"

namespace kavonel {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;
// A read of bytes already queued that still does not complete is given up after this.
constexpr DWORD kQueuedReadMs = 200;
// At most this much is handed to the driver in one write.
constexpr size_t kWriteChunk = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Failures that mean the device is gone: the adapter was pulled out, or (under Wine) the
// other end of the line closed.
bool IsGoneError(DWORD error) {
  switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_NOT_READY:
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
      return true;
    default:
      return false;
  }
}

DWORD Milliseconds(std::chrono::milliseconds timeout) {
  return static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, 0x7FFFFFFF));
}

// 8N1 at the rate, no flow control either way, DTR and RTS off, no error character, NUL
// bytes kept, transfers not aborted on line errors. XON/XOFF limits and the special
// characters stay as the driver has them.
void SetLine(DCB& dcb, int baudRate) {
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fAbortOnError = FALSE;
}

// One direction's overlapped transfer with its manual-reset event.
struct Transfer {
  OVERLAPPED ov{};
  bool pending = false;

  void Restart() {
    const HANDLE event = ov.hEvent;
    ov = OVERLAPPED{};
    ov.hEvent = event;
  }
};

enum class Outcome { kPending, kDone, kFailed };

class Win32SerialDevice final : public SerialDevice {
 public:
  Win32SerialDevice() : interrupt_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Win32SerialDevice() override {
    Close();
    if (interrupt_ != nullptr) CloseHandle(interrupt_);
  }
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  void Interrupt() override {
    if (interrupt_ != nullptr) SetEvent(interrupt_);
  }

  bool Open(const std::string& path, int baudRate) override {
    if (IsOpen()) return false;
    failedPath_ = path;
    openError_ = 0;
    // Not shared: Windows refuses a second opener of the port.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      openError_ = static_cast<int>(GetLastError());
      return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // A device without a line state is no serial port (NUL, a console, a disk).
    if (!GetCommState(handle, &dcb)) {
      openError_ = ERROR_NOT_SUPPORTED;
      CloseHandle(handle);
      return false;
    }
    const HANDLE readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (readEvent == nullptr || writeEvent == nullptr) {
      if (readEvent != nullptr) CloseHandle(readEvent);
      if (writeEvent != nullptr) CloseHandle(writeEvent);
      CloseHandle(handle);
      return false;
    }
    saved_ = dcb;
    haveSavedTimeouts_ = GetCommTimeouts(handle, &savedTimeouts_) != FALSE;
    // The results of the settings are not checked: the open stands once the device is open.
    SetupComm(handle, 1024, 1024);
    SetLine(dcb, baudRate);
    SetCommState(handle, &dcb);
    // No driver time-outs: a read waits until its bytes are there, a write until the
    // driver has taken them. Set explicitly, as the last user may have left others.
    COMMTIMEOUTS none{};
    SetCommTimeouts(handle, &none);
    handle_ = handle;
    read_.ov.hEvent = readEvent;
    write_.ov.hEvent = writeEvent;
    haveByte_ = false;
    return true;
  }

  void Close() override {
    if (!IsOpen()) return;
    // Unsent bytes are dropped rather than drained: close must not wait on a device that
    // stopped taking them.
    PurgeComm(handle_, kPurgeAll);
    Finish(read_);
    Finish(write_);
    SetCommState(handle_, &saved_);
    if (haveSavedTimeouts_) SetCommTimeouts(handle_, &savedTimeouts_);
    CloseHandle(handle_);
    CloseHandle(read_.ov.hEvent);
    CloseHandle(write_.ov.hEvent);
    handle_ = INVALID_HANDLE_VALUE;
    read_ = Transfer{};
    write_ = Transfer{};
    haveByte_ = false;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  std::string OpenFailureReason() const override {
    return DiagnosePortOpen(failedPath_, openError_).text;
  }

  void Purge() override {
    if (!IsOpen()) return;
    // A byte that the waiting read caught before this request is as stale as the rest.
    haveByte_ = false;
    DWORD count = 0, error = 0;
    if (read_.pending) Poll(read_, count, error);
    // Purging is a dear call; with both queues empty and no write under way there is
    // nothing to drop, and a waiting read may stay to catch the answer.
    COMSTAT status{};
    DWORD errors = 0;
    if (!write_.pending && ClearCommError(handle_, &errors, &status) && status.cbInQue == 0 &&
        status.cbOutQue == 0) {
      return;
    }
    PurgeComm(handle_, kPurgeAll);
    Finish(read_);
    Finish(write_);
  }

  long QueuedBytes() override {
    if (!IsOpen()) return -1;
    DWORD count = 0, error = 0;
    if (read_.pending && Poll(read_, count, error) == Outcome::kDone) haveByte_ = count == 1;
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, &status)) return -1;
    return static_cast<long>(status.cbInQue) + (haveByte_ ? 1 : 0);
  }

  IoResult Read(uint8_t* destination, size_t maxCount) override {
    if (!IsOpen()) return {IoStatus::kNotStarted, 0};
    if (read_.pending) {
      DWORD count = 0, error = 0;
      switch (Poll(read_, count, error)) {
        case Outcome::kPending:
          // The driver hands the next byte to the waiting read before anyone else.
          return {IoStatus::kWouldBlock, 0};
        case Outcome::kFailed:
          return {IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kFailed, 0};
        case Outcome::kDone:
          haveByte_ = count == 1;
          break;
      }
    }
    size_t have = 0;
    if (haveByte_ && maxCount > 0) {
      destination[have++] = byte_;
      haveByte_ = false;
    }
    const IoResult more = ReadQueued(destination + have, maxCount - have);
    if (have > 0) return {IoStatus::kOk, have + (more.status == IoStatus::kOk ? more.count : 0)};
    return more;
  }

  IoResult Write(const uint8_t* source, size_t count) override {
    if (!IsOpen()) return {IoStatus::kNotStarted, 0};
    DWORD written = 0, error = 0;
    if (write_.pending) {
      // The caller comes back with the same bytes after a wait: report the earlier write.
      switch (Poll(write_, written, error)) {
        case Outcome::kPending:
          return {IoStatus::kWouldBlock, 0};
        case Outcome::kFailed:
          return {IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kFailed, 0};
        case Outcome::kDone:
          return Written(written);
      }
    }
    if (count == 0) return {IoStatus::kOk, 0};
    // From the device's own storage: a write still pending when the caller gives up
    // must not read memory that is no longer the caller's.
    const size_t chunk = std::min(count, kWriteChunk);
    writeBuffer_.assign(source, source + chunk);
    write_.Restart();
    if (WriteFile(handle_, writeBuffer_.data(), static_cast<DWORD>(chunk), &written, &write_.ov)) {
      return Written(written);
    }
    error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      write_.pending = true;
      return {IoStatus::kWouldBlock, 0};
    }
    return {IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kFailed, 0};
  }

  WaitStatus WaitReadable(std::chrono::milliseconds timeout) override {
    if (!IsOpen() || Interrupted()) return WaitStatus::kFailed;
    if (haveByte_) return WaitStatus::kReady;
    if (!read_.pending) {
      // No query of the queue first: with bytes queued the read completes at once, and
      // every call to the driver counts in a round trip.
      read_.Restart();
      DWORD count = 0;
      if (ReadFile(handle_, &byte_, 1, &count, &read_.ov)) {
        haveByte_ = count == 1;
        return haveByte_ ? WaitStatus::kReady : WaitStatus::kTimedOut;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) {
        return IsGoneError(error) ? WaitStatus::kHangUp : WaitStatus::kFailed;
      }
      read_.pending = true;
    }
    const DWORD waited = Wait(read_.ov.hEvent, timeout);
    if (waited == WAIT_TIMEOUT) return WaitStatus::kTimedOut;
    if (waited != WAIT_OBJECT_0) return WaitStatus::kFailed;
    DWORD count = 0, error = 0;
    switch (Poll(read_, count, error)) {
      case Outcome::kPending:
        return WaitStatus::kTimedOut;
      case Outcome::kFailed:
        // Only Purge and Close cancel the waiting read, and they collect it themselves:
        // an abort seen here came from the device going away.
        return IsGoneError(error) ? WaitStatus::kHangUp : WaitStatus::kFailed;
      case Outcome::kDone:
        break;
    }
    haveByte_ = count == 1;
    return haveByte_ ? WaitStatus::kReady : WaitStatus::kTimedOut;
  }

  WaitStatus WaitWritable(std::chrono::milliseconds timeout) override {
    if (!IsOpen() || Interrupted()) return WaitStatus::kFailed;
    if (!write_.pending) return WaitStatus::kReady;
    const DWORD waited = Wait(write_.ov.hEvent, timeout);
    if (waited == WAIT_OBJECT_0) return WaitStatus::kReady;
    return waited == WAIT_TIMEOUT ? WaitStatus::kTimedOut : WaitStatus::kFailed;
  }

 private:
  bool Interrupted() const {
    return interrupt_ != nullptr && WaitForSingleObject(interrupt_, 0) == WAIT_OBJECT_0;
  }

  // Waits for a transfer's event or an interrupt; an interrupt answers WAIT_FAILED.
  DWORD Wait(HANDLE event, std::chrono::milliseconds timeout) {
    if (interrupt_ == nullptr) return WaitForSingleObject(event, Milliseconds(timeout));
    const HANDLE events[2] = {event, interrupt_};
    const DWORD waited = WaitForMultipleObjects(2, events, FALSE, Milliseconds(timeout));
    return waited == WAIT_OBJECT_0 + 1 ? WAIT_FAILED : waited;
  }

  // The state of a pending transfer, without waiting; a finished one is no longer pending.
  Outcome Poll(Transfer& transfer, DWORD& count, DWORD& error) {
    count = 0;
    if (GetOverlappedResult(handle_, &transfer.ov, &count, FALSE)) {
      transfer.pending = false;
      return Outcome::kDone;
    }
    error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return Outcome::kPending;
    transfer.pending = false;
    return Outcome::kFailed;
  }

  // Cancels a pending transfer and waits until the driver has let go of its storage.
  void Finish(Transfer& transfer) {
    if (!transfer.pending) return;
    CancelIoEx(handle_, &transfer.ov);
    DWORD count = 0;
    GetOverlappedResult(handle_, &transfer.ov, &count, TRUE);
    transfer.pending = false;
  }

  static IoResult Written(DWORD written) {
    // With no write time-outs a completed write has taken every byte; one that took none
    // would only be tried again and again.
    if (written == 0) return {IoStatus::kFailed, 0};
    return {IoStatus::kOk, written};
  }

  // Reads what the driver holds queued, up to maxCount bytes, straight into destination.
  IoResult ReadQueued(uint8_t* destination, size_t maxCount) {
    if (maxCount == 0) return {IoStatus::kOk, 0};
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, &status)) {
      return {IsGoneError(GetLastError()) ? IoStatus::kHangUp : IoStatus::kFailed, 0};
    }
    const DWORD want = static_cast<DWORD>(std::min<size_t>(status.cbInQue, maxCount));
    if (want == 0) return {IoStatus::kWouldBlock, 0};
    read_.Restart();
    DWORD count = 0;
    if (ReadFile(handle_, destination, want, &count, &read_.ov)) {
      return {count > 0 ? IoStatus::kOk : IoStatus::kWouldBlock, count};
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      return {IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kNotStarted, 0};
    }
    // Into the caller's storage: if it does not complete in time, cancel it and wait for
    // the cancel, so that nothing lands there later.
    if (WaitForSingleObject(read_.ov.hEvent, kQueuedReadMs) != WAIT_OBJECT_0) {
      CancelIoEx(handle_, &read_.ov);
    }
    const BOOL done = GetOverlappedResult(handle_, &read_.ov, &count, TRUE);
    error = done ? ERROR_SUCCESS : GetLastError();
    if (count > 0) return {IoStatus::kOk, count};
    if (done || error == ERROR_OPERATION_ABORTED) return {IoStatus::kWouldBlock, 0};
    return {IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kFailed, 0};
  }

  HANDLE interrupt_;  // set once by Interrupt, for good
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DCB saved_{};
  COMMTIMEOUTS savedTimeouts_{};
  bool haveSavedTimeouts_ = false;
  Transfer read_;
  Transfer write_;
  uint8_t byte_ = 0;       // the waiting read's byte
  bool haveByte_ = false;  // byte_ came and is not yet handed out
  std::vector<uint8_t> writeBuffer_;
  std::string failedPath_;
  int openError_ = 0;  // GetLastError of the last failed Open; ERROR_NOT_SUPPORTED: no line
};

// "COM0", "COM05": COM and digits that name no port.
bool IsComZero(std::string_view name) {
  if (name.size() < 4 || (name.substr(0, 3) != "COM" && name.substr(0, 3) != "com")) return false;
  const std::string_view digits = name.substr(3);
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
         digits.front() == '0';
}

}  // namespace

const char kPortNameHint[] = "COM1 ... COM256, or a full \\\\.\\ device name";

std::string DevicePathForPort(std::string_view portName) {
  if (portName.empty() || portName.find('\0') != std::string_view::npos) return {};
  std::string path;
  if (portName.substr(0, kDevicePrefixLength) == kDevicePrefix) {
    path = std::string(portName);
  } else if (portName.find_first_of("\\/:") != std::string_view::npos) {
    return {};  // a path or a drive, not a port name
  } else if (IsComZero(portName)) {
    return {};  // COM ports count from 1, and Windows writes no leading zeros
  } else {
    // Always through the device namespace: COM10 and up are reachable no other way.
    path = kDevicePrefix + std::string(portName);
  }
  if (path.size() >= MAX_PATH) return {};
  return path;
}

std::unique_ptr<SerialDevice> MakePlatformSerialDevice() {
  return std::make_unique<Win32SerialDevice>();
}

}  // namespace kavonel
