// The operations that the main window's buttons start and reader detection, written
// once against MainView: the window, kavonel-cli and the tests all run these.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "operations/main_view.h"
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

// The two decoder exports the script run calls. The program uses libquassel's; a batch
// hands out records decoded once to every reader; tests put in decoders that fail where
// the library never does.
struct ScriptDecoder {
  std::function<uint32_t(const char* path, uint32_t deviceType, uint32_t* commandCount,
                         uint32_t* maxRecordSize, uint32_t* totalBytes, uint32_t* detailCode,
                         uint32_t* errorLine)>
      loadConfigurationText;
  std::function<uint32_t(uint8_t* destination, uint32_t* capacity)> getNextConfigCommand;
};
ScriptDecoder LibraryScriptDecoder();

// Hears of each exchange of a script run (a batch counts and shows them); the monitor
// text is the view's business and does not change with it.
class ScriptRunObserver {
 public:
  virtual ~ScriptRunObserver() = default;
  // The script decoded to count commands.
  virtual void Decoded(uint32_t count) = 0;
  // The request of a command has been written whole.
  virtual void Sent(uint8_t command, uint8_t subCommand) = 0;
  // Its 16-byte answer came, with this status.
  virtual void Answered(uint8_t command, uint8_t subCommand, uint8_t status) = 0;
  // Writing it or waiting for its answer failed; the run ends.
  virtual void NoAnswer(uint8_t command, uint8_t subCommand) = 0;
};

// The configuration script run. settings is the window's copy: port and baud rate open
// the port, the reader type goes to the decoder.
RunVerdict RunConfigurationScript(MainView& view, ComPort& port, const ReaderSettings& settings);
RunVerdict RunConfigurationScript(MainView& view, ComPort& port, const ReaderSettings& settings,
                                  const ScriptDecoder& decoder,
                                  ScriptRunObserver* observer = nullptr);

// Status line and status reporter for a verdict; VERDICT_NONE shows nothing.
void ShowRunVerdict(MainView& view, RunVerdict verdict);

// The three button operations. Each answers the reader's status byte, or -1 when the
// port did not open or the exchange failed.
int CheckReaderConnection(MainView& view, ComPort& port, const ReaderSettings& settings);
int ResetConfigurationToDefault(MainView& view, ComPort& port, const ReaderSettings& settings);
int RebootReader(MainView& view, ComPort& port, const ReaderSettings& settings);

// The worker's two pauses: before it announces the start (so the window can show the
// waiting dialog) and before it announces the end.
struct DetectionTiming {
  std::chrono::milliseconds beforeStart{200};
  std::chrono::milliseconds beforeEnd{200};
};

// Reader detection: a worker thread asks for the firmware version; the two handlers
// run on the user-interface thread when the view delivers what the worker posted.
// The worker shares only atomics and a mutex-guarded buffer with the handlers, and
// reaches the view only while it is attached. The port must outlive every worker
// (TheComPort() does; a caller owning its port calls WaitForWorker first).
class ReaderDetection {
 public:
  ReaderDetection(MainView& view, ComPort& port, DetectionTiming timing = {});
  // Detaches the view; a running worker finishes without posting anything more.
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

  // From now on the worker posts nothing to the view (call it first thing when the
  // view is being torn down; the destructor calls it too).
  void DetachView();
  // Waits until no worker runs; false when the timeout passed first.
  bool WaitForWorker(std::chrono::milliseconds timeout);

  struct Shared;  // what the worker shares with the handlers; opaque

 private:
  MainView& view_;
  ComPort& port_;
  DetectionTiming timing_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace kavonel
