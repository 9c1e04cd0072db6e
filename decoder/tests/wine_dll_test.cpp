// Quassel.dll loaded at run time by a C program under Wine decodes every example and
// golden script into the same records as libquassel.so here.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "quassel.h"
#include "wine_support.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;

// The line load_quassel_dll prints for a script, from the Linux library.
std::string LinuxLine(const fs::path& script) {
  uint32_t count = 0, largest = 0, total = 0, detail = 0, line = 0;
  const uint32_t result =
      LoadConfigurationText(script.c_str(), 2, &count, &largest, &total, &detail, &line);
  char head[32];
  std::snprintf(head, sizeof head, "%08x ", result);
  std::string out = script.filename().string() + " " + head;
  if (result != QUASSEL_OK || total == 0) return out + "-\n";
  std::vector<uint8_t> records(total);
  uint32_t capacity = total;
  if (GetAllConfigCommands(records.data(), &capacity) != QUASSEL_OK) return out + "?\n";
  for (uint32_t i = 0; i < capacity; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", records[i]);
    out += hex;
  }
  return out + "\n";
}

TEST(WineDll, LoadedByNameItDecodesLikeTheLinuxLibrary) {
  std::vector<fs::path> scripts;
  for (const char* dir : {QUASSEL_EXAMPLES_DIR, QUASSEL_GOLDEN_DIR}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".txt") scripts.push_back(entry.path());
    }
  }
  ASSERT_GE(scripts.size(), 4u);
  // A script with an error and one that cannot be opened answer alike too.
  const fs::path bad = fs::path(::testing::TempDir()) / "kavonel-wine-bad.txt";
  if (std::FILE* f = std::fopen(bad.c_str(), "w")) {
    std::fputs("pollmode set 01 end\ngroup add\n", f);
    std::fclose(f);
  }
  scripts.push_back(bad);
  scripts.push_back(fs::path(::testing::TempDir()) / "kavonel-wine-missing.txt");

  std::vector<std::string> args;
  std::string expected;
  for (const fs::path& script : scripts) {
    args.push_back(WinePath(script.string()));
    expected += LinuxLine(script);
  }
  const ProcessResult r = RunWindows("load_quassel_dll.exe", args);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, expected);
}

}  // namespace
}  // namespace kavonel::testing
