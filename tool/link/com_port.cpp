#include "link/com_port.h"

#include <algorithm>
#include <cstring>

#include "link/port_diagnosis.h"
#include "link/serial_device.h"

namespace kavonel {
namespace {

// The operator's text for a name that gives no device path (empty, COM0, too long).
std::string NotAPortNameText(std::string_view portName) {
  if (portName.empty()) return "no port name given";
  constexpr size_t kShown = 64;
  return "not a port name: " + OneLine(std::string(portName.substr(0, kShown))) +
         (portName.size() > kShown ? "..." : "");
}

}  // namespace

bool IsAcceptedBaudRate(int baudRate) {
  static constexpr int kRates[] = {110,  300,   600,   1200,  2400,  4800,
                                   9600, 19200, 38400, 57600, 115200};
  return std::find(std::begin(kRates), std::end(kRates), baudRate) != std::end(kRates);
}

uint32_t SteadyClock::NowMs() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

struct ComPort::Impl {
  std::unique_ptr<SerialDevice> device;
  std::shared_ptr<MonotonicClock> clock;
  ComTimeouts timeouts;

  mutable std::mutex mutex;  // guards open state, the failure and the hook
  bool open = false;
  std::string openProblem;  // the last Open's failure found before the device was asked
  bool deviceRefused = false;
  bool abandoned = false;
  std::function<void()> hook;
  HookRepeat hookRepeat = HookRepeat::kEvery20Ms;
  std::thread::id hookThread;

  // The wait hook as one transfer runs it.
  struct TransferHook {
    std::function<void()> run;  // empty: none, or no more in this transfer
    bool once = false;
    uint32_t last = 0;      // when it last ran, or the transfer began
    uint32_t interval = 0;  // how often it runs (the first time too)
  };

  // The hook this thread may run during a transfer that begins at start.
  TransferHook HookForThisThread(uint32_t start) {
    std::lock_guard<std::mutex> lock(mutex);
    const uint32_t interval = static_cast<uint32_t>(std::max<long long>(
        1, std::min<long long>(timeouts.hookInterval.count(), uint32_t{1} << 30)));
    if (!hook || hookThread != std::this_thread::get_id()) return {{}, false, start, interval};
    return {hook, hookRepeat == HookRepeat::kOncePerTransfer, start, interval};
  }

  // Waits until the device is ready for the direction, or until more than limitMs
  // have gone by since start (unsigned differences: a wrap of the counter changes
  // nothing). The hook, if any, runs every waitHook.interval (or once).
  WaitStatus WaitFor(bool readable, uint32_t start, uint32_t limitMs, TransferHook& waitHook) {
    for (;;) {
      const uint32_t now = clock->NowMs();
      const uint32_t elapsed = now - start;
      if (elapsed > limitMs) {
        // Bytes that came while the hook ran still count: look once more without waiting.
        const auto none = std::chrono::milliseconds(0);
        const WaitStatus last = readable ? device->WaitReadable(none) : device->WaitWritable(none);
        return last == WaitStatus::kTimedOut ? WaitStatus::kTimedOut : last;
      }
      uint32_t slice = limitMs - elapsed + 1;  // passed once more than limitMs has gone by
      if (waitHook.run) {
        const uint32_t sinceHook = now - waitHook.last;
        if (sinceHook >= waitHook.interval) {
          waitHook.run();
          waitHook.last = clock->NowMs();
          if (waitHook.once) waitHook.run = nullptr;
          continue;
        }
        slice = std::min(slice, waitHook.interval - sinceHook);
      }
      const auto timeout = std::chrono::milliseconds(slice);
      const WaitStatus status =
          readable ? device->WaitReadable(timeout) : device->WaitWritable(timeout);
      if (status != WaitStatus::kTimedOut) return status;
    }
  }

  uint8_t Receive(uint8_t* destination, size_t count, uint32_t firstLimit, uint32_t nextLimit) {
    if (!IsOpenLocked()) return COM_NOT_OPEN;
    if (count == 0) return COM_OK;
    std::memset(destination, 0, count);
    uint32_t start = clock->NowMs();
    TransferHook waitHook = HookForThisThread(start);
    uint32_t limit = firstLimit;
    size_t have = 0;
    uint8_t result = COM_OK;
    while (have < count) {
      // Wait first: right after a send the answer is hardly ever there yet, and poll
      // tells at once when it is.
      const WaitStatus w = WaitFor(true, start, limit, waitHook);
      if (w == WaitStatus::kTimedOut) {
        result = COM_TIMEOUT;
        break;
      }
      if (w != WaitStatus::kReady) {
        result = COM_TRANSFER_FAILED;
        break;
      }
      const IoResult r = device->Read(destination + have, count - have);
      if (r.status == IoStatus::kOk && r.count > 0) {
        have += r.count;
        start = clock->NowMs();  // each further byte gets its own deadline
        limit = nextLimit;
      } else if (r.status == IoStatus::kNotStarted) {
        result = COM_READ_NOT_STARTED;
        break;
      } else if (r.status != IoStatus::kWouldBlock && r.status != IoStatus::kOk) {
        result = COM_TRANSFER_FAILED;
        break;
      }
    }
    // A failed receive hands back nothing: the storage reads as if no byte had come.
    if (result != COM_OK) std::memset(destination, 0, count);
    return result;
  }

  bool IsOpenLocked() const {
    std::lock_guard<std::mutex> lock(mutex);
    return open;
  }
};

ComPort::ComPort() : ComPort(MakePlatformSerialDevice(), std::make_shared<SteadyClock>()) {}

ComPort::ComPort(std::unique_ptr<SerialDevice> device, std::shared_ptr<MonotonicClock> clock,
                 ComTimeouts timeouts)
    : impl_(std::make_unique<Impl>()) {
  impl_->device = std::move(device);
  impl_->clock = std::move(clock);
  impl_->timeouts = timeouts;
}

ComPort::~ComPort() {
  Close();
}

uint8_t ComPort::Open(std::string_view portName, int baudRate) {
  const std::string path = DevicePathForPort(portName);
  if (!IsAcceptedBaudRate(baudRate)) return COM_BAD_BAUD_RATE;  // before the port is touched
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->deviceRefused = false;
  impl_->openProblem.clear();
  if (impl_->open || impl_->abandoned) return COM_OPEN_FAILED;  // one port, opened once
  if (path.empty()) {
    impl_->openProblem = NotAPortNameText(portName);
    return COM_OPEN_FAILED;
  }
  if (!impl_->device->Open(path, baudRate)) {
    impl_->deviceRefused = true;
    return COM_OPEN_FAILED;
  }
  impl_->open = true;
  return COM_OK;
}

std::string ComPort::OpenFailureReason() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->open) return {};
  return impl_->deviceRefused ? impl_->device->OpenFailureReason() : impl_->openProblem;
}

void ComPort::Close() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->open) return;
  impl_->device->Close();
  impl_->open = false;
}

bool ComPort::IsOpen() const {
  return impl_->IsOpenLocked();
}

uint8_t ComPort::SendBytes(const uint8_t* data, size_t count) {
  if (!impl_->IsOpenLocked()) return count == 0 ? COM_OK : COM_NOT_OPEN;
  SerialDevice& device = *impl_->device;
  // Whatever the reader sent earlier and nobody read must not pass for the answer.
  device.Purge();
  const uint32_t stallLimit = static_cast<uint32_t>(impl_->timeouts.writeStall.count());
  uint32_t start = impl_->clock->NowMs();
  Impl::TransferHook waitHook = impl_->HookForThisThread(start);
  size_t done = 0;
  while (done < count) {
    const IoResult r = device.Write(data + done, count - done);
    if (r.status == IoStatus::kOk && r.count > 0) {
      done += r.count;
      start = impl_->clock->NowMs();  // progress: the stall clock starts again
      continue;
    }
    if (r.status != IoStatus::kWouldBlock && r.status != IoStatus::kOk) return COM_TRANSFER_FAILED;
    // A device that stops taking bytes must not hold the program for ever.
    if (impl_->WaitFor(false, start, stallLimit, waitHook) != WaitStatus::kReady) {
      return COM_TRANSFER_FAILED;
    }
  }
  return COM_OK;
}

uint8_t ComPort::ReceiveResponseHead(uint8_t* response16) {
  return impl_->Receive(response16, 16,
                        static_cast<uint32_t>(impl_->timeouts.firstHeadByte.count()),
                        static_cast<uint32_t>(impl_->timeouts.nextHeadByte.count()));
}

uint8_t ComPort::ReceiveBytes(uint8_t* destination, size_t count) {
  const uint32_t limit = static_cast<uint32_t>(impl_->timeouts.fixedByte.count());
  return impl_->Receive(destination, count, limit, limit);
}

void ComPort::Abandon() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->abandoned = true;
  }
  impl_->device->Interrupt();
}

void ComPort::SetWaitHook(std::function<void()> hook, HookRepeat repeat) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  // A device that wakes for messages runs the hook itself; the clock then has no part.
  const bool onMessages = repeat == HookRepeat::kOnMessages && hook;
  if (impl_->device->SetMessageHandler(onMessages ? hook : std::function<void()>()) &&
      onMessages) {
    hook = nullptr;
  }
  impl_->hook = std::move(hook);
  impl_->hookRepeat = repeat == HookRepeat::kOnMessages ? HookRepeat::kEvery20Ms : repeat;
  impl_->hookThread = std::this_thread::get_id();
}

ComPort& TheComPort() {
  // Never destroyed: a detection thread nobody waits for may still use it at exit.
  static ComPort* port = new ComPort();
  return *port;
}

uint8_t OpenComPort(std::string_view portName, int baudRate) {
  return TheComPort().Open(portName, baudRate);
}
void CloseComPort() {
  TheComPort().Close();
}
uint8_t SendBytes(const uint8_t* data, size_t count) {
  return TheComPort().SendBytes(data, count);
}
uint8_t ReceiveResponseHead(uint8_t* response16) {
  return TheComPort().ReceiveResponseHead(response16);
}
uint8_t ReceiveBytes(uint8_t* destination, size_t count) {
  return TheComPort().ReceiveBytes(destination, count);
}

}  // namespace kavonel
