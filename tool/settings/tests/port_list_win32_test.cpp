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

namespace kavonel {
namespace {

// Driver entries made for one test and removed after it.
class SerialCommEntries {
 public:
  SerialCommEntries() {
    ok_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                          REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr) == ERROR_SUCCESS;
  }
  ~SerialCommEntries() {
    if (!ok_) return;
    for (const std::string& name : added_) RegDeleteValueA(key_, name.c_str());
    RegCloseKey(key_);
  }
  bool Add(const std::string& device, const std::string& port) {
    if (!ok_) return false;
    added_.push_back(device);
    return RegSetValueExA(key_, device.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(port.c_str()),
                          static_cast<DWORD>(port.size() + 1)) == ERROR_SUCCESS;
  }

 private:
  HKEY key_ = nullptr;
  bool ok_ = false;
  std::vector<std::string> added_;
};

TEST(PortList, RegistryPortsOnceEachInNaturalOrder) {
  SerialCommEntries entries;
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
