// The benchmarks' script of 2,000 commands: poll mode and a small configuration in turn.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace kavonel::bench {

inline constexpr int kScriptCommands = 2000;

inline std::string WriteBenchScript() {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "kavonel-bench-2000.txt";
  std::ofstream out(path);
  out << "; 2,000 commands: poll mode and a small configuration in turn\n";
  for (int i = 0; i < kScriptCommands / 2; ++i) {
    out << "pollmode set 01 end\n";
    out << "configuration set\n  9F1A 02 0840\n  5F2A 02 0978\nend\n";
  }
  return path.string();
}

}  // namespace kavonel::bench
