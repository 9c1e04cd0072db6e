#include "pty_ping_pong.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>

namespace kavonel::bench {

PtyResponder::PtyResponder(bool silent) : silent_(silent) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    if (master_ >= 0) close(master_);
    master_ = -1;
    return;
  }
  path_ = name;
  // Held so the line stays up while clients come and go; raw so nothing is echoed.
  heldSlave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  if (heldSlave_ >= 0 && tcgetattr(heldSlave_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(heldSlave_, TCSANOW, &t);
  }
  thread_ = std::thread([this] { Serve(); });
}

PtyResponder::~PtyResponder() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (heldSlave_ >= 0) close(heldSlave_);
  if (master_ >= 0) close(master_);
}

void PtyResponder::Serve() {
  uint8_t answer[16] = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', '2', 0, 0x18, 0, 0, 0, 0xFA, 0xBE};
  size_t have = 0;
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    uint8_t buf[256];
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) continue;
    have += static_cast<size_t>(n);
    while (have >= 16) {
      have -= 16;
      if (!silent_) {
        [[maybe_unused]] ssize_t w = write(master_, answer, sizeof answer);
      }
    }
  }
}

double RawPtyRoundTripsPerSecond(std::chrono::milliseconds duration) {
  PtyResponder responder;
  if (!responder.Ok()) return 0;
  const int fd = open(responder.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  uint8_t request[16] = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', '2', 0, 0x18, 1, 0, 0, 0xCA, 0x89};
  uint8_t answer[16];
  long trips = 0;
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = std::chrono::steady_clock::duration::zero();
  while (elapsed < duration) {
    if (write(fd, request, sizeof request) != sizeof request) break;
    size_t have = 0;
    while (have < sizeof answer) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) {
        close(fd);
        return 0;
      }
      const ssize_t n = read(fd, answer + have, sizeof answer - have);
      if (n > 0) have += static_cast<size_t>(n);
    }
    ++trips;
    elapsed = std::chrono::steady_clock::now() - start;
  }
  close(fd);
  return trips / std::chrono::duration<double>(elapsed).count();
}

}  // namespace kavonel::bench
