// Why a port did not open, against the real conditions: the platform's device opens a
// missing path, a regular file, a folder, and a pseudo-terminal that another process
// or this one holds.
#include "link/port_diagnosis.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "link/com_port.h"
#include "link/serial_device.h"

namespace kavonel {
namespace {

namespace fs = std::filesystem;

// A pseudo-terminal whose other end this test holds, so its slave stays a device.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) path_ = ptsname(master_);
  }
  ~Pty() {
    if (master_ >= 0) close(master_);
  }
  const std::string& Path() const { return path_; }

 private:
  int master_ = -1;
  std::string path_;
};

// Why the platform's device refused path, asked the way the operations ask.
std::string ReasonFor(const std::string& path) {
  ComPort port(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
  EXPECT_EQ(port.Open(path, 115200), COM_OPEN_FAILED);
  const std::string reason = port.OpenFailureReason();
  EXPECT_EQ(reason.find('\n'), std::string::npos);
  return reason;
}

std::string TempPath(const std::string& name) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return (fs::path(::testing::TempDir()) / (std::string(test->name()) + "." + name)).string();
}

TEST(PortDiagnosisTest, MissingDevicePointsAtThePortList) {
  EXPECT_EQ(ReasonFor("/dev/kavonel-no-such-port"),
            "/dev/kavonel-no-such-port: no such device; `kavonel-cli ports` lists the ports "
            "present");
  EXPECT_EQ(DiagnosePortOpen("/dev/kavonel-no-such-port", ENOENT).problem, PortProblem::kMissing);
}

TEST(PortDiagnosisTest, FilesThatAreNoTerminalAreNoSerialPort) {
  const std::string file = TempPath("regular");
  std::ofstream(file) << "not a device\n";
  EXPECT_EQ(ReasonFor(file), file + ": not a serial port (a regular file)");
  const std::string folder = TempPath("folder");
  fs::create_directories(folder);
  EXPECT_EQ(ReasonFor(folder), folder + ": not a serial port (a folder)");
  EXPECT_EQ(ReasonFor("/dev/null"), "/dev/null: not a serial port (a device that is no terminal)");
  fs::remove(file);
  fs::remove(folder);
}

TEST(PortDiagnosisTest, PortHeldByAnotherProcessNamesItAndItsId) {
  Pty pty;
  ASSERT_FALSE(pty.Path().empty());
  // The holder locks the port, then becomes "sleep": the lock lives on in the open file.
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(pty.Path().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
    _exit(1);
  }
  ASSERT_GT(holder, 0);
  // Until the holder has become sleep, so it holds the lock (bounded by count).
  const std::string comm = "/proc/" + std::to_string(holder) + "/comm";
  std::string name;
  for (int i = 0; i < 2000 && name != "sleep"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(comm);
    std::getline(in, name);
  }
  ASSERT_EQ(name, "sleep");

  EXPECT_EQ(ReasonFor(pty.Path()),
            pty.Path() + ": in use by sleep (process " + std::to_string(holder) + ")");
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);

  // Once the holder is gone the port opens again.
  ComPort port(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
  EXPECT_EQ(port.Open(pty.Path(), 115200), COM_OK);
}

TEST(PortDiagnosisTest, PortHeldInThisProcessIsNamedToo) {
  Pty pty;
  ASSERT_FALSE(pty.Path().empty());
  ComPort first(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
  ASSERT_EQ(first.Open(pty.Path(), 115200), COM_OK);
  EXPECT_EQ(ReasonFor(pty.Path()),
            pty.Path() + ": in use by this program (process " + std::to_string(getpid()) + ")");
  EXPECT_EQ(first.OpenFailureReason(), "");  // an open port has no failure to tell
}

TEST(PortDiagnosisTest, NoErrorNoReason) {
  EXPECT_EQ(DiagnosePortOpen("/dev/null", 0).problem, PortProblem::kNone);
  EXPECT_EQ(DiagnosePortOpen("/dev/null", 0).text, "");
}

TEST(PortDiagnosisTest, OutsideNamesCannotBreakTheLine) {
  EXPECT_EQ(ReasonFor("/tmp/no\nsuch"),
            "/tmp/no?such: no such device; `kavonel-cli ports` lists the ports present");
  ComPort port(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
  EXPECT_EQ(port.Open("COM0", 115200), COM_OPEN_FAILED);
  EXPECT_EQ(port.OpenFailureReason(), "not a port name: COM0");
  EXPECT_EQ(port.Open("", 115200), COM_OPEN_FAILED);
  EXPECT_EQ(port.OpenFailureReason(), "no port name given");
}

}  // namespace
}  // namespace kavonel
