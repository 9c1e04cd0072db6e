// The serial ports present, for the settings dialog and kavonel-cli's `ports`.
#pragma once

#include <string>
#include <vector>

namespace kavonel {

// Each a device path (/dev/ttyUSB0), in natural order (/dev/ttyS2 before /dev/ttyS10).
std::vector<std::string> ListSerialPorts();

// What the system knows of the adapter behind a port (a device path, or a link to one):
// its serial number and description, each empty where unknown.
struct SerialPortDetails {
  std::string serialNumber;
  std::string description;
};
SerialPortDetails DetailsOfSerialPort(const std::string& path);

}  // namespace kavonel
