// bench_link: request / response round trips through ComPort over a pseudo-terminal,
// beside a raw write / poll / read ping-pong over the same kind of pseudo-terminal, and
// the CPU time the port spends waiting for a reader that never answers.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "link/com_port.h"
#include "link/frame.h"
#include "link/serial_device.h"
#include "pty_ping_pong.h"

using namespace std::chrono;
using namespace kavonel;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double PortRoundTripsPerSecond(milliseconds runFor) {
  bench::PtyResponder responder;
  ComPort port(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
  if (!responder.Ok() || port.Open(responder.SlavePath(), 115200) != COM_OK) return 0;
  uint8_t request[16], answer[16];
  BuildFixedFrame(request, 0x18, 0x01);
  long trips = 0;
  const auto start = steady_clock::now();
  auto elapsed = steady_clock::duration::zero();
  while (elapsed < runFor) {
    if (port.SendBytes(request, 16) != COM_OK || port.ReceiveBytes(answer, 16) != COM_OK) return 0;
    ++trips;
    elapsed = steady_clock::now() - start;
  }
  return trips / duration<double>(elapsed).count();
}

// CPU share of one core while the port waits waitFor for a silent reader.
double SilentWaitCpuShare(milliseconds waitFor, bool withHook) {
  bench::PtyResponder responder(/*silent=*/true);
  ComTimeouts timeouts;
  timeouts.fixedByte = waitFor;
  ComPort port(MakePlatformSerialDevice(), std::make_shared<SteadyClock>(), timeouts);
  if (!responder.Ok() || port.Open(responder.SlavePath(), 115200) != COM_OK) return -1;
  if (withHook) port.SetWaitHook([] {});
  uint8_t request[16], answer[16];
  BuildFixedFrame(request, 0x18, 0x01);
  port.SendBytes(request, 16);
  const double cpu0 = CpuSeconds();
  const auto t0 = steady_clock::now();
  const uint8_t result = port.ReceiveBytes(answer, 16);
  const double wall = duration<double>(steady_clock::now() - t0).count();
  const double cpu = CpuSeconds() - cpu0;
  if (result != COM_TIMEOUT) return -1;
  return cpu / wall;
}

}  // namespace

int main() {
  std::printf("bench_link: 16-byte request / 16-byte response over a pseudo-terminal\n");
  // Short rounds, raw and port taken in turn, compared pair by pair: on a shared machine
  // a ping-pong between two threads is at the scheduler's mercy, and neighbouring rounds
  // see the same load. The medians are printed.
  const milliseconds round(150);
  std::vector<double> raws, ports, ratios;
  for (int i = 0; i < 15; ++i) {
    raws.push_back(bench::RawPtyRoundTripsPerSecond(round));
    ports.push_back(PortRoundTripsPerSecond(round));
    ratios.push_back(raws.back() > 0 ? ports.back() / raws.back() : 0);
  }
  const double raw = Median(raws), port = Median(ports), ratio = Median(ratios);
  std::printf("  baseline raw write/poll/read  %10.0f round trips/s  (median of %zu rounds)\n", raw,
              raws.size());
  std::printf("  ComPort Send+ReceiveBytes     %10.0f round trips/s  (median of %zu rounds)\n",
              port, ports.size());
  std::printf("  ComPort / raw, paired rounds  %9.0f%%  (goal >= 50%%)\n", 100.0 * ratio);

  std::printf("bench_link: CPU while waiting 3 s for a silent reader (share of one core)\n");
  const double idle = SilentWaitCpuShare(milliseconds(3000), false);
  const double hooked = SilentWaitCpuShare(milliseconds(3000), true);
  std::printf("  goal                          %9.2f%%\n", 2.0);
  std::printf("  ComPort, no wait hook         %9.3f%%\n", 100.0 * idle);
  std::printf("  ComPort, hook every 20 ms     %9.3f%%\n", 100.0 * hooked);
  const bool ok =
      raw > 0 && ratio >= 0.5 && idle >= 0 && idle < 0.02 && hooked >= 0 && hooked < 0.02;
  std::printf("%s\n", ok ? "bench_link: goals met" : "bench_link: GOALS MISSED");
  return 0;
}
