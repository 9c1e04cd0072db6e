// The texts of the script run and of the reader operations, each defined once: the
// window, kavonel-cli and the tests all take them from here.
#pragma once

#include <cstdint>
#include <string>

#include "operations/operations.h"
#include "link/reader_requests.h"

namespace kavonel {

// Text of a decoder result or detail code. The three detail codes end without a line
// break; every unknown code is an unspecified failure.
const char* DecoderResultText(uint32_t code);

// The name line of a record: its display name, or for a pair that has none (the
// decoder never makes one) a placeholder that names the two bytes.
std::string CommandDisplayText(uint8_t command, uint8_t subCommand);

// Status line and status reporter texts of a verdict; nullptr for VERDICT_NONE.
const char* RunVerdictStatusLineText(RunVerdict verdict);
const char* RunVerdictReporterText(RunVerdict verdict);

namespace texts {
inline constexpr char kPortOpenFailed[] = "The Comport:- Open Failed\n";
inline constexpr char kUnableToCommunicate[] = "The Tool: Unable to Communicate with the device\n";
inline constexpr char kFileError[] = "File error occured\n";
inline constexpr char kScriptRunning[] = "Configuration Script is running..";
inline constexpr char kReaderFound[] = "Orvessa Reader Found!";
inline constexpr char kReaderNotFound[] = "Orvessa Reader Not Found!!!";
inline constexpr char kNoVersionInfo[] = "Unable to Retrieve Version Info from device\n";
}  // namespace texts

// One column of the family table of the three button operations. Monitor texts are
// given as the pieces that are appended one by one (nullptr: no second piece).
struct ButtonOperationTexts {
  FixedRequest request;
  // Reset writes its port and link failures without the empty line the others put first.
  bool emptyLineBeforeFailure;
  const char* successMonitor[2];
  const char* successStatus;  // status line and status reporter
  const char* failureMonitor[2];
  const char* failureStatusLine;
  const char* failureReporter;  // differs from the line for Reboot only (three dots)
};

extern const ButtonOperationTexts kCheckConnectionTexts;
extern const ButtonOperationTexts kResetToDefaultTexts;
extern const ButtonOperationTexts kRebootReaderTexts;

}  // namespace kavonel
