#include "link/reader_requests.h"

#include <cstring>

#include "link/com_port.h"
#include "link/frame.h"

namespace kavonel {
namespace {

constexpr FixedRequest kTernVersionRequest{0x09, 0x20};
constexpr FixedRequest kHeronVersionRequest{0x29, 0x00};
constexpr size_t kLarkVersionResponseSize = 41;
constexpr size_t kTernVersionResponseSize = 70;
constexpr size_t kHeronVersionHeadSize = 14;
constexpr size_t kLarkVersionTextOffset = 26;
constexpr size_t kVersionDataOffset = 14;

// The text at offset up to its zero byte, never reading past the buffer.
std::string TextAt(const uint8_t* buffer, size_t offset) {
  const char* text = reinterpret_cast<const char*>(buffer + offset);
  const size_t room = kVersionBufferSize - offset;
  const void* zero = std::memchr(text, 0, room);
  return std::string(text, zero ? static_cast<const char*>(zero) - text : room);
}

}  // namespace

void BuildShortVersionFrame(uint8_t* frame16) {
  static constexpr uint8_t kHead[14] = {'Z', 'a', 'n',  'd',  'r',  'e',  'l',
                                        'l', 0,   0x43, 0x29, 0x00, 0x00, 0x00};
  std::memcpy(frame16, kHead, sizeof kHead);
  const uint16_t crc = FrameCrc(frame16, 14);
  frame16[14] = static_cast<uint8_t>(crc & 0xFF);
  frame16[15] = static_cast<uint8_t>(crc >> 8);
}

bool BuildVersionRequest(int readerType, uint8_t* request16) {
  switch (readerType) {
    case kReaderLark:
      BuildShortVersionFrame(request16);
      return true;
    case kReaderTern:
      BuildFixedFrame(request16, kTernVersionRequest.command, kTernVersionRequest.subCommand);
      return true;
    case kReaderHeron:
      BuildFixedFrame(request16, kHeronVersionRequest.command, kHeronVersionRequest.subCommand);
      return true;
    default:  // type 1 (and any unknown type) asks nothing
      return false;
  }
}

uint8_t ExchangeFirmwareVersion(ComPort& port, int readerType, uint8_t* buffer) {
  uint8_t request[kFixedFrameSize];
  if (!BuildVersionRequest(readerType, request)) {
    return port.SendBytes(request, 0);  // nothing to say: only purge; the status stays 0
  }
  uint8_t result = port.SendBytes(request, sizeof request);
  if (result != COM_OK) return result;
  switch (readerType) {
    case kReaderLark:
      return port.ReceiveBytes(buffer, kLarkVersionResponseSize);
    case kReaderTern:
      return port.ReceiveBytes(buffer, kTernVersionResponseSize);
    default:
      break;
  }
  // HERON: the head first, then as much as it declares.
  result = port.ReceiveBytes(buffer, kHeronVersionHeadSize);
  if (result != COM_OK || buffer[kStatusOffset] != 0) return result;
  const size_t length = static_cast<size_t>(buffer[12]) << 8 | buffer[13];
  // Data and CRC must fit behind the head; the zero behind the data lands on the CRC.
  if (kVersionDataOffset + length + 2 > kVersionBufferSize) return COM_TRANSFER_FAILED;
  result = port.ReceiveBytes(buffer + kVersionDataOffset, length + 2);
  if (result != COM_OK) return result;
  buffer[kVersionDataOffset + length] = 0;
  return COM_OK;
}

std::optional<std::string> FirmwareVersionText(int readerType, const uint8_t* buffer) {
  switch (readerType) {
    case kReaderLark:
      return TextAt(buffer, kLarkVersionTextOffset);
    case kReaderHeron:
      return TextAt(buffer, kVersionDataOffset);
    case kReaderTern: {
      // Fields are the non-empty runs between commas; the third carries the version
      // behind a two-character prefix ("FW1.2.3").
      const std::string text = TextAt(buffer, kVersionDataOffset);
      int field = 0;
      size_t pos = 0;
      while (pos < text.size()) {
        const size_t comma = text.find(',', pos);
        const size_t end = comma == std::string::npos ? text.size() : comma;
        if (end > pos && ++field == 3) {
          const std::string third = text.substr(pos, end - pos);
          return third.size() > 2 ? third.substr(2) : std::string();
        }
        pos = end + 1;
      }
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace kavonel
