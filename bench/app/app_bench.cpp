// bench_app: a script of 2,000 commands through `kavonel-cli run` against an instant
// reader-sim, frame dumps and trace included (read from a pipe as a caller would),
// beside the raw round-trip rate of a plain pty ping-pong measured in the same run.
#include <chrono>
#include <cstdio>
#include <string>

#include "bench_script.h"
#include "e2e_support.h"
#include "pty_ping_pong.h"
#include "sim/sim_process.h"

using namespace std::chrono;

namespace {

constexpr int kCommands = kavonel::bench::kScriptCommands;

}  // namespace

int main() {
  const std::string script = kavonel::bench::WriteBenchScript();
  kavonel::SimProcess sim({"--instant"});
  if (!sim.Started()) {
    std::fprintf(stderr, "bench_app: reader-sim did not start: %s\n", sim.Error().c_str());
    return 1;
  }
  // One warm-up run (page cache, the library), then the measured one.
  kavonel::testing::RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script});
  const auto start = steady_clock::now();
  const kavonel::testing::ProcessResult run =
      kavonel::testing::RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script});
  const double seconds = duration<double>(steady_clock::now() - start).count();
  if (run.exitCode != 0) {
    std::fprintf(stderr, "bench_app: kavonel-cli run ended with %d: %s\n", run.exitCode, run.err.c_str());
    return 1;
  }
  const double cliRate = kCommands / seconds;
  const double rawRate = kavonel::bench::RawPtyRoundTripsPerSecond(milliseconds(1000));

  std::printf("kavonel-cli run, %d commands (trace %zu bytes): %10.0f commands/s (%.3f s)\n",
              kCommands, run.out.size(), cliRate, seconds);
  std::printf("baseline: raw pty round trips, 16 bytes each way:  %10.0f round trips/s\n", rawRate);
  if (rawRate > 0) {
    std::printf("ratio: %.2f of the raw rate (goal: at least 0.33)\n", cliRate / rawRate);
  }
  return 0;
}
