// The operations that the main window's buttons start and reader detection, written
// once against MainView: the window, kavonel-cli and the tests all run these.
#pragma once

#include <memory>

#include "app/main_view.h"
#include "settings/reader_settings.h"

namespace kavonel {

class ComPort;

enum RunVerdict {
  VERDICT_NONE = 0,
  VERDICT_SCRIPT_ERROR = 1,
  VERDICT_COMM_ERROR = 2,
  VERDICT_NOT_ALL_CONFIGURED = 3,
  VERDICT_COMPLETED = 4,
};

// The configuration script run. settings is the window's copy: port and baud rate open
// the port, the reader type goes to the decoder.
RunVerdict RunConfigurationScript(MainView& view, ComPort& port, const ReaderSettings& settings);

// The three button operations. Each answers the reader's status byte, or -1 when the
// port did not open or the exchange failed.
int CheckReaderConnection(MainView& view, ComPort& port, const ReaderSettings& settings);
int ResetConfigurationToDefault(MainView& view, ComPort& port, const ReaderSettings& settings);
int RebootReader(MainView& view, ComPort& port, const ReaderSettings& settings);

// Reader detection: a worker thread asks for the firmware version; the two handlers
// run on the user-interface thread when the view delivers what the worker posted.
class ReaderDetection {
 public:
  ReaderDetection(MainView& view, ComPort& port);
  ~ReaderDetection();
  ReaderDetection(const ReaderDetection&) = delete;
  ReaderDetection& operator=(const ReaderDetection&) = delete;

  // StartReaderDetection: starts the worker with the window's port and baud rate and
  // the live reader type; nothing waits for it.
  void Start(const ReaderSettings& settings, int readerType);
  // Handlers of the posted detection state and of the version notice.
  void OnReaderCheckState(bool running);
  void OnShowFirmwareVersion();
  // Settings confirmed: the last detection's answer no longer counts.
  void ClearReaderAnswered();

  bool CheckRunning() const;
  bool ReaderAnswered() const;
  bool ReaderFound() const;

 private:
  struct Shared;
  MainView& view_;
  ComPort& port_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace kavonel
