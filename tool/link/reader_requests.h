// The fixed requests the program sends of its own accord, and the firmware version
// exchange of each reader type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kavonel {

class ComPort;

enum ReaderType : int { kReaderLark = 0, kReaderTernCompat = 1, kReaderTern = 2, kReaderHeron = 3 };

struct FixedRequest {
  uint8_t command;
  uint8_t subCommand;
};
constexpr FixedRequest kCheckConnectionRequest{0x18, 0x01};
constexpr FixedRequest kResetToDefaultRequest{0x04, 0x09};
constexpr FixedRequest kRebootRequest{0x77, 0x05};

// The Lark version request: "Zandrell", 0, 'C', 0x29, 0x00, 0x00, 0x00, CRC.
void BuildShortVersionFrame(uint8_t* frame16);

constexpr size_t kVersionBufferSize = 16583;

// Builds the version request of a reader type into request16. Returns false for type 1,
// which sends nothing.
bool BuildVersionRequest(int readerType, uint8_t* request16);

// Sends the version request of readerType on an open port and reads the answer into
// buffer (kVersionBufferSize bytes, cleared by the caller) as that type needs:
// Lark 41 bytes, type 1 nothing (only a purge), Tern 70 bytes, HERON 14 bytes and then,
// when the status is 0, the declared data and CRC, with a zero byte behind the data.
// Returns the first failing link code; a HERON length that does not fit the buffer
// answers COM_TRANSFER_FAILED without reading it. The status is buffer[11].
uint8_t ExchangeFirmwareVersion(ComPort& port, int readerType, uint8_t* buffer);

// The version text in a version response for a reader type, or nothing where it
// cannot be had (type 1; Tern with fewer than three comma fields).
std::optional<std::string> FirmwareVersionText(int readerType, const uint8_t* buffer);

}  // namespace kavonel
