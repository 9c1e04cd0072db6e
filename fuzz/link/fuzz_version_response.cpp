// fuzz_version_response: arbitrary bytes as the reader's answer to the firmware version
// request of each reader type, through the version exchange and the version text.
// Input: byte 0 picks the reader type, byte 1 how the answer trickles in (chunk size,
// and whether it pauses long enough for a time-out), the rest is what the reader sends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "link/com_port.h"
#include "link/fake_serial_device.h"
#include "link/reader_requests.h"

using namespace kavonel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int readerType = data[0] % 5;  // 4 is a type the settings never offer
  const size_t chunk = (data[1] & 0x3F) + 1;
  const bool pause = (data[1] & 0x40) != 0;
  data += 2;
  size -= 2;

  auto clock = std::make_shared<FakeClock>(0xFFFFF000u);  // wraps during the exchange
  auto line = std::make_shared<FakeLine>(clock);
  ComPort port(std::make_unique<FakeSerialDevice>(line), clock);
  if (port.Open("COM1", 115200) != COM_OK) abort();
  uint32_t at = 1;
  for (size_t i = 0; i < size; i += chunk) {
    const size_t n = std::min(chunk, size - i);
    line->Send(at, std::vector<uint8_t>(data + i, data + i + n));
    at += pause && (i / chunk) % 7 == 6 ? 10001 : 3;
  }

  // Exactly the buffer's size on the heap, so any write or read past it is caught.
  std::vector<uint8_t> buffer(kVersionBufferSize, 0);
  const uint8_t result = ExchangeFirmwareVersion(port, readerType, buffer.data());
  if (result != COM_OK && result != COM_TIMEOUT && result != COM_TRANSFER_FAILED) abort();
  if (result == COM_OK) {
    const std::optional<std::string> text = FirmwareVersionText(readerType, buffer.data());
    if (readerType == kReaderHeron && buffer[11] == 0) {
      const size_t declared = static_cast<size_t>(buffer[12]) << 8 | buffer[13];
      if (!text || text->size() > declared) abort();
    }
    if (text && text->find('\0') != std::string::npos) abort();
  }
  return 0;
}
