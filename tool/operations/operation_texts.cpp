#include "operations/operation_texts.h"

#include "command_names.h"
#include "monitor/monitor_text.h"

namespace kavonel {

const char* DecoderResultText(uint32_t code) {
  switch (code) {
    case 0x00000000:
      return "Completed successfully\n";
    case 0x20000002:
      return "Not enough memory.\n";
    case 0x20000003:
      return "Parameter has an invalid value, incorrect format, or is a null pointer.\n";
    case 0x20000004:
      return "File was not found\n";
    case 0x20000005:
      return "File open error\n";
    case 0x20000006:
      return "File operation error\n";
    case 0x20000007:
      return "Script Format error\n";
    case 0x20000008:
      return "All the commands in the buffer processed\n";
    case 0x20000009:
      return "The device type is not supported\n";
    case 0x20000010:
      return "Command format error found in script";
    case 0x20000011:
      return "An invalid value found in script";
    case 0x20000012:
      return "Value cannot convert to Hex in script";
    default:
      return "Failed due to unspecified error.\n";
  }
}

std::string CommandDisplayText(uint8_t command, uint8_t subCommand) {
  const char* name = quassel::CommandDisplayName(command, subCommand);
  if (name != nullptr) return name;
  return FormatMonitorText("Command %02X %02X", command, subCommand);
}

const char* RunVerdictStatusLineText(RunVerdict verdict) {
  switch (verdict) {
    case VERDICT_SCRIPT_ERROR:
      return "Error in Script. Processing Aborted.";
    case VERDICT_COMM_ERROR:
      return "Device Communication Error..";
    case VERDICT_NOT_ALL_CONFIGURED:
      return "Reader not configured 100%.";
    case VERDICT_COMPLETED:
      return "Configuration Script run, Completed";
    case VERDICT_NONE:
      break;
  }
  return nullptr;
}

const char* RunVerdictReporterText(RunVerdict verdict) {
  if (verdict == VERDICT_NOT_ALL_CONFIGURED) {
    return "Script OK.\nReader not configured 100%.\nSome commands returned error statuses.";
  }
  return RunVerdictStatusLineText(verdict);
}

const ButtonOperationTexts kCheckConnectionTexts{
    kCheckConnectionRequest,
    true,
    {"\n", "The Device is On line\n"},
    "Device ON line",
    {"\nThe Device is OFF line\n", nullptr},
    "Device is OFF line",
    "Device is OFF line",
};

const ButtonOperationTexts kResetToDefaultTexts{
    kResetToDefaultRequest,
    false,
    {"\n", "\nThe device set to Default configuration successfully\n"},
    "Device Configuration, Success",
    {"\nThe Default configuration fail\n", nullptr},
    "Device Configuration, Fail",
    "Device Configuration, Fail",
};

const ButtonOperationTexts kRebootReaderTexts{
    kRebootRequest,
    true,
    {"\n", "The Device is rebooting...\n"},
    "Device Rebooting...",
    {"\n", "The Device rebooting failed..\n"},
    "Device Rebooting..Failed",
    "Device Rebooting...Failed",
};

}  // namespace kavonel
