// Ports by name pattern: what matches now, and, through the system's notifications (no
// polling), what appears and vanishes later. On Linux the patterns are paths and the
// kernel tells of their folders (inotify): device folders (/dev, /dev/serial/by-id) and
// any folder of links alike. On Windows they are COM port names, and the registry key
// where the serial drivers enter their ports tells of changes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavonel {

// "/dev/ttyUSB*": folder "/dev", pattern "ttyUSB*". Only the last part may hold
// wildcards; a pattern without a folder is under /dev, as port names are. On Windows
// the folder is empty and the pattern is over COM names ("COM*", "COM1?").
struct PortGlob {
  std::string folder;
  std::string pattern;
};
std::optional<PortGlob> ParsePortGlob(const std::string& text);
// What ParsePortGlob takes, for the command line's help and its refusals.
extern const char kPortGlobHelp[];
extern const char kPortGlobRule[];

// What separates the parts of a port's name ("/" on Linux; "\\" and "/" on Windows, where
// \\.\COM5 is COM5): a trace file is named after the last part.
extern const char kPortNameSeparators[];

// The ports that match now, in natural order.
std::vector<std::string> ExpandPortGlob(const PortGlob& glob);

struct PortEvent {
  std::string path;
  bool present = false;  // appeared (true) or vanished (false)
};

// What the platform's wait takes: a file descriptor on Linux, an event handle on Windows.
using WaitHandle = std::intptr_t;

class PortWatcher {
 public:
  explicit PortWatcher(const std::vector<PortGlob>& globs);
  ~PortWatcher();
  PortWatcher(const PortWatcher&) = delete;
  PortWatcher& operator=(const PortWatcher&) = delete;

  // False when the watch could not be set up, or can no longer be re-armed after a change.
  bool Ok() const;
  // Ready (readable, signalled) when changes wait; hand it to the platform's wait.
  WaitHandle Handle() const;
  // Every matching port present when the watch began, as appearances.
  std::vector<PortEvent> Initial();
  // What has changed since the last call; never blocks.
  std::vector<PortEvent> Read();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kavonel
