// For tests: runs reader-sim on a fresh pseudo-terminal and ends it again.
//
//   kavonel::SimProcess sim({"--type", "3"});
//   ASSERT_TRUE(sim.Started()) << sim.Error();
//   port.Open(sim.Path(), 115200);
//
// The destructor sends SIGTERM and reaps the process (SIGKILL after 3 s).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kavonel {

class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> arguments = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return !path_.empty(); }
  // The pseudo-terminal's path (/dev/pts/N), empty when the start failed.
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return pid_; }

  // Waits up to timeoutMs for the process to end by itself (after --hang-up-after).
  bool WaitForExit(int timeoutMs);
  // SIGTERM and reap; true when it ended cleanly (exit status 0).
  bool Stop();

  // The reader-sim program: $KAVONEL_READER_SIM if set, else the one this build made.
  static std::string Program();

 private:
  pid_t pid_ = -1;
  int exitStatus_ = -1;
  std::string path_;
  std::string error_;
};

}  // namespace kavonel
