// The command kinds the decoder produces and the name the program shows for each.
#pragma once

#include <cstdint>

namespace quassel {

// The display name of a record's command and sub-command byte, or nullptr for a pair
// that no statement produces (and for any command byte outside 0x01 to 0x84).
const char* CommandDisplayName(uint8_t command, uint8_t subCommand);

// The words of the statement that yields records of this command and sub-command, as
// written in a script ("revocation list add"), or nullptr for a pair no statement yields.
const char* StatementWords(uint8_t command, uint8_t subCommand);

}  // namespace quassel
