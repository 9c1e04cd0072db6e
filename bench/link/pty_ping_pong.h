// Pseudo-terminal pairs with an instant 16-byte responder, and the raw round-trip rate
// over them: the baseline for any benchmark of request / response traffic on the link.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace kavonel::bench {

// A pseudo-terminal whose master side answers every 16 bytes it receives with 16 bytes
// at once (or never, when silent), on a thread of its own.
class PtyResponder {
 public:
  explicit PtyResponder(bool silent = false);
  ~PtyResponder();
  PtyResponder(const PtyResponder&) = delete;
  PtyResponder& operator=(const PtyResponder&) = delete;
  bool Ok() const { return master_ >= 0; }
  const std::string& SlavePath() const { return path_; }

 private:
  void Serve();
  int master_ = -1;
  int heldSlave_ = -1;
  std::string path_;
  bool silent_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Round trips per second of a plain write / poll / read ping-pong of 16 bytes each way
// against a PtyResponder, measured for about duration. 0 when no pty can be had.
double RawPtyRoundTripsPerSecond(std::chrono::milliseconds duration);

}  // namespace kavonel::bench
