// The four user settings. Nothing is stored between runs: every run starts from these
// defaults.
#pragma once

#include <string>

namespace kavonel {

struct ReaderSettings {
  std::string strComPort = "COM1";
  int nReaderType = 2;  // 0 Lark, 1 Tern in Lark Backward Compatibility Mode, 2 Tern, 3 HERON
  int nBaudRate = 115200;
  bool bLogCommands = false;
};

}  // namespace kavonel
