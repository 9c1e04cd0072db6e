// kavonel: the desktop program. No command-line options; nothing is read or written
// but the serial port and the log file.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "qt/dialog_look.h"
#include "qt/tarrow_app.h"
#include "resources/window_texts.h"

int main(int argc, char* argv[]) {
  int code = 0;
  bool detectionRunning = false;
  {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kavonel::texts::kApplicationName));
    QApplication::setWindowIcon(kavonel::AppIcon());
    // Only the main dialog's end ends the program, not the closing of a dialog shown
    // before it (the settings dialog at start-up).
    QApplication::setQuitOnLastWindowClosed(false);
    kavonel::CTarrowApp app;
    code = app.InitInstance();
    detectionRunning = app.DetectionStillRunning();
  }
  if (detectionRunning) {
    // The detached detection thread may still be using the port; ending here, without
    // the exit-time destructors, lets it vanish with the process instead of meeting a
    // destroyed port. The log file is closed already and every write was flushed.
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
