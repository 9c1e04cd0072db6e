// Why a port did not open, on a POSIX system: the error of the failing call, the
// device's owner, group and mode, the user's groups, and the holders of the device as
// /proc shows them.
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "link/port_diagnosis.h"

namespace kavonel {
namespace {

// At most this many holders are named; a longer list helps nobody.
constexpr size_t kMaxHolders = 4;

std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

// Whether this process runs with gid among its groups now.
bool ProcessHasGroup(gid_t gid) {
  if (getegid() == gid) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the group database makes the user a member of gid (as the next login will).
bool UserListedInGroup(uid_t uid, gid_t gid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* user = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &user) != 0 || user == nullptr) {
    return false;
  }
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) return false;
  }
  groups.resize(static_cast<size_t>(count));
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string ModeText(mode_t mode) {
  std::string text;
  const char letters[] = "rwx";
  for (int bit = 8; bit >= 0; --bit) text += (mode & (1u << bit)) ? letters[(8 - bit) % 3] : '-';
  return text;
}

std::string NoPermissionText(const std::string& path, const struct stat& st) {
  const uid_t uid = geteuid();
  const std::string user = UserName(uid);
  const std::string groupName = GroupName(st.st_gid);
  const bool groupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP) && st.st_gid != 0;
  if (groupMayUse && !ProcessHasGroup(st.st_gid)) {
    if (UserListedInGroup(uid, st.st_gid)) {
      return path + ": permission denied; " + user + " is in group " + groupName +
             ", which owns the device, but this session started before that: log out and log "
             "in again";
    }
    return path + ": permission denied; the device belongs to group " + groupName + ": add " +
           user + " to it with `sudo usermod -aG " + groupName + " " + user +
           "`, then log out and log in again";
  }
  return path + ": permission denied; the device (owner " + UserName(st.st_uid) + ", group " +
         groupName + ", mode " + ModeText(st.st_mode) + ") gives " + user +
         " no read and write access: ask the administrator";
}

std::string ProcessName(const std::string& pid) {
  if (pid == std::to_string(getpid())) return "this program";
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "a program" : name;
}

bool IsNumber(const char* text) {
  return *text != '\0' &&
         std::all_of(text, text + std::strlen(text), [](char c) { return c >= '0' && c <= '9'; });
}

// The processes whose flock is on the device's file: the lock that refused us.
std::vector<std::string> LockHolders(const struct stat& st) {
  std::vector<std::string> pids;
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"
    std::istringstream fields(line);
    std::string number, kind, advisory, access, pid, file;
    if (!(fields >> number >> kind)) continue;
    if (kind == "->") fields >> kind;  // a waiter's line
    if (!(fields >> advisory >> access >> pid >> file) || kind != "FLOCK") continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && inode == st.st_ino &&
        IsNumber(pid.c_str()) && std::find(pids.begin(), pids.end(), pid) == pids.end()) {
      pids.push_back(pid);
    }
  }
  return pids;
}

// The processes with the device open, as far as /proc lets us look into them.
std::vector<std::string> OpenHolders(const struct stat& device) {
  std::vector<std::string> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  const std::string self = std::to_string(getpid());
  while (dirent* entry = readdir(proc)) {
    if (!IsNumber(entry->d_name) || self == entry->d_name) continue;
    const std::string fdDir = std::string("/proc/") + entry->d_name + "/fd";
    DIR* fds = opendir(fdDir.c_str());
    if (fds == nullptr) continue;  // another user's process: not ours to see
    while (dirent* fd = readdir(fds)) {
      if (!IsNumber(fd->d_name)) continue;
      struct stat target {};
      if (stat((fdDir + "/" + fd->d_name).c_str(), &target) != 0) continue;
      const bool same = S_ISCHR(device.st_mode)
                            ? S_ISCHR(target.st_mode) && target.st_rdev == device.st_rdev
                            : target.st_dev == device.st_dev && target.st_ino == device.st_ino;
      if (same) {
        pids.push_back(entry->d_name);
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  std::sort(pids.begin(), pids.end(),
            [](const std::string& a, const std::string& b) { return std::stol(a) < std::stol(b); });
  return pids;
}

std::string InUseText(const std::string& path, const struct stat& st) {
  std::vector<std::string> pids = LockHolders(st);
  if (pids.empty()) pids = OpenHolders(st);
  if (pids.empty()) {
    return path + ": in use by another program (the system does not let us see which)";
  }
  std::string text = path + ": in use by ";
  for (size_t i = 0; i < pids.size() && i < kMaxHolders; ++i) {
    if (i != 0) text += ", ";
    text += ProcessName(pids[i]) + " (process " + pids[i] + ")";
  }
  if (pids.size() > kMaxHolders) text += ", ...";
  return text;
}

std::string KindOf(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return "a regular file";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISFIFO(st.st_mode)) return "a pipe";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISBLK(st.st_mode)) return "a block device";
  return "a device that is no terminal";
}

// Out of descriptors: the host's doing, not the reader's or the port's, so the text says
// which limit ran out and how to raise it.
std::string NoFileRoomText(const std::string& path, int systemError) {
  if (systemError == ENFILE) {
    return path +
           ": not opened: the system has as many files open as it allows; end other programs "
           "or raise fs.file-max (sysctl)";
  }
  rlimit limit{};
  std::string allowed;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    allowed = " (" + std::to_string(limit.rlim_cur) + ")";
  }
  return path + ": not opened: this program has as many files open as its limit allows" +
         allowed + "; raise the limit (ulimit -n) or configure fewer readers at once";
}

}  // namespace

PortDiagnosis DiagnosePortOpen(const std::string& devicePath, int systemError) {
  if (systemError == 0) return {};
  struct stat st {};
  const bool exists = stat(devicePath.c_str(), &st) == 0;
  PortDiagnosis d;
  if (systemError == EMFILE || systemError == ENFILE) {
    d = {PortProblem::kNoFileRoom, NoFileRoomText(devicePath, systemError)};
  } else if (!exists || systemError == ENOENT || systemError == ENODEV || systemError == ENXIO ||
      systemError == ENOTDIR) {
    d = {PortProblem::kMissing,
         devicePath + ": no such device; `kavonel-cli ports` lists the ports present"};
  } else if (systemError == EACCES || systemError == EPERM) {
    d = {PortProblem::kNoPermission, NoPermissionText(devicePath, st)};
  } else if (systemError == EBUSY || systemError == EWOULDBLOCK) {
    d = {PortProblem::kInUse, InUseText(devicePath, st)};
  } else if (systemError == ENOTTY || systemError == EISDIR || !S_ISCHR(st.st_mode)) {
    d = {PortProblem::kNotSerial, devicePath + ": not a serial port (" + KindOf(st) + ")"};
  } else {
    d = {PortProblem::kOther, devicePath + ": " + std::strerror(systemError)};
  }
  d.text = OneLine(std::move(d.text));
  return d;
}

}  // namespace kavonel
