// Port names on POSIX: COMn is the n-th serial port, anything else a name under /dev.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/com_port.h"

namespace kavonel {
namespace {

TEST(DevicePath, PortNamesMapToDevicePaths) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"COM1", "/dev/ttyS0"},
      {"COM10", "/dev/ttyS9"},
      {"COM0", ""},
      {"", ""},
      {"/dev/pts/3", "/dev/pts/3"},
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"COMX", "/dev/COMX"},
      {"COM", "/dev/COM"},
      {"pts/7", "/dev/pts/7"},
      {std::string(5000, 'a'), ""},
      {std::string("tty\0S0", 6), ""},
  };
  for (const auto& [name, path] : table) EXPECT_EQ(DevicePathForPort(name), path) << name;
}

}  // namespace
}  // namespace kavonel
