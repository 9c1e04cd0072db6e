// The command kinds the decoder produces and the name the program shows for each.
#pragma once

#include <cstdint>

namespace quassel {

// The display name of a record's command and sub-command byte, or nullptr for a pair
// that no statement produces (and for any command byte outside 0x01 to 0x84).
const char* CommandDisplayName(uint8_t command, uint8_t subCommand);

}  // namespace quassel
