// Ports by name pattern: what matches now, and, through the kernel's notifications on
// the patterns' folders (no polling), what appears and vanishes later. Works for
// device folders (/dev, /dev/serial/by-id) and any folder of links alike.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kavonel {

// "/dev/ttyUSB*": folder "/dev", pattern "ttyUSB*". Only the last part may hold
// wildcards; a pattern without a folder is under /dev, as port names are.
struct PortGlob {
  std::string folder;
  std::string pattern;
};
std::optional<PortGlob> ParsePortGlob(const std::string& text);

// The paths that match now, in natural order.
std::vector<std::string> ExpandPortGlob(const PortGlob& glob);

struct PortEvent {
  std::string path;
  bool present = false;  // appeared (true) or vanished (false)
};

class PortWatcher {
 public:
  explicit PortWatcher(const std::vector<PortGlob>& globs);
  ~PortWatcher();
  PortWatcher(const PortWatcher&) = delete;
  PortWatcher& operator=(const PortWatcher&) = delete;

  bool Ok() const { return fd_ >= 0; }
  // Readable when notifications wait; hand it to poll.
  int Fd() const { return fd_; }
  // Every matching path present when the watch began, as appearances.
  std::vector<PortEvent> Initial();
  // What has changed since the last call; never blocks.
  std::vector<PortEvent> Read();

 private:
  struct Folder {
    std::vector<std::string> patterns;
    int wd = -1;          // the folder's own watch
    int ancestorWd = -1;  // while the folder is missing: the nearest folder above it
    std::set<std::string> present;
  };
  bool Matches(const Folder& folder, const std::string& name) const;
  // Watches the folder if it exists (scanning it), else its nearest existing ancestor.
  void Arm(const std::string& path, Folder& folder, std::vector<PortEvent>& events);
  void Lose(const std::string& path, Folder& folder, std::vector<PortEvent>& events);

  int fd_ = -1;
  std::map<std::string, Folder> folders_;
  std::vector<PortEvent> initial_;
};

}  // namespace kavonel
