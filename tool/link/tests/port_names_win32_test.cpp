// Port names on Windows: always through the device namespace, which COM10 and up need;
// a full device name as given; paths and drives are no port names.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/com_port.h"

namespace kavonel {
namespace {

TEST(DevicePath, PortNamesMapToDevicePaths) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"COM1", "\\\\.\\COM1"},
      {"COM10", "\\\\.\\COM10"},
      {"COM256", "\\\\.\\COM256"},
      {"com3", "\\\\.\\com3"},
      {"\\\\.\\COM12", "\\\\.\\COM12"},
      {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
      {"", ""},
      {"COM0", ""},
      {"COM05", ""},
      {"COMX", "\\\\.\\COMX"},
      {"C:", ""},
      {"C:\\reader", ""},
      {"..\\COM1", ""},
      {"/dev/ttyS0", ""},
      {std::string(400, 'a'), ""},
      {std::string("COM1\0", 5), ""},
  };
  for (const auto& [name, path] : table) EXPECT_EQ(DevicePathForPort(name), path) << name;
}

}  // namespace
}  // namespace kavonel
