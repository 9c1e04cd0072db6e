// The serial ports present, for the settings dialog and kavonel-cli's `ports`.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kavonel {

// Each a device path (/dev/ttyUSB0), in natural order (/dev/ttyS2 before /dev/ttyS10).
std::vector<std::string> ListSerialPorts();

// What the system knows of the adapter behind a port: its serial number and
// description, each empty where unknown.
struct SerialPortDetails {
  std::string serialNumber;
  std::string description;
};
// Every port present, by device path (/dev/ttyUSB0).
std::map<std::string, SerialPortDetails> SerialPortDetailsByDevice();

}  // namespace kavonel
