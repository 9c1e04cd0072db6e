// A reader played on the link's in-memory line: every complete request frame written
// since the last purge is recorded and answered with the next scripted reply.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/com_port.h"
#include "link/fake_serial_device.h"
#include "link/frame.h"

namespace kavonel::testing {

using Bytes = std::vector<uint8_t>;

// A response frame in the long-header layout: status in place of the sub-command,
// data, CRC; padded with zero bytes to padTo.
inline Bytes ResponseFrame(uint8_t command, uint8_t status, std::string_view data = {},
                           size_t padTo = 0, std::optional<uint16_t> lengthField = std::nullopt) {
  Bytes frame = {'Z', 'a', 'n', 'd', 'r', 'e', 'l', 'l', '2', 0, command, status};
  const uint16_t length = lengthField.value_or(static_cast<uint16_t>(data.size()));
  frame.push_back(static_cast<uint8_t>(length >> 8));
  frame.push_back(static_cast<uint8_t>(length & 0xFF));
  frame.insert(frame.end(), data.begin(), data.end());
  const uint16_t crc = FrameCrc(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  if (frame.size() < padTo) frame.resize(padTo, 0);
  return frame;
}

inline Bytes StatusReply(uint8_t status) {
  return ResponseFrame(0x00, status);
}

inline ComTimeouts ShortTimeouts() {
  ComTimeouts t;
  t.firstHeadByte = std::chrono::milliseconds(600);
  t.nextHeadByte = std::chrono::milliseconds(20);
  t.fixedByte = std::chrono::milliseconds(100);
  t.readByte = std::chrono::milliseconds(20);
  t.writeStall = std::chrono::milliseconds(100);
  return t;
}

struct FakeReader {
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>(1000);
  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>(clock);
  ComPort port;
  std::vector<Bytes> requests;               // every complete request, in order
  std::deque<std::optional<Bytes>> replies;  // nullopt: stays silent

  explicit FakeReader(ComTimeouts timeouts = ShortTimeouts())
      : port(std::make_unique<FakeSerialDevice>(line), clock, timeouts) {
    line->onWrite = [this](FakeLine& l, const Bytes& sincePurge) {
      if (sincePurge.size() < 16) return;
      const size_t expected = 16 + (sincePurge[12] << 8 | sincePurge[13]);
      if (sincePurge.size() != expected) return;
      requests.push_back(sincePurge);
      if (replies.empty()) return;
      std::optional<Bytes> reply = std::move(replies.front());
      replies.pop_front();
      if (reply) l.SendNow(std::move(*reply));
    };
  }
};

}  // namespace kavonel::testing
