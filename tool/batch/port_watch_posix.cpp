// Port patterns and their watch on Linux: glob(3) and fnmatch(3) for names, inotify for
// what changes.
#include <dirent.h>
#include <fnmatch.h>
#include <glob.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>

#include "batch/port_watch.h"
#include "settings/settings_rules.h"

namespace kavonel {
namespace {

constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr uint32_t kAncestorEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

bool HasWildcard(const std::string& text) {
  return text.find_first_of("*?[") != std::string::npos;
}

}  // namespace

const char kPortGlobHelp[] = "every port whose path matches GLOB, e.g. '/dev/ttyUSB*' (repeatable)";
const char kPortNameSeparators[] = "/";
const char kPortGlobRule[] = "wildcards only in the last part of the name";

std::optional<PortGlob> ParsePortGlob(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const size_t slash = text.find_last_of('/');
  PortGlob glob;
  if (slash == std::string::npos) {
    glob = {"/dev", text};
  } else {
    glob.folder = slash == 0 ? "/" : text.substr(0, slash);
    glob.pattern = text.substr(slash + 1);
    if (glob.folder[0] != '/')
      glob.folder = (std::filesystem::current_path() / glob.folder).string();
  }
  if (glob.pattern.empty() || HasWildcard(glob.folder)) return std::nullopt;
  return glob;
}

std::vector<std::string> ExpandPortGlob(const PortGlob& glob) {
  std::vector<std::string> paths;
  const std::string pattern =
      (glob.folder == "/" ? std::string() : glob.folder) + "/" + glob.pattern;
  glob_t found{};
  if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
  }
  ::globfree(&found);
  return NaturalSorted(std::move(paths));
}

struct PortWatcher::State {
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

  int fd = -1;
  std::map<std::string, Folder> folders;
  std::vector<PortEvent> initial;
};

PortWatcher::PortWatcher(const std::vector<PortGlob>& globs) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (const PortGlob& glob : globs) s.folders[glob.folder].patterns.push_back(glob.pattern);
  if (s.fd < 0) return;
  for (auto& [path, folder] : s.folders) s.Arm(path, folder, s.initial);
}

PortWatcher::~PortWatcher() {
  if (state_->fd >= 0) ::close(state_->fd);
}

bool PortWatcher::Ok() const {
  return state_->fd >= 0;
}

WaitHandle PortWatcher::Handle() const {
  return state_->fd;
}

std::vector<PortEvent> PortWatcher::Initial() {
  std::vector<PortEvent> events;
  events.swap(state_->initial);
  return events;
}

bool PortWatcher::State::Matches(const Folder& folder, const std::string& name) const {
  for (const std::string& pattern : folder.patterns) {
    if (::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD) == 0) return true;
  }
  return false;
}

void PortWatcher::State::Arm(const std::string& path, Folder& folder,
                             std::vector<PortEvent>& events) {
  if (folder.ancestorWd >= 0) {
    ::inotify_rm_watch(fd, folder.ancestorWd);
    folder.ancestorWd = -1;
  }
  folder.wd = ::inotify_add_watch(fd, path.c_str(), kFolderEvents | IN_ONLYDIR);
  if (folder.wd >= 0) {
    // Watched first, listed second: nothing that appears in between is missed.
    if (DIR* dir = ::opendir(path.c_str())) {
      std::vector<std::string> names;
      while (dirent* entry = ::readdir(dir)) {
        if (Matches(folder, entry->d_name)) names.emplace_back(entry->d_name);
      }
      ::closedir(dir);
      for (const std::string& name : NaturalSorted(std::move(names))) {
        const std::string full = (path == "/" ? std::string() : path) + "/" + name;
        if (folder.present.insert(full).second) events.push_back({full, true});
      }
    }
    return;
  }
  // Not there (yet): /dev/serial/by-id comes with the first USB serial adapter.
  std::filesystem::path above = std::filesystem::path(path).parent_path();
  for (;;) {
    folder.ancestorWd = ::inotify_add_watch(fd, above.c_str(), kAncestorEvents | IN_ONLYDIR);
    if (folder.ancestorWd >= 0 || above == above.root_path() || above.empty()) break;
    above = above.parent_path();
  }
}

void PortWatcher::State::Lose(const std::string&, Folder& folder, std::vector<PortEvent>& events) {
  for (const std::string& full : folder.present) events.push_back({full, false});
  folder.present.clear();
  folder.wd = -1;
}

std::vector<PortEvent> PortWatcher::Read() {
  State& s = *state_;
  const int fd = s.fd;
  std::vector<PortEvent> events;
  if (fd < 0) return events;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    bool rearm = false;
    for (ssize_t offset = 0; offset < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      const std::string name = event->len > 0 ? std::string(event->name) : std::string();
      for (auto& [path, folder] : s.folders) {
        if (event->wd == folder.ancestorWd) {
          rearm = true;
          continue;
        }
        if (event->wd != folder.wd) continue;
        if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
          s.Lose(path, folder, events);
          rearm = true;
          continue;
        }
        if (event->mask & IN_Q_OVERFLOW) continue;
        if (name.empty() || !s.Matches(folder, name)) continue;
        const std::string full = (path == "/" ? std::string() : path) + "/" + name;
        if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
          if (folder.present.insert(full).second) events.push_back({full, true});
        } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
          if (folder.present.erase(full) > 0) events.push_back({full, false});
        }
      }
    }
    if (rearm) {
      for (auto& [path, folder] : s.folders) {
        if (folder.wd < 0) s.Arm(path, folder, events);
      }
    }
  }
  return events;
}

}  // namespace kavonel
