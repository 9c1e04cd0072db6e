// Decoder throughput and memory on a large generated script.
//
//   bench_decoder [MEGABYTES] [PATH]
//
// Writes a script of about MEGABYTES (default 100) to PATH (default in the temporary
// directory), then, in the same run, reads it line by line with std::getline doing nothing
// else (the baseline) and decodes it with quassel::Decoder. The two take turns five times
// and the best time of each counts (processor time, so other work on the machine
// does not tilt the comparison). Peak memory is the process's high-water mark of resident memory.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "decoder.h"

namespace {

// Writes hex bodies, entry lists and comments in the proportions of a big real script.
void WriteScript(const std::string& path, size_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string block;
  unsigned serial = 0;
  size_t written = 0;
  char text[160];
  while (written < bytes) {
    block.clear();
    block += "; group of terminal data, record " + std::to_string(serial) + "\n";
    block += "group set\n";
    for (int line = 0; line < 12; ++line) {
      std::snprintf(text, sizeof text,
                    "  DF81%02X 06 %012u 9F1B 04 %08X 9F66 04 3600C000  ; limits\n", line,
                    serial * 7 + line, serial + line);
      block += text;
    }
    block += "end\n";
    block += "revocation list add\n";
    for (int line = 0; line < 20; ++line) {
      std::snprintf(text, sizeof text, "  A00000000%d %02X %06X\n", 3 + line % 2,
                    (serial + line) & 0xFF, (serial * 31 + line) & 0xFFFFFF);
      block += text;
    }
    block += "end\n";
    block += "aid set 9F06 07 A0000000031010 FFE4 01 01 9F09 02 0096 end\n";
    out << block;
    written += block.size();
    ++serial;
  }
}

// Resident memory high-water mark in bytes, from /proc (0 where it is not available).
size_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
  }
  return 0;
}

// Processor time of the process rather than wall time: on a shared machine the two
// figures then stay comparable however busy the other cores are.
double Seconds(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
  const std::string path =
      argc > 2 ? argv[2]
               : (std::filesystem::temp_directory_path() / "quassel_bench_script.txt").string();
  WriteScript(path, megabytes << 20);
  const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
  const double mb = fileBytes / (1 << 20);

  // The two take turns, so that a busy machine slows both alike; the best time counts.
  size_t lines = 0;
  size_t baselinePeak = 0;
  double getlineSeconds = 1e30;
  double decodeSeconds = 1e30;
  quassel::LoadResult result;
  for (int round = 0; round < 5; ++round) {
    std::clock_t start = std::clock();
    {
      std::ifstream in(path, std::ios::binary);
      std::string line;
      lines = 0;
      while (std::getline(in, line)) ++lines;
    }
    getlineSeconds = std::min(getlineSeconds, Seconds(start));
    if (round == 0) baselinePeak = PeakResidentBytes();

    start = std::clock();
    {
      quassel::Decoder decoder;
      result = decoder.LoadFile(path);
    }
    decodeSeconds = std::min(decodeSeconds, Seconds(start));
  }
  const size_t peak = PeakResidentBytes();
  if (!std::getenv("QUASSEL_BENCH_KEEP")) std::remove(path.c_str());

  if (result.result != quassel::kOk) {
    std::printf("decoding failed: result %08X detail %08X line %u\n", result.result,
                result.detailCode, result.errorLine);
    return 1;
  }
  const double baselineRate = mb / getlineSeconds;
  const double decodeRate = mb / decodeSeconds;
  const double buffer = result.totalBytes;
  const double limit = 2 * buffer + (16 << 20);
  std::printf("script: %.1f MB, %zu lines, %u records, decoded buffer %.1f MB\n", mb, lines,
              result.commandCount, buffer / (1 << 20));
  std::printf(
      "throughput: decoder %.0f MB/s   baseline std::getline %.0f MB/s   ratio %.2f"
      "   (goal >= 0.50)\n",
      decodeRate, baselineRate, decodeRate / baselineRate);
  std::printf(
      "peak memory: %.1f MB   limit 2 x buffer + 16 MB = %.1f MB   (after baseline "
      "alone: %.1f MB)\n",
      peak / double(1 << 20), limit / (1 << 20), baselinePeak / double(1 << 20));
  return 0;
}
