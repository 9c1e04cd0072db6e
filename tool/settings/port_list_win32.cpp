// The COM ports present on Windows without Qt: what the device manager lists (SetupAPI,
// with the friendly names) and what the serial drivers enter in the registry's
// HARDWARE\DEVICEMAP\SERIALCOMM. Each may miss ports the other has: virtual port drivers
// often enter only the registry, and Wine's SetupAPI lists no ports at all.
// initguid.h before devguid.h, so that the class GUIDs are defined rather than declared.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "settings/port_list.h"

namespace kavonel {
namespace {

// A string value of a registry key; empty when it is missing or not a string.
std::string StringValue(HKEY key, const char* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size == 0) {
    return {};
  }
  std::string value(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  value.resize(std::min<size_t>(size, value.size()));
  // Stored with its terminating NUL, or without one.
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

bool IsPrinterPort(const std::string& name) {
  return name.size() >= 3 && (name[0] | 0x20) == 'l' && (name[1] | 0x20) == 'p' &&
         (name[2] | 0x20) == 't';
}

// A USB device's serial number is the last part of its instance ID
// (USB\VID_0403&PID_6001\A600XYZ); a device without one gets an ID that Windows makes up,
// with '&' in it.
std::string UsbSerialNumber(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  char id[512] = {};
  if (!SetupDiGetDeviceInstanceIdA(devices, &device, id, sizeof id - 1, nullptr)) return {};
  const std::string text = id;
  const size_t last = text.find_last_of('\\');
  if (text.compare(0, 4, "USB\\") != 0 || last == std::string::npos) return {};
  const std::string serial = text.substr(last + 1);
  return serial.find('&') == std::string::npos ? serial : std::string();
}

struct DevicePort {
  SerialPortEntry entry;
  std::string serialNumber;
};

std::vector<DevicePort> FromDeviceManager() {
  std::vector<DevicePort> ports;
  const HDEVINFO devices =
      SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    const HKEY key =
        SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    std::string name = StringValue(key, "PortName");
    RegCloseKey(key);
    // The ports class holds the printer ports too.
    if (name.empty() || IsPrinterPort(name)) continue;
    char friendly[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, &type,
                                           reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1,
                                           nullptr) ||
        type != REG_SZ) {
      friendly[0] = '\0';
    }
    ports.push_back({{std::move(name), friendly}, UsbSerialNumber(devices, device)});
  }
  SetupDiDestroyDeviceInfoList(devices);
  return ports;
}

std::vector<SerialPortEntry> FromRegistry() {
  std::vector<SerialPortEntry> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD i = 0;; ++i) {
    // Value names are the drivers' device names (\Device\Serial0), the data the port's.
    char valueName[16384];
    DWORD nameLength = sizeof valueName;
    if (RegEnumValueA(key, i, valueName, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    std::string name = StringValue(key, valueName);
    if (!name.empty()) ports.push_back({std::move(name), {}});
  }
  RegCloseKey(key);
  return ports;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPortEntries() {
  std::vector<SerialPortEntry> fromDevices;
  for (DevicePort& port : FromDeviceManager()) fromDevices.push_back(std::move(port.entry));
  return MergedPortLists(std::move(fromDevices), FromRegistry());
}

std::map<std::string, SerialPortDetails> SerialPortDetailsByDevice() {
  std::map<std::string, SerialPortDetails> details;
  for (DevicePort& port : FromDeviceManager()) {
    std::string device = "\\\\.\\" + port.entry.name;
    std::transform(device.begin(), device.end(), device.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    details[device] = {std::move(port.serialNumber), std::move(port.entry.friendlyName)};
  }
  return details;
}

}  // namespace kavonel
