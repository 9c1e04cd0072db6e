#include "link/frame.h"

#include <cstring>

namespace kavonel {
namespace {

constexpr uint8_t kLongHeaderTag[kFrameHeaderSize] = {'Z', 'a', 'n', 'd', 'r',
                                                      'e', 'l', 'l', '2', 0};

// Entry i is the register after shifting i << 8 through the polynomial eight times.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                           : static_cast<uint16_t>(crc << 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

void PutCrc(uint8_t* at, uint16_t crc) {
  at[0] = static_cast<uint8_t>(crc & 0xFF);  // low byte first on the wire
  at[1] = static_cast<uint8_t>(crc >> 8);
}

}  // namespace

uint16_t FrameCrc(const uint8_t* data, size_t count) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
  }
  return crc;
}

void BuildFixedFrame(uint8_t* frame16, uint8_t command, uint8_t subCommand) {
  std::memcpy(frame16, kLongHeaderTag, kFrameHeaderSize);
  frame16[10] = command;
  frame16[11] = subCommand;
  frame16[12] = 0;
  frame16[13] = 0;
  PutCrc(frame16 + 14, FrameCrc(frame16, 14));
}

size_t FrameScriptCommand(uint8_t* buffer, uint32_t recordLength) {
  // Never write past the buffer: a longer record cannot have been placed in it whole,
  // so nothing is framed (the caller gives the decoder only the free room).
  if (recordLength > kMaxScriptRecordSize) return 0;
  std::memcpy(buffer, kLongHeaderTag, kFrameHeaderSize);
  const size_t crcAt = kFrameHeaderSize + recordLength;
  PutCrc(buffer + crcAt, FrameCrc(buffer, crcAt));
  return crcAt + 2;
}

const char* ReaderStatusText(uint8_t status) {
  static const char* const kTexts[] = {
      "OK",
      "Incorrect Header Tag ",
      "Unknown Command ",
      "Unknown Sub-command",
      "CRC Error in Frame",
      "Incorrect Parameter",
      "Parameter Not Supported",
      "Mal-formatted Data ",
      "Timeout ",
  };
  return status < sizeof kTexts / sizeof kTexts[0] ? kTexts[status] : "Failed";
}

}  // namespace kavonel
