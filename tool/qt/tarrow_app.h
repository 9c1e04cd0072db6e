// The application object: runs the one main dialog; when it closes, the program ends.
#pragma once

namespace kavonel {

class CTarrowApp {
 public:
  // Builds the main dialog and runs it modally (the settings dialog comes first;
  // cancelling it ends the program at once). Returns the process exit code.
  int InitInstance();

  // True when a reader detection was still running as the window closed. Nothing
  // waits for it; the program then ends without tearing down the process-wide
  // objects that the detection may still be using (the port).
  bool DetectionStillRunning() const { return m_detectionStillRunning; }

 private:
  bool m_detectionStillRunning = false;
};

}  // namespace kavonel
