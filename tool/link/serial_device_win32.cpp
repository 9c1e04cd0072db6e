// The serial device on a Windows COM port with overlapped I/O, and the port names of the
// platform: the only file of the link with Windows headers (serial_device_posix.cpp is
// its twin).
//
// Reads return at once with what the driver holds (ReadIntervalTimeout = MAXDWORD, no
// total time-out), into the device's own buffer: one read takes a whole answer, and Read
// hands it out without asking the driver again. The driver's queue is looked at first
// (ClearCommError, which asks nothing of the line), so a read is only issued for bytes
// that are there. With nothing queued, the read is issued anyway: a driver that holds it
// until bytes come (Wine's does) makes it the wait; once one completes it empty (Windows
// does, at once), the waits are WaitCommEvent(EV_RXCHAR). Either way the wait is on the
// transfer's event with a time-out. A transfer still pending when the caller moves
// on is cancelled and waited for before its storage or its event goes away.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "link/com_port.h"
#include "link/port_diagnosis.h"
#include "link/serial_device.h"

namespace kavonel {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;
// The device's read buffer: a few answers' worth, and what SetupComm asks the driver for.
constexpr size_t kReadBuffer = 1024;
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

IoStatus FailedIo(DWORD error) {
  return IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kFailed;
}

WaitStatus FailedWait(DWORD error) {
  return IsGoneError(error) ? WaitStatus::kHangUp : WaitStatus::kFailed;
}

WaitStatus AsWait(IoStatus failed) {
  return failed == IoStatus::kHangUp ? WaitStatus::kHangUp : WaitStatus::kFailed;
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

// Reads hand over what is queued and do not wait for more; writes have no time-out.
COMMTIMEOUTS ReturnAtOnce() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  return timeouts;
}

// One overlapped transfer with its manual-reset event.
struct Transfer {
  OVERLAPPED ov{};
  HANDLE event = nullptr;
  bool pending = false;

  void Restart() {
    ov = OVERLAPPED{};
    // The low bit keeps a completion from being queued to a completion port: none is
    // used, and under Wine the queueing costs a call to the server per transfer.
    ov.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
  }
};

class Win32SerialDevice final : public SerialDevice {
 public:
  Win32SerialDevice() : interrupt_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Win32SerialDevice() override {
    Close();
    if (interrupt_ != nullptr) CloseHandle(interrupt_);
  }
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  bool SetMessageHandler(std::function<void()> handle) override {
    messageThread_ = 0;
    messageHandler_ = std::move(handle);
    if (messageHandler_) messageThread_ = GetCurrentThreadId();
    return true;
  }

  void Interrupt() override {
    interrupted_ = true;
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
    Transfer* const transfers[] = {&read_, &write_, &lineEvent_};
    for (Transfer* t : transfers) *t = Transfer{};
    for (Transfer* t : transfers) {
      t->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      if (t->event == nullptr) {
        CloseEvents();
        CloseHandle(handle);
        return false;
      }
    }
    saved_ = dcb;
    haveSavedTimeouts_ = GetCommTimeouts(handle, &savedTimeouts_) != FALSE;
    // The results of the settings are not checked: the open stands once the device is open.
    SetupComm(handle, kReadBuffer, kReadBuffer);
    SetLine(dcb, baudRate);
    SetCommState(handle, &dcb);
    // Set explicitly, as the last user may have left others.
    COMMTIMEOUTS timeouts = ReturnAtOnce();
    SetCommTimeouts(handle, &timeouts);
    // Received bytes are noted from the open on, not from the first line-event wait: a
    // byte that came between a look at the empty queue and that wait still ends it.
    SetCommMask(handle, EV_RXCHAR);
    handle_ = handle;
    begin_ = end_ = 0;
    driverHoldsReads_ = true;
    return true;
  }

  void Close() override {
    if (!IsOpen()) return;
    // Unsent bytes are dropped rather than drained: close must not wait on a device that
    // stopped taking them.
    PurgeComm(handle_, kPurgeAll);
    Finish(read_);
    Finish(lineEvent_);
    Finish(write_);
    SetCommState(handle_, &saved_);
    if (haveSavedTimeouts_) SetCommTimeouts(handle_, &savedTimeouts_);
    CloseHandle(handle_);
    CloseEvents();
    handle_ = INVALID_HANDLE_VALUE;
    begin_ = end_ = 0;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  std::string OpenFailureReason() const override {
    return DiagnosePortOpen(failedPath_, openError_).text;
  }

  void Purge() override {
    if (!IsOpen()) return;
    // Bytes the device read ahead before this request are as stale as the driver's.
    begin_ = end_ = 0;
    DWORD count = 0, error = 0;
    if (read_.pending && Poll(read_, count, error)) end_ = 0;
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
    Finish(lineEvent_);
    Finish(write_);
  }

  long QueuedBytes() override {
    if (!IsOpen()) return -1;
    DWORD count = 0, error = 0;
    if (read_.pending && Poll(read_, count, error)) Took(count);
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, &status)) return -1;
    return static_cast<long>(status.cbInQue + Buffered());
  }

  IoResult Read(uint8_t* destination, size_t maxCount) override {
    if (!IsOpen()) return {IoStatus::kNotStarted, 0};
    if (read_.pending) {
      DWORD count = 0, error = 0;
      if (!Poll(read_, count, error)) {
        // The driver hands the next bytes to the waiting read before anyone else.
        return {error == ERROR_IO_INCOMPLETE ? IoStatus::kWouldBlock : FailedIo(error), 0};
      }
      Took(count);
    }
    if (Buffered() == 0 && maxCount > 0) {
      const IoResult filled = Fill(false);
      if (filled.status != IoStatus::kOk) return filled;
    }
    const size_t count = std::min(Buffered(), maxCount);
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_), count, destination);
    begin_ += count;
    return {count > 0 ? IoStatus::kOk : IoStatus::kWouldBlock, count};
  }

  IoResult Write(const uint8_t* source, size_t count) override {
    if (!IsOpen()) return {IoStatus::kNotStarted, 0};
    DWORD written = 0, error = 0;
    if (write_.pending) {
      // The caller comes back with the same bytes after a wait: report the earlier write.
      if (Poll(write_, written, error)) return Written(written);
      return {error == ERROR_IO_INCOMPLETE ? IoStatus::kWouldBlock : FailedIo(error), 0};
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
    return {FailedIo(error), 0};
  }

  WaitStatus WaitReadable(std::chrono::milliseconds timeout) override {
    if (!IsOpen() || interrupted_) return WaitStatus::kFailed;
    if (Buffered() > 0) return WaitStatus::kReady;
    if (!read_.pending && !lineEvent_.pending) {
      const IoResult filled = Fill(driverHoldsReads_);
      if (filled.status == IoStatus::kOk) return WaitStatus::kReady;
      if (filled.status != IoStatus::kWouldBlock) return AsWait(filled.status);
      // The driver does not hold a read until bytes come: the line's event is the wait.
      if (!read_.pending) {
        const WaitStatus started = AwaitLineEvent();
        if (started != WaitStatus::kTimedOut || !lineEvent_.pending) return started;
      }
    }
    Transfer& waiting = read_.pending ? read_ : lineEvent_;
    const DWORD waited = Wait(waiting.event, timeout);
    if (waited == WAIT_TIMEOUT) return WaitStatus::kTimedOut;
    if (waited != WAIT_OBJECT_0) return WaitStatus::kFailed;
    DWORD count = 0, error = 0;
    if (!Poll(waiting, count, error) && error == ERROR_IO_INCOMPLETE) {
      // Signalled, yet not finished (Wine's line-event wait does this): cleared, lest the
      // next wait return at once again; looked at once more, lest a completion that came
      // in between be lost.
      ResetEvent(waiting.event);
      if (!Poll(waiting, count, error) && error == ERROR_IO_INCOMPLETE) {
        return WaitStatus::kTimedOut;
      }
    }
    if (error != 0) {
      // Only Purge and Close cancel a waiting transfer, and they collect it themselves:
      // an abort seen here came from the device going away.
      return FailedWait(error);
    }
    if (&waiting == &read_) {
      Took(count);
      // A read that waited and came back empty: this driver does not hold reads.
      if (count == 0) driverHoldsReads_ = false;
      return Buffered() > 0 ? WaitStatus::kReady : WaitStatus::kTimedOut;
    }
    // A byte came, or an older event was reported: look at the queue once more. With
    // nothing there the caller waits again, and the next wait pends.
    const IoResult filled = Fill(false);
    if (filled.status == IoStatus::kOk) return WaitStatus::kReady;
    return filled.status == IoStatus::kWouldBlock ? WaitStatus::kTimedOut : AsWait(filled.status);
  }

  WaitStatus WaitWritable(std::chrono::milliseconds timeout) override {
    if (!IsOpen() || interrupted_) return WaitStatus::kFailed;
    if (!write_.pending) return WaitStatus::kReady;
    const DWORD waited = Wait(write_.event, timeout);
    if (waited == WAIT_OBJECT_0) return WaitStatus::kReady;
    return waited == WAIT_TIMEOUT ? WaitStatus::kTimedOut : WaitStatus::kFailed;
  }

 private:
  size_t Buffered() const { return end_ - begin_; }

  // A read into the empty buffer finished with count bytes.
  void Took(DWORD count) {
    begin_ = 0;
    end_ = count;
  }

  void CloseEvents() {
    for (Transfer* t : {&read_, &write_, &lineEvent_}) {
      if (t->event != nullptr) CloseHandle(t->event);
      *t = Transfer{};
    }
  }

  // Waits for a transfer's event or an interrupt; an interrupt answers WAIT_FAILED. On
  // the thread that set a message handler, its window messages wake the wait too.
  DWORD Wait(HANDLE event, std::chrono::milliseconds timeout) {
    const HANDLE events[2] = {event, interrupt_};
    const DWORD count = interrupt_ != nullptr ? 2 : 1;
    const DWORD waited = messageThread_.load() == GetCurrentThreadId()
                             ? WaitHandlingMessages(count, events, Milliseconds(timeout))
                             : WaitForMultipleObjects(count, events, FALSE, Milliseconds(timeout));
    return count == 2 && waited == WAIT_OBJECT_0 + 1 ? WAIT_FAILED : waited;
  }

  // The events and the thread's message queue at once: a message is handled as soon as
  // it comes, and a wait with nothing to do sleeps in the kernel.
  DWORD WaitHandlingMessages(DWORD count, const HANDLE* events, DWORD limit) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
      const ULONGLONG elapsed = GetTickCount64() - start;
      const DWORD left = elapsed >= limit ? 0 : static_cast<DWORD>(limit - elapsed);
      const DWORD waited =
          MsgWaitForMultipleObjectsEx(count, events, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (waited != WAIT_OBJECT_0 + count) return waited;
      messageHandler_();
      // Handling may have taken the rest of the time (a dialog opened meanwhile): what
      // came while it ran still counts.
      if (left == 0) return WaitForMultipleObjects(count, events, FALSE, 0);
    }
  }

  // Whether a pending transfer has finished, without waiting: true with its count, or
  // false with ERROR_IO_INCOMPLETE (still pending) or the error it failed with. A
  // finished one is no longer pending.
  bool Poll(Transfer& transfer, DWORD& count, DWORD& error) {
    count = 0;
    error = 0;
    if (GetOverlappedResult(handle_, &transfer.ov, &count, FALSE)) {
      transfer.pending = false;
      return true;
    }
    error = GetLastError();
    if (error != ERROR_IO_INCOMPLETE) transfer.pending = false;
    return false;
  }

  // Cancels a pending transfer and waits until the driver has let go of its storage.
  void Finish(Transfer& transfer) {
    if (!transfer.pending) return;
    CancelIoEx(handle_, &transfer.ov);
    WaitForSingleObject(transfer.event, INFINITE);
    DWORD count = 0;
    GetOverlappedResult(handle_, &transfer.ov, &count, FALSE);
    transfer.pending = false;
  }

  static IoResult Written(DWORD written) {
    // With no write time-outs a completed write has taken every byte; one that took none
    // would only be tried again and again.
    if (written == 0) return {IoStatus::kFailed, 0};
    return {IoStatus::kOk, written};
  }

  // Reads into the empty buffer what the driver holds queued. With nothing queued: when
  // waitForBytes, a read is issued all the same (one the driver holds is left pending),
  // otherwise none. kOk with bytes buffered, kWouldBlock with none.
  IoResult Fill(bool waitForBytes) {
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, &status)) return {FailedIo(GetLastError()), 0};
    if (status.cbInQue == 0 && !waitForBytes) return {IoStatus::kWouldBlock, 0};
    // Exactly what is queued: a read that gets all it asked for ends without asking
    // the driver whether to wait for more.
    const DWORD want = status.cbInQue == 0
                           ? DWORD{kReadBuffer}
                           : static_cast<DWORD>(std::min<size_t>(status.cbInQue, kReadBuffer));
    begin_ = end_ = 0;
    read_.Restart();
    DWORD count = 0;
    if (ReadFile(handle_, buffer_.data(), want, &count, &read_.ov)) {
      Took(count);
      if (count == 0 && status.cbInQue == 0) driverHoldsReads_ = false;
      return {count > 0 ? IoStatus::kOk : IoStatus::kWouldBlock, count};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      read_.pending = true;
      return {IoStatus::kWouldBlock, 0};
    }
    return {IsGoneError(error) ? IoStatus::kHangUp : IoStatus::kNotStarted, 0};
  }

  // Issues a wait for the next received byte. kTimedOut while it pends or when it
  // reported at once (the caller looks at the queue again).
  WaitStatus AwaitLineEvent() {
    lineEvent_.Restart();
    lineMask_ = 0;
    if (WaitCommEvent(handle_, &lineMask_, &lineEvent_.ov)) return WaitStatus::kTimedOut;
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return FailedWait(error);
    lineEvent_.pending = true;
    return WaitStatus::kTimedOut;
  }

  HANDLE interrupt_;                      // set once by Interrupt, for good
  std::atomic<bool> interrupted_{false};  // the same, read without a call to the system
  std::function<void()> messageHandler_;  // run for window messages during a wait ...
  std::atomic<DWORD> messageThread_{0};    // ... of this thread only (0: none)
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DCB saved_{};
  COMMTIMEOUTS savedTimeouts_{};
  bool haveSavedTimeouts_ = false;
  Transfer read_;       // into buffer_, only while it is empty
  Transfer write_;      // from writeBuffer_
  Transfer lineEvent_;  // WaitCommEvent into lineMask_
  DWORD lineMask_ = 0;
  bool driverHoldsReads_ = true;  // a read issued with nothing queued waits for bytes
  std::array<uint8_t, kReadBuffer> buffer_{};
  size_t begin_ = 0, end_ = 0;  // the bytes of buffer_ not yet handed out
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
