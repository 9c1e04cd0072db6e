// The application object: runs the one main dialog; when it closes, the program ends.
#pragma once

namespace kavonel {

class CTarrowApp {
 public:
  // Builds the main dialog and runs it modally (the settings dialog comes first;
  // cancelling it ends the program at once). Returns the process exit code.
  int InitInstance();
};

}  // namespace kavonel
