// Request and response frames: header tag, command, sub-command (status in a
// response), big-endian data length, data, CRC-16/CCITT-FALSE sent low byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kavonel {

constexpr size_t kFixedFrameSize = 16;   // a request or response without data
constexpr size_t kFrameHeaderSize = 10;  // "Zandrell2" and a zero byte
constexpr size_t kResponseHeadSize = 16;
constexpr size_t kStatusOffset = 11;
constexpr size_t kScriptFrameBufferSize = 4096;
// What the script frame buffer leaves for one command record (header and CRC around it).
constexpr size_t kMaxScriptRecordSize = kScriptFrameBufferSize - kFrameHeaderSize - 2;

// CRC-16/CCITT-FALSE: poly 0x1021, init 0xFFFF, no reflection, no final XOR.
uint16_t FrameCrc(const uint8_t* data, size_t count);

// A 16-byte long-header request without data.
void BuildFixedFrame(uint8_t* frame16, uint8_t command, uint8_t subCommand);

// Frames the record of recordLength bytes that lies at offset 10 of buffer (the script
// frame buffer, kScriptFrameBufferSize bytes): header tag in front, CRC behind.
// Returns the frame's length, recordLength + 12. recordLength must not exceed
// kMaxScriptRecordSize (the room to offer the decoder); a longer one is not framed and
// answers 0, and nothing is written.
size_t FrameScriptCommand(uint8_t* buffer, uint32_t recordLength);

// Text for a response status byte; "Failed" for 9 and above.
const char* ReaderStatusText(uint8_t status);

}  // namespace kavonel
