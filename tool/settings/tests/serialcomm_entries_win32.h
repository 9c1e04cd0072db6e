// For Windows tests: ports entered where the serial drivers enter theirs, the registry's
// HARDWARE\DEVICEMAP\SERIALCOMM (an administrator's right, which Wine's user has).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kavonel::testing {

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
  bool Remove(const std::string& device) {
    return ok_ && RegDeleteValueA(key_, device.c_str()) == ERROR_SUCCESS;
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

}  // namespace kavonel::testing
