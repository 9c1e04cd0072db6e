// fuzz_dump_frame: the monitor's dump of a frame whose length field says anything, as a
// response from a hostile reader would carry it. Byte 0 picks the direction; the rest is
// the frame, held on the heap in exactly its size, so a read past it is caught.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "monitor/monitor_text.h"
#include "operations/tests/expected_dump.h"

namespace {

class Pieces final : public kavonel::MonitorOutput {
 public:
  void AppendMonitorText(std::string_view text) override {
    fuzz::Check(text.size() <= kavonel::kMonitorTextLimit);
    all += text;
    ++count;
  }
  std::string all;
  size_t count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const bool tx = (input.Byte() & 1) != 0;
  const std::string_view rest = input.Rest();
  const std::vector<uint8_t> frame(rest.begin(), rest.end());

  Pieces out;
  kavonel::DumpFrame(out, frame.data(), frame.size(), tx);
  fuzz::Check(out.all == kavonel::testing::ExpectedDumpOf(frame.data(), frame.size(), tx));
  // One piece per byte, one per line of sixteen, and the break, header and closing break.
  const auto shown = static_cast<size_t>(std::count(out.all.begin(), out.all.end(), ' '));
  fuzz::Check(out.count == shown + (shown + 15) / 16 + 3);
  return 0;
}
