// Kavonel.exe: the desktop program. No command-line options; nothing is read or written
// but the serial port and the log file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "win32/tarrow_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  kavonel::CTarrowApp app;
  const int code = app.InitInstance();
  if (app.DetectionStillRunning()) {
    // The detached detection thread may still be using the port; ending here, without
    // the exit-time destructors, lets it vanish with the process instead of meeting a
    // destroyed port. The log file is closed already and every write was flushed.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
