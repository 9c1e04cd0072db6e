#include "win32/tarrow_app.h"

#include <windows.h>
#include <commctrl.h>

#include <chrono>

#include "win32/tarrow_dlg.h"

namespace kavonel {

int CTarrowApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  // The dialog owns the log file: building it opens (and empties) Pellorin.log, and
  // destroying it at the end closes it.
  CTarrowDlg dialog;
  dialog.DoModal();
  m_detectionStillRunning = !dialog.Detection().WaitForWorker(std::chrono::milliseconds(0));
  return 0;
}

}  // namespace kavonel
