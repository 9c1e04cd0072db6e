// kavonel: the desktop program. No command-line options; nothing is read or written
// but the serial port and the log file.
#include <QApplication>

#include "app/tarrow_app.h"
#include "dialogs/dialog_look.h"
#include "resources/window_texts.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(kavonel::texts::kApplicationName));
  QApplication::setWindowIcon(kavonel::AppIcon());
  // The main dialog is the only window that counts; closing it ends the program even
  // while another dialog's window is being torn down.
  QApplication::setQuitOnLastWindowClosed(false);
  kavonel::CTarrowApp app;
  return app.InitInstance();
}
