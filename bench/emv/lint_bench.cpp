// What lint's data checks cost on top of decoding.
//
//   bench_lint [MEGABYTES]
//
// Writes a script of about MEGABYTES (default 20) of configuration, group and AID bodies,
// and a second script with the same body bytes under pollmode set, whose bodies are not
// read as TLV. Lints both as kavonel-cli lint does (decode with the line of each byte,
// then check), taking turns five times; the best processor time of each counts.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "decoder.h"
#include "script_checks.h"

namespace {

// Bodies as a set-up writes them: one element per line, three-byte tags among them.
void WriteScript(const std::string& path, size_t bytes, bool tlv) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const char* heads[] = {"configuration set", "group set", "aid set"};
  std::string block;
  char text[160];
  size_t written = 0;
  for (unsigned serial = 0; written < bytes; ++serial) {
    block.clear();
    block += tlv ? heads[serial % 3] : "pollmode set";
    block += "\n";
    block += "  FFE4 01 01              ; group\n";
    if (serial % 3 == 2) block += "  9F06 07 A0000000031010  ; AID\n";
    for (int line = 0; line < 4; ++line) {
      std::snprintf(text, sizeof text, "  DF812%d 06 %012u\n", 3 + line, serial * 7 + line);
      block += text;
    }
    std::snprintf(text, sizeof text, "  9F1B 04 %08X 9F1A 02 0840 9F35 01 22\n", serial);
    block += text;
    block += "  5F2A 02 0978 5F36 01 02 9F15 02 5999 9F1C 08 5445524D30303031\n";
    block += "  DF8117 01 00 DF8118 01 60 DF8119 01 08 DF811B 01 20 9F09 02 0096\n";
    block += "  DF8120 05 F45084800C DF8121 05 0000000000 DF8122 05 F45084800C\n";
    block += "  9F33 03 E0F8C8 9F40 05 6000F0A001 9F66 04 3600C000\nend\n";
    out << block;
    written += block.size();
  }
}

struct Lint {
  size_t records = 0;
  size_t findings = 0;
  bool ok = false;
};

Lint LintFile(const std::string& path) {
  quassel::Decoder decoder;
  std::vector<uint32_t> lineEnds;
  decoder.SetLineEnds(&lineEnds);
  Lint lint;
  lint.ok = decoder.LoadFile(path).result == quassel::kOk;
  const std::vector<quassel::RecordView> records = decoder.Records();
  const kavonel::emv::CheckResult checks =
      kavonel::emv::CheckScript(records, decoder.Bytes(), kavonel::emv::LineMap(lineEnds));
  lint.records = records.size();
  lint.findings = checks.findings.size() + checks.notListed;
  return lint;
}

double Seconds(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20;
  const auto dir = std::filesystem::temp_directory_path();
  const std::string tlvPath = (dir / "kavonel_bench_lint_tlv.txt").string();
  const std::string pollPath = (dir / "kavonel_bench_lint_pollmode.txt").string();
  WriteScript(tlvPath, megabytes << 20, true);
  WriteScript(pollPath, megabytes << 20, false);

  double tlvSeconds = 1e30;
  double pollSeconds = 1e30;
  Lint tlv, poll;
  for (int round = 0; round < 5; ++round) {
    std::clock_t start = std::clock();
    poll = LintFile(pollPath);
    pollSeconds = std::min(pollSeconds, Seconds(start));
    start = std::clock();
    tlv = LintFile(tlvPath);
    tlvSeconds = std::min(tlvSeconds, Seconds(start));
  }
  const double mb = static_cast<double>(std::filesystem::file_size(tlvPath)) / (1 << 20);
  std::remove(tlvPath.c_str());
  std::remove(pollPath.c_str());
  if (!tlv.ok || !poll.ok || tlv.findings != 0) {
    std::printf("lint failed: decoded %d/%d, %zu findings on the TLV script\n", tlv.ok, poll.ok,
                tlv.findings);
    return 1;
  }
  std::printf("script: %.1f MB, %zu records\n", mb, tlv.records);
  std::printf(
      "lint: TLV bodies %.0f MB/s (%.3f s)   baseline pollmode bodies %.0f MB/s (%.3f s)   "
      "ratio %.2f   (goal <= 2.00)\n",
      mb / tlvSeconds, tlvSeconds, mb / pollSeconds, pollSeconds, tlvSeconds / pollSeconds);
  return 0;
}
