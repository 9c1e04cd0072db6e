// For the Wine tests: the Windows programs of build-windows run under Wine, with the
// Linux reader-sim behind a COM port of the prefix. The environment names the parts:
//   WINEPREFIX            a prefix made with `wineboot -i` (required)
//   KAVONEL_WINDOWS_BIN   the folder of the .exe files and Quassel.dll (required)
//   KAVONEL_WINE          the loader (default /usr/lib/wine/wine64)
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim/sim_process.h"

namespace kavonel::testing {

inline std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : fallback;
}

inline std::string WindowsBin() {
  return EnvOr("KAVONEL_WINDOWS_BIN", "");
}

// The COM port of the prefix that the tests map to a reader.
inline constexpr const char* kWinePort = "COM5";

// Points a COM port of the prefix (com5) at a device path: a symbolic link in dosdevices,
// which Wine reads at every open. An empty path removes the port.
inline bool MapWinePort(const std::string& devicePath, const std::string& port = "com5") {
  namespace fs = std::filesystem;
  const fs::path link = fs::path(EnvOr("WINEPREFIX", "")) / "dosdevices" / port;
  std::error_code error;
  fs::remove(link, error);
  if (devicePath.empty()) return true;
  fs::create_symlink(devicePath, link, error);
  return !error;
}

// A Linux path as Windows programs under Wine see it (drive Z: is the root).
inline std::string WinePath(const std::string& unixPath) {
  return "Z:" + unixPath;
}

// Runs program.exe of the Windows build under Wine.
inline ProcessResult RunWindows(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> all = {WindowsBin() + "/" + program};
  all.insert(all.end(), args.begin(), args.end());
  return RunProcess(EnvOr("KAVONEL_WINE", "/usr/lib/wine/wine64"), all);
}

// Enters a COM port where Windows programs look for the ports present (the registry's
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, as a serial driver does), or takes it out again.
inline bool RegisterWinePort(const std::string& port, bool present) {
  const std::string key = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
  const std::string value = "\\Device\\KavonelTest" + port;
  const std::vector<std::string> args =
      present ? std::vector<std::string>{"reg", "add", key, "/v", value, "/d", port, "/f"}
              : std::vector<std::string>{"reg", "delete", key, "/v", value, "/f"};
  return RunProcess(EnvOr("KAVONEL_WINE", "/usr/lib/wine/wine64"), args).exitCode == 0;
}

// A reader-sim whose port is COM5 of the prefix.
class WineReader {
 public:
  explicit WineReader(std::vector<std::string> arguments) : sim_(std::move(arguments)) {
    mapped_ = sim_.Started() && MapWinePort(sim_.Path());
  }
  bool Ready() const { return mapped_; }
  std::string Error() const { return sim_.Started() ? "cannot map COM5" : sim_.Error(); }
  const std::string& Path() const { return sim_.Path(); }

 private:
  SimProcess sim_;
  bool mapped_ = false;
};

}  // namespace kavonel::testing
