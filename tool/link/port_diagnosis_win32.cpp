// Why a port did not open, on Windows: the error of CreateFileA, or no line state.
// Windows does not tell which program holds a COM port.
#include <windows.h>

#include "link/port_diagnosis.h"

namespace kavonel {
namespace {

std::string SystemText(int error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!out.empty() &&
         (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) {
    out.pop_back();
  }
  return out.empty() ? "error " + std::to_string(error) : out;
}

}  // namespace

PortDiagnosis DiagnosePortOpen(const std::string& devicePath, int systemError) {
  PortDiagnosis d;
  switch (systemError) {
    case 0:
      return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      d = {PortProblem::kMissing,
           devicePath + ": no such device; `kavonel-cli ports` lists the ports present"};
      break;
    case ERROR_ACCESS_DENIED:  // what a COM port answers while another program has it
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      d = {PortProblem::kInUse,
           devicePath + ": in use by another program (the system does not let us see which)"};
      break;
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NO_SYSTEM_RESOURCES:
      d = {PortProblem::kNoFileRoom,
           devicePath + ": not opened: the system has no room for more open handles; end other "
                        "programs or configure fewer readers at once"};
      break;
    case ERROR_NOT_SUPPORTED:  // the device has no line state
      d = {PortProblem::kNotSerial, devicePath + ": not a serial port"};
      break;
    default:
      d = {PortProblem::kOther, devicePath + ": " + SystemText(systemError)};
      break;
  }
  d.text = OneLine(std::move(d.text));
  return d;
}

}  // namespace kavonel
