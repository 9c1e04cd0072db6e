// The serial ports present, for the settings dialog and kavonel-cli's `ports`. One file
// per platform: Qt's port enumeration (port_list.cpp), or SetupAPI and the registry on
// Windows without Qt (port_list_win32.cpp).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/settings_rules.h"

namespace kavonel {

// In natural order (/dev/ttyS2 before /dev/ttyS10, COM2 before COM10). Each name is what
// the port field takes: a device path (/dev/ttyUSB0), or on Windows COMn.
std::vector<SerialPortEntry> ListSerialPortEntries();

// The names alone.
inline std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> names;
  for (SerialPortEntry& entry : ListSerialPortEntries()) names.push_back(std::move(entry.name));
  return names;
}

// What the system knows of the adapter behind a port: its serial number and
// description, each empty where unknown.
struct SerialPortDetails {
  std::string serialNumber;
  std::string description;
};
// Every port present, by device path (/dev/ttyUSB0; on Windows \\.\COM5, upper-case).
std::map<std::string, SerialPortDetails> SerialPortDetailsByDevice();

}  // namespace kavonel
