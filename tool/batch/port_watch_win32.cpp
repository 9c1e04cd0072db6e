// Port patterns and their watch on Windows: patterns over COM names, matched against the
// port list (the device manager and the registry); the watch waits on the registry key
// where the serial drivers enter their ports, HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, and
// lists the ports again whenever it changes.
#include <windows.h>
// clang-format off
#include <shlwapi.h>
// clang-format on

#include <set>

#include "batch/port_watch.h"
#include "settings/port_list.h"

namespace kavonel {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr char kDeviceMap[] = "HARDWARE\\DEVICEMAP";
constexpr DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

bool Matches(const std::vector<std::string>& patterns, const std::string& name) {
  for (const std::string& pattern : patterns) {
    // The shell's own matching: * and ?, without regard to case, as COM names are.
    if (PathMatchSpecA(name.c_str(), pattern.c_str())) return true;
  }
  return false;
}

std::set<std::string> PortsMatching(const std::vector<std::string>& patterns) {
  std::set<std::string> ports;
  for (std::string& name : ListSerialPorts()) {
    if (Matches(patterns, name)) ports.insert(std::move(name));
  }
  return ports;
}

}  // namespace

const char kPortGlobHelp[] =
    "every COM port whose name matches GLOB, e.g. COM* or COM1? (* and ?; repeatable)";
const char kPortNameSeparators[] = "\\/";
const char kPortGlobRule[] = "a pattern over COM port names, such as COM* or COM1?";

std::optional<PortGlob> ParsePortGlob(const std::string& text) {
  std::string pattern = text;
  // \\.\COM* names the same ports as COM*, as --port takes either.
  if (pattern.compare(0, sizeof kDevicePrefix - 1, kDevicePrefix) == 0) {
    pattern.erase(0, sizeof kDevicePrefix - 1);
  }
  // The shell's matcher reads ';' as between two patterns: not ours to offer.
  if (pattern.empty() || pattern.find_first_of("\\/:;") != std::string::npos) {
    return std::nullopt;
  }
  return PortGlob{{}, pattern};
}

std::vector<std::string> ExpandPortGlob(const PortGlob& glob) {
  const std::set<std::string> ports = PortsMatching({glob.pattern});
  return NaturalSorted({ports.begin(), ports.end()});
}

struct PortWatcher::State {
  // Asks for the next change of SERIALCOMM, or, while that key does not exist (no serial
  // driver has entered a port yet), of the key above it, where it will be made. Asked
  // before the ports are listed: a change in between is not missed.
  bool Arm();
  std::vector<PortEvent> Rescan();

  std::vector<std::string> patterns;
  HANDLE changed = nullptr;  // manual reset: stays signalled until Read
  HKEY key = nullptr;
  bool watchingSerialComm = false;
  bool armed = false;
  std::set<std::string> present;
  std::vector<PortEvent> initial;
};

bool PortWatcher::State::Arm() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (key == nullptr || !watchingSerialComm) {
      HKEY serialComm = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_READ | KEY_NOTIFY, &serialComm) ==
          ERROR_SUCCESS) {
        if (key != nullptr) RegCloseKey(key);
        key = serialComm;
        watchingSerialComm = true;
      } else if (key == nullptr) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceMap, 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) {
          key = nullptr;
          return false;
        }
        watchingSerialComm = false;
      }
    }
    const LONG result = RegNotifyChangeKeyValue(key, FALSE, kNotifyFilter, changed, TRUE);
    if (result == ERROR_SUCCESS) return true;
    // SERIALCOMM went away with the last port: wait for it on the key above again.
    RegCloseKey(key);
    key = nullptr;
    watchingSerialComm = false;
    if (result != ERROR_KEY_DELETED) return false;
  }
  return false;
}

std::vector<PortEvent> PortWatcher::State::Rescan() {
  const std::set<std::string> now = PortsMatching(patterns);
  std::vector<std::string> gone, come;
  for (const std::string& name : present) {
    if (now.count(name) == 0) gone.push_back(name);
  }
  for (const std::string& name : now) {
    if (present.count(name) == 0) come.push_back(name);
  }
  std::vector<PortEvent> events;
  for (std::string& name : NaturalSorted(std::move(gone)))
    events.push_back({std::move(name), false});
  for (std::string& name : NaturalSorted(std::move(come)))
    events.push_back({std::move(name), true});
  present = now;
  return events;
}

PortWatcher::PortWatcher(const std::vector<PortGlob>& globs) : state_(std::make_unique<State>()) {
  State& s = *state_;
  for (const PortGlob& glob : globs) s.patterns.push_back(glob.pattern);
  s.changed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (s.changed == nullptr) return;
  s.armed = s.Arm();
  if (s.armed) s.initial = s.Rescan();
}

PortWatcher::~PortWatcher() {
  if (state_->key != nullptr) RegCloseKey(state_->key);
  if (state_->changed != nullptr) CloseHandle(state_->changed);
}

bool PortWatcher::Ok() const {
  return state_->armed;
}

WaitHandle PortWatcher::Handle() const {
  return reinterpret_cast<WaitHandle>(state_->changed);
}

std::vector<PortEvent> PortWatcher::Initial() {
  std::vector<PortEvent> events;
  events.swap(state_->initial);
  return events;
}

std::vector<PortEvent> PortWatcher::Read() {
  State& s = *state_;
  if (!s.armed || WaitForSingleObject(s.changed, 0) != WAIT_OBJECT_0) return {};
  ResetEvent(s.changed);
  s.armed = s.Arm();
  return s.Rescan();
}

}  // namespace kavonel
