// The Windows port list against the registry: ports the serial drivers enter under
// HARDWARE\DEVICEMAP\SERIALCOMM are listed once each, in natural order. Entering them
// needs an administrator (as Wine's user is).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/port_list.h"
#include "settings/tests/serialcomm_entries_win32.h"

namespace kavonel {
namespace {

TEST(PortList, RegistryPortsOnceEachInNaturalOrder) {
  testing::SerialCommEntries entries;
  ASSERT_TRUE(entries.Add("\\Device\\KavonelTest42", "COM42"));
  ASSERT_TRUE(entries.Add("\\Device\\KavonelTest7", "COM7"));
  ASSERT_TRUE(entries.Add("\\Device\\KavonelTest7b", "com7"));  // a second driver, same port

  const std::vector<std::string> names = ListSerialPorts();
  const auto at = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  ASSERT_LT(at("COM7"), static_cast<long>(names.size()));
  ASSERT_LT(at("COM42"), static_cast<long>(names.size()));
  EXPECT_LT(at("COM7"), at("COM42"));
  EXPECT_EQ(std::count_if(names.begin(), names.end(),
                          [](const std::string& n) { return n == "COM7" || n == "com7"; }),
            1);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), NaturalLess));
}

}  // namespace
}  // namespace kavonel
