// The serial device on a POSIX terminal, and the port names of the platform: the only
// file of the link that knows the platform's calls (serial_device_win32.cpp is its twin).
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "link/com_port.h"
#include "link/port_diagnosis.h"
#include "link/serial_device.h"

namespace kavonel {
namespace {

// Longer paths than the system's own limit (PATH_MAX) cannot name a device.
constexpr size_t kMaxDevicePathLength = 4096;

speed_t SpeedFor(int baudRate) {
  switch (baudRate) {
    case 110:
      return B110;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

// Raw 8N1, receiver on, modem lines ignored, no flow control either way, reads that
// never block in the driver.
void SetRawLine(termios& t, int baudRate) {
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, SpeedFor(baudRate));
  cfsetospeed(&t, SpeedFor(baudRate));
}

bool IsHangUpError(int error) {
  return error == EIO || error == ENXIO || error == ENODEV;
}

class PosixSerialDevice final : public SerialDevice {
 public:
  PosixSerialDevice()
      : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), wakeError_(wake_ < 0 ? errno : 0) {}
  ~PosixSerialDevice() override {
    Close();
    if (wake_ >= 0) ::close(wake_);
  }

  bool Open(const std::string& path, int baudRate) override {
    if (fd_ >= 0) return false;
    failedPath_ = path;
    openError_ = 0;
    // Without its wake-up a port could not be abandoned: its waits would outlast Ctrl-C.
    if (wake_ < 0) {
      openError_ = wakeError_;
      return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      openError_ = errno;
      return false;
    }
    // flock holds against every second opener, root included; TIOCEXCL keeps others
    // out of the tty even if they do not ask for the lock. A file that is no terminal
    // is refused before it is locked.
    if (!::isatty(fd)) {
      openError_ = ENOTTY;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      openError_ = errno == EINTR ? EWOULDBLOCK : errno;
    }
    if (openError_ != 0) {
      ::close(fd);
      return false;
    }
    ::ioctl(fd, TIOCEXCL);
    haveSaved_ = ::tcgetattr(fd, &saved_) == 0;
    termios t{};
    if (haveSaved_) t = saved_;
    SetRawLine(t, baudRate);
    ::tcsetattr(fd, TCSANOW, &t);  // refused settings are not fatal (pseudo-terminals)
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    fd_ = fd;
    return true;
  }

  void Close() override {
    if (fd_ < 0) return;
    // Unsent bytes are dropped rather than drained: close must not wait on a device
    // that stopped taking them.
    ::tcflush(fd_, TCIOFLUSH);
    if (haveSaved_) ::tcsetattr(fd_, TCSANOW, &saved_);
    // The exclusive flag lives on the tty and outlives us while another holder keeps it
    // open (a virtual reader does): clear it, or the next normal user is locked out.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  // Looked at when asked, not at every failure: the holders' scan reads /proc.
  std::string OpenFailureReason() const override {
    return DiagnosePortOpen(failedPath_, openError_).text;
  }

  void Purge() override {
    if (fd_ < 0) return;
    // Flushing is the dearest call of a round trip; with both queues empty there is
    // nothing to drop, so two cheap queries spare it.
    int input = 0, output = 0;
    if (::ioctl(fd_, FIONREAD, &input) == 0 && input == 0 && ::ioctl(fd_, TIOCOUTQ, &output) == 0 &&
        output == 0) {
      return;
    }
    ::tcflush(fd_, TCIOFLUSH);
  }

  long QueuedBytes() override {
    int count = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0) return -1;
    return count;
  }

  IoResult Read(uint8_t* destination, size_t maxCount) override {
    if (fd_ < 0) return {IoStatus::kNotStarted, 0};
    for (;;) {
      const ssize_t n = ::read(fd_, destination, maxCount);
      if (n > 0) return {IoStatus::kOk, static_cast<size_t>(n)};
      // With VMIN = VTIME = 0 a read of nothing also means "nothing yet"; a hang-up shows
      // in poll (POLLHUP) or as EIO on the next read.
      if (n == 0) return {HungUp() ? IoStatus::kHangUp : IoStatus::kWouldBlock, 0};
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::kWouldBlock, 0};
      if (IsHangUpError(errno)) return {IoStatus::kHangUp, 0};
      if (errno == EBADF || errno == EINVAL || errno == EFAULT) return {IoStatus::kNotStarted, 0};
      return {IoStatus::kFailed, 0};
    }
  }

  IoResult Write(const uint8_t* source, size_t count) override {
    if (fd_ < 0) return {IoStatus::kNotStarted, 0};
    for (;;) {
      const ssize_t n = ::write(fd_, source, count);
      if (n > 0) return {IoStatus::kOk, static_cast<size_t>(n)};
      if (n == 0) return {IoStatus::kWouldBlock, 0};
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::kWouldBlock, 0};
      if (IsHangUpError(errno)) return {IoStatus::kHangUp, 0};
      return {IoStatus::kFailed, 0};
    }
  }

  WaitStatus WaitReadable(std::chrono::milliseconds timeout) override {
    return Wait(POLLIN, timeout);
  }
  WaitStatus WaitWritable(std::chrono::milliseconds timeout) override {
    return Wait(POLLOUT, timeout);
  }

  // The counter is never read back, so it stays readable and every later wait ends too.
  void Interrupt() override {
    if (wake_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
  }

 private:
  WaitStatus Wait(short events, std::chrono::milliseconds timeout) {
    if (fd_ < 0) return WaitStatus::kFailed;
    pollfd p[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
    const int ms = static_cast<int>(std::min<long long>(timeout.count(), 1 << 30));
    const int n = ::poll(p, 2, ms);
    if (n < 0) return errno == EINTR ? WaitStatus::kTimedOut : WaitStatus::kFailed;
    if (n == 0) return WaitStatus::kTimedOut;
    if (p[1].revents & POLLIN) return WaitStatus::kFailed;
    // Data that arrived before a hang-up is still read first.
    if (p[0].revents & events) return WaitStatus::kReady;
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitStatus::kHangUp;
    return WaitStatus::kTimedOut;
  }

  bool HungUp() {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }

  int fd_ = -1;
  std::string failedPath_;
  int openError_ = 0;  // errno of the last failed Open
  const int wake_;     // eventfd that Interrupt makes readable; lives as long as the device
  const int wakeError_;  // errno of its making, when that failed (EMFILE)
  termios saved_{};
  bool haveSaved_ = false;
};

}  // namespace

const char kPortNameHint[] = "a device path, COMn or a name under /dev";

std::string DevicePathForPort(std::string_view portName) {
  if (portName.empty() || portName.find('\0') != std::string_view::npos) return {};
  std::string path;
  if (portName.front() == '/') {
    path = std::string(portName);
  } else if (portName.size() > 3 && portName.substr(0, 3) == "COM" &&
             std::all_of(portName.begin() + 3, portName.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
    // COMn is the n-th serial port, /dev/ttyS(n-1); COM0 names none.
    std::string_view digits = portName.substr(3);
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    if (digits.size() > 9) return {};
    unsigned long n = std::stoul(std::string(digits));
    if (n == 0) return {};
    path = "/dev/ttyS" + std::to_string(n - 1);
  } else {
    path = "/dev/" + std::string(portName);
  }
  if (path.size() >= kMaxDevicePathLength) return {};
  return path;
}

std::unique_ptr<SerialDevice> MakePlatformSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

}  // namespace kavonel
