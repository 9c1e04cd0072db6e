// fuzz_port_name: any text as the port name of the settings or --port: the device path it
// maps to, and what opening the port then opens.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "link/com_port.h"
#include "link/fake_serial_device.h"

using namespace kavonel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const std::string path = DevicePathForPort(name);

  if (!path.empty()) {
    fuzz::Check(path.front() == '/' && path.size() < 4096);
    fuzz::Check(path.find('\0') == std::string::npos);
    // A device path names itself.
    fuzz::Check(DevicePathForPort(path) == path);
    if (name.front() == '/') fuzz::Check(path == name);
    // The n-th serial port and COMn name each other (COM numbers have up to nine digits).
    constexpr std::string_view kSerial = "/dev/ttyS";
    const std::string_view number =
        std::string_view(path).substr(std::min(path.size(), kSerial.size()));
    if (path.starts_with(kSerial) && !number.empty() && number.size() < 9 &&
        number.find_first_not_of("0123456789") == std::string_view::npos &&
        (number.size() == 1 || number.front() != '0')) {
      const unsigned long n = std::stoul(std::string(number)) + 1;
      fuzz::Check(DevicePathForPort("COM" + std::to_string(n)) == path);
    }
  } else {
    // Refused: nothing, a NUL, a COM number that names no port, or a path too long.
    fuzz::Check(name.empty() || name.find('\0') != std::string_view::npos ||
                name.starts_with("COM") || name.size() >= 4096 - 5);
  }

  // Opening goes to exactly that path, and a refused name opens nothing.
  auto clock = std::make_shared<FakeClock>();
  auto line = std::make_shared<FakeLine>(clock);
  line->existingPaths = {path};
  ComPort port(std::make_unique<FakeSerialDevice>(line), clock);
  const uint8_t opened = port.Open(name, 9600);
  fuzz::Check((opened == COM_OK) == !path.empty());
  fuzz::Check(line->openCount == (path.empty() ? 0 : 1) && line->openedPath == path);
  return 0;
}
