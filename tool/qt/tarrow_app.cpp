#include "qt/tarrow_app.h"

#include <chrono>

#include "qt/tarrow_dlg.h"

namespace kavonel {

int CTarrowApp::InitInstance() {
  // The dialog owns the log file: building it opens (and empties) Pellorin.log, and
  // destroying it at the end closes it.
  CTarrowDlg dialog;
  dialog.DoModal();
  m_detectionStillRunning = !dialog.Detection().WaitForWorker(std::chrono::milliseconds(0));
  return 0;
}

}  // namespace kavonel
