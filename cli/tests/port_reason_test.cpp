// kavonel-cli tells why a port did not open, in one line after the status texts, under
// real conditions: no rights to the device (run as an unprivileged user), a port that
// another process holds, a regular file given as the port.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "e2e_support.h"
#include "link/com_port.h"
#include "link/serial_device.h"
#include "sim/sim_process.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

constexpr uid_t kNobody = 65534;  // Debian's nobody and nogroup

// kavonel-cli as a user without rights: through setpriv when we are root (as CI is).
// That user may not reach the build folder (a checkout under /root), so the program
// and its library run from a folder of their own.
ProcessResult CliAsUnprivilegedUser(const Args& args) {
  if (geteuid() != 0) return RunProcess(KAVONEL_CLI_PATH, args);
  const fs::path dir =
      fs::path(::testing::TempDir()) / ("kavonel-cli-unprivileged-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  const auto overwrite = fs::copy_options::overwrite_existing;
  fs::copy_file(KAVONEL_CLI_PATH, dir / "kavonel-cli", overwrite);
  fs::copy_file(KAVONEL_QUASSEL_SONAME_PATH, dir / fs::path(KAVONEL_QUASSEL_SONAME_PATH).filename(),
                overwrite);
  Args all = {"LD_LIBRARY_PATH=" + dir.string(),
              "/usr/bin/setpriv",
              "--reuid=" + std::to_string(kNobody),
              "--regid=" + std::to_string(kNobody),
              "--clear-groups",
              (dir / "kavonel-cli").string()};
  all.insert(all.end(), args.begin(), args.end());
  ProcessResult result = RunProcess("/usr/bin/env", all);
  fs::remove_all(dir);
  return result;
}

std::string UserName() {
  return geteuid() == 0 ? "nobody" : std::to_string(geteuid());
}

TEST(PortReasonTest, DeviceWithoutAnyRightsSaysWhoMayUseIt) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ASSERT_EQ(chmod(sim.Path().c_str(), 0), 0);
  struct stat st {};
  ASSERT_EQ(stat(sim.Path().c_str(), &st), 0);
  const passwd* owner = getpwuid(st.st_uid);
  const group* ownerGroup = getgrgid(st.st_gid);
  ASSERT_TRUE(owner != nullptr && ownerGroup != nullptr);

  const ProcessResult r = CliAsUnprivilegedUser({"check", "--port", sim.Path()});
  EXPECT_EQ(r.out, "\nThe Comport:- Open Failed\n");
  EXPECT_EQ(r.err, "kavonel-cli: " + sim.Path() + ": permission denied; the device (owner " +
                       owner->pw_name + ", group " + ownerGroup->gr_name +
                       ", mode ---------) gives " + UserName() +
                       " no read and write access: ask the administrator\n");
  EXPECT_EQ(r.exitCode, 3);
}

TEST(PortReasonTest, DeviceOfAGroupSaysHowToJoinIt) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the device to group dialout needs root";
  const group* dialout = getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ASSERT_EQ(chown(sim.Path().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(sim.Path().c_str(), 0660), 0);

  const ProcessResult r = CliAsUnprivilegedUser({"detect", "--port", sim.Path()});
  EXPECT_EQ(r.err,
            "Orvessa Reader Not Found!!!\nkavonel-cli: " + sim.Path() +
                ": permission denied; the device belongs to group dialout: add nobody to "
                "it with `sudo usermod -aG dialout nobody`, then log out and log in again\n");
  EXPECT_EQ(r.exitCode, 3);
}

TEST(PortReasonTest, PortHeldByAnotherProcessNamesIt) {
  SimProcess sim;
  ASSERT_TRUE(sim.Started()) << sim.Error();
  ComPort holder(MakePlatformSerialDevice(), std::make_shared<SteadyClock>());
  ASSERT_EQ(holder.Open(sim.Path(), 115200), COM_OK);
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);

  const ProcessResult r = RunProcess(KAVONEL_CLI_PATH, {"reset", "--port", sim.Path()});
  EXPECT_EQ(r.out, "The Comport:- Open Failed\n");
  EXPECT_EQ(r.err, "kavonel-cli: " + sim.Path() + ": in use by " + self + " (process " +
                       std::to_string(getpid()) + ")\n");
  EXPECT_EQ(r.exitCode, 3);
}

TEST(PortReasonTest, RegularFileIsNoSerialPort) {
  const fs::path file = fs::path(::testing::TempDir()) / "kavonel-port-reason-regular-file";
  std::ofstream(file) << "pollmode set 01 end\n";
  const ProcessResult r =
      RunProcess(KAVONEL_CLI_PATH, {"run", "--port", file.string(), file.string()});
  EXPECT_EQ(r.out, "The Comport:- Open Failed\n");
  EXPECT_EQ(r.err, "Device Communication Error..\nkavonel-cli: " + file.string() +
                       ": not a serial port (a regular file)\n");
  EXPECT_EQ(r.exitCode, 3);
  fs::remove(file);
}

}  // namespace
}  // namespace kavonel::testing
