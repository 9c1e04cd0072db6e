#include "command_names.h"

namespace quassel {
namespace {

struct CommandName {
  uint8_t command;
  uint8_t subCommand;
  const char* name;
};

// Four names end in a blank: that is how the reader's operators know them.
constexpr CommandName kCommandNames[] = {
    {0x01, 0x01, "Set Poll Mode"},
    {0x01, 0x03, "Set Message Set"},
    {0x01, 0x05, "Source Set"},
    {0x04, 0x00, "Set Configuration"},
    {0x04, 0x02, "Set Configurable AID"},
    {0x04, 0x03, "Set Configurable Group"},
    {0x04, 0x04, "Delete Configurable AID"},
    {0x04, 0x05, "Delete Configurable Group"},
    {0x04, 0x07, "KAT Set"},
    {0x04, 0x08, "FDC Set"},
    {0x04, 0x0C, "Set Cash Transaction Risk parameters"},
    {0x04, 0x0D, "Set Cash back Transaction Risk parameters"},
    {0x04, 0x0E, "Set DRL Risk parameters"},
    {0x30, 0x01, "Set Baud Rate"},
    {0x84, 0x04, "Add Entry to EMV Revocation List "},
    {0x84, 0x05, "Revocation List Delete Specified Rid Index"},
    {0x84, 0x06, "Delete All Entries from EMV Revocation List "},
    {0x84, 0x09, "Add Entry to EMV Exception List "},
    {0x84, 0x0A, "Delete Entry from EMV Exception List"},
    {0x84, 0x0B, "Delete All Entries from EMV Exception List "},
    {0x84, 0x0D, "Delete Entry from EMV Revocation List"},
};

}  // namespace

const char* CommandDisplayName(uint8_t command, uint8_t subCommand) {
  if (command < 0x01 || command > 0x84) return nullptr;
  for (const CommandName& entry : kCommandNames) {
    if (entry.command == command && entry.subCommand == subCommand) return entry.name;
  }
  return nullptr;
}

}  // namespace quassel
