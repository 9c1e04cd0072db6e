// The serial ports present, for the settings dialog and kavonel-cli's `ports`.
#pragma once

#include <string>
#include <vector>

namespace kavonel {

// Each a device path (/dev/ttyUSB0), in natural order (/dev/ttyS2 before /dev/ttyS10).
std::vector<std::string> ListSerialPorts();

}  // namespace kavonel
