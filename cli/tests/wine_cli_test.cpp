// kavonel-cli.exe under Wine against reader-sim behind COM5, beside the Linux kavonel-cli
// against a reader-sim of the same kind: standard output, standard error and the exit
// status must be the same bytes, for every command, with a good reader, a bad status, a
// silent reader and one that hangs up.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "wine_support.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const char kFiveCommands[] =
    "; five commands\n"
    "pollmode set 01 end\n"
    "configuration set\n  9F1A 02 0840\nend\n"
    "group set\n  FFE4 01 00\nend\n"
    "group set\n  FFE4 01 01\nend\n"
    "pollmode set 01 end\n";

fs::path Folder() {
  const fs::path dir = fs::path(::testing::TempDir()) / "kavonel-wine-cli";
  fs::create_directories(dir);
  return dir;
}

std::string Write(const std::string& name, const std::string& text) {
  const fs::path path = Folder() / name;
  std::ofstream(path, std::ios::binary) << text;
  return path.string();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// "{script}", "{bad}" and "{log:NAME}" stand for files, named for each platform.
Args Resolve(const Args& args, bool windows, const std::string& logSuffix) {
  Args out;
  for (const std::string& a : args) {
    std::string path;
    if (a == "{script}") {
      path = Write("five.txt", kFiveCommands);
    } else if (a == "{bad}") {
      path = Write("bad.txt", "; bad\npollmode set 01 end\ngroup add\n");
    } else if (a == "{log}") {
      path = (Folder() / ("run-" + logSuffix + ".log")).string();
    } else {
      out.push_back(a);
      continue;
    }
    out.push_back(windows ? WinePath(path) : path);
  }
  return out;
}

struct Case {
  const char* name;
  Args sim;
  Args cli;  // without --port
};
std::ostream& operator<<(std::ostream& o, const Case& c) {
  return o << c.name;
}

const Case kCases[] = {
    {"RunCompletes", {}, {"run", "{script}"}},
    {"RunBadStatus", {"--status", "04:00=05"}, {"run", "{script}"}},
    {"RunSilent", {"--silent"}, {"run", "--timeout", "300", "{script}"}},
    {"RunHangUp", {"--hang-up-after", "2"}, {"run", "{script}"}},
    {"RunScriptError", {}, {"run", "{bad}"}},
    {"CheckOk", {}, {"check"}},
    {"CheckBadStatus", {"--status", "18:01=05"}, {"check"}},
    {"CheckSilent", {"--silent"}, {"check", "--timeout", "300"}},
    {"CheckHangUp", {"--hang-up-after", "0"}, {"check"}},
    {"ResetOk", {}, {"reset", "--type", "heron"}},
    {"ResetBadStatus", {"--status", "04:09=09"}, {"reset"}},
    {"ResetSilent", {"--silent"}, {"reset", "--timeout", "300"}},
    {"ResetHangUp", {"--hang-up-after", "0"}, {"reset"}},
    {"RebootOk", {}, {"reboot", "--baud", "57600"}},
    {"RebootBadStatus", {"--status", "77:05=02"}, {"reboot"}},
    {"RebootSilent", {"--silent"}, {"reboot", "--timeout", "300"}},
    {"RebootHangUp", {"--hang-up-after", "0"}, {"reboot"}},
    {"DetectTern", {"--type", "2"}, {"detect"}},
    {"DetectLark", {"--type", "0"}, {"detect", "--type", "lark"}},
    {"DetectHeron", {"--type", "3"}, {"detect", "--type", "heron"}},
    {"DetectHeronBadStatus", {"--type", "3", "--status", "29:00=06"}, {"detect", "--type", "3"}},
    {"DetectSilent", {"--silent"}, {"detect", "--timeout", "300"}},
    {"DetectHangUp", {"--hang-up-after", "0"}, {"detect"}},
};

class WineCliTest : public ::testing::TestWithParam<Case> {};

TEST_P(WineCliTest, SameBytesAsTheLinuxProgram) {
  const Case& c = GetParam();
  ProcessResult onLinux;
  {
    SimProcess sim(c.sim);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    Args args = Resolve(c.cli, false, "linux");
    args.insert(args.begin() + 1, {"--port", sim.Path()});
    onLinux = RunProcess(KAVONEL_CLI_PATH, args);
  }
  ProcessResult onWindows;
  {
    WineReader reader(c.sim);
    ASSERT_TRUE(reader.Ready()) << reader.Error();
    Args args = Resolve(c.cli, true, "windows");
    args.insert(args.begin() + 1, {"--port", kWinePort});
    onWindows = RunWindows("kavonel-cli.exe", args);
  }
  EXPECT_EQ(onWindows.out, onLinux.out);
  EXPECT_EQ(onWindows.err, onLinux.err);
  EXPECT_EQ(onWindows.exitCode, onLinux.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Commands, WineCliTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// explain and tags read the data as on Linux, with the same country and currency names
// (built into both programs from iso-codes), non-ASCII ones included.
TEST(WineCli, ExplainAndTagsSayWhatTheLinuxProgramSays) {
  const std::string script =
      Write("explain.txt", std::string(kFiveCommands) +
                               "configuration set 9F1A 02 0384 5F2A 02 0952 5F36 01 00\n"
                               "  9F1C 08 5445524D0A313233 9F1B 04 00001388 end\n");
  for (const Args& args : {Args{"explain", "{script}"}, Args{"explain", "--json", "{script}"},
                           Args{"tags", "--json"}, Args{"tags", "9F1A", "9F99"}}) {
    const auto resolve = [&](bool windows) {
      Args out;
      for (const std::string& a : args) {
        out.push_back(a != "{script}" ? a : windows ? WinePath(script) : script);
      }
      return out;
    };
    const ProcessResult onLinux = RunProcess(KAVONEL_CLI_PATH, resolve(false));
    const ProcessResult onWindows = RunWindows("kavonel-cli.exe", resolve(true));
    EXPECT_EQ(onWindows.out, onLinux.out) << args[0];
    EXPECT_EQ(onWindows.err, onLinux.err) << args[0];
    EXPECT_EQ(onWindows.exitCode, onLinux.exitCode) << args[0];
  }
}

TEST(WineCli, TheLogFileHasTheSameBytesAsOnLinux) {
  const std::string linuxLog = (Folder() / "run-linux.log").string();
  const std::string windowsLog = (Folder() / "run-windows.log").string();
  Write("run-windows.log", "old content that must go\n");
  {
    SimProcess sim({"--status", "04:00=05"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    RunProcess(
        KAVONEL_CLI_PATH,
        Resolve({"run", "--port", sim.Path(), "--log", "{log}", "{script}"}, false, "linux"));
  }
  WineReader reader({"--status", "04:00=05"});
  ASSERT_TRUE(reader.Ready()) << reader.Error();
  const ProcessResult r = RunWindows(
      "kavonel-cli.exe",
      Resolve({"run", "--port", kWinePort, "--log", "{log}", "{script}"}, true, "windows"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadAll(windowsLog), r.out);
  EXPECT_EQ(ReadAll(windowsLog), ReadAll(linuxLog));
  EXPECT_EQ(ReadAll(windowsLog).find('\r'), std::string::npos);
}

// The trace, the status text and the exit status are the same; the line that says why
// names the platform's device.
TEST(WineCli, PortsThatDoNotOpenFailAlike) {
  const ProcessResult onLinux =
      RunProcess(KAVONEL_CLI_PATH, {"check", "--port", "/dev/kavonel-none"});
  const std::string linuxReason =
      "kavonel-cli: /dev/kavonel-none: no such device; `kavonel-cli ports` lists the ports "
      "present\n";
  ASSERT_GE(onLinux.err.size(), linuxReason.size());
  const std::string status = onLinux.err.substr(0, onLinux.err.size() - linuxReason.size());
  ASSERT_EQ(onLinux.err, status + linuxReason);
  const std::pair<const char*, const char*> cases[] = {
      {"COM250", "\\\\.\\COM250: no such device; `kavonel-cli ports` lists the ports present"},
      {"NUL", "\\\\.\\NUL: not a serial port"},
      {"C:\\reader", "not a port name: C:\\reader"},  // refused before any device is asked
  };
  for (const auto& [name, reason] : cases) {
    const ProcessResult onWindows = RunWindows("kavonel-cli.exe", {"check", "--port", name});
    EXPECT_EQ(onWindows.out, onLinux.out) << name;
    EXPECT_EQ(onWindows.err.substr(0, status.size()), status) << name;
    EXPECT_EQ(onWindows.err.substr(status.size()), std::string("kavonel-cli: ") + reason + "\n")
        << name;
    EXPECT_EQ(onWindows.exitCode, onLinux.exitCode) << name;
  }
}

// A script, a log and a batch's traces in a folder named outside ASCII (an operator's
// "Zoë\Конфиг"): the Windows program opens and writes them there, echoes their names as
// UTF-8 bytes, and its outputs are the Linux program's in the same folder.
TEST(WineCli, FilesInAFolderNamedOutsideAscii) {
  const fs::path dir = Folder() / u8"Zoë" / u8"Конфиг";
  fs::create_directories(dir);
  const std::string folder = dir.string();
  const std::string script = folder + "/five.txt";
  std::ofstream(script, std::ios::binary) << kFiveCommands;
  const auto onWindows = [](const std::string& path) { return WinePath(path); };

  ProcessResult linuxRun, linuxLint;
  {
    SimProcess sim(Args{});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    linuxRun = RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script});
  }
  linuxLint = RunProcess(KAVONEL_CLI_PATH, {"lint", folder + "/none.txt"});
  ASSERT_EQ(linuxRun.exitCode, 0) << linuxRun.err;

  {
    WineReader reader(Args{});
    ASSERT_TRUE(reader.Ready()) << reader.Error();
    const ProcessResult r =
        RunWindows("kavonel-cli.exe", {"run", "--port", kWinePort, "--log",
                                       onWindows(folder + "/run.log"), onWindows(script)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, linuxRun.out);
    EXPECT_EQ(r.err, linuxRun.err);
    EXPECT_EQ(ReadAll(folder + "/run.log"), linuxRun.out);
  }
  {
    WineReader reader(Args{});
    ASSERT_TRUE(reader.Ready()) << reader.Error();
    const ProcessResult r = RunWindows(
        "kavonel-cli.exe", {"run", "--port", kWinePort, "--log-dir",
                            onWindows(folder + "/traces"), onWindows(script)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Not COM5.log, which Windows would open as the port itself.
    EXPECT_EQ(ReadAll(folder + "/traces/COM5_.log"), linuxRun.out);
  }
  // The name in the error line is the one given, byte for byte.
  const ProcessResult lint = RunWindows("kavonel-cli.exe", {"lint", onWindows(folder + "/none.txt")});
  EXPECT_EQ(lint.exitCode, linuxLint.exitCode);
  EXPECT_EQ(lint.err, onWindows(folder + "/none.txt") +
                          linuxLint.err.substr((folder + "/none.txt").size()));
  const ProcessResult missing =
      RunWindows("kavonel-cli.exe", {"run", "--port", kWinePort, onWindows(folder + "/none.txt")});
  EXPECT_EQ(missing.exitCode, 64);
  EXPECT_NE(missing.err.find("File does not exist: " + onWindows(folder + "/none.txt")),
            std::string::npos)
      << missing.err;
}

}  // namespace
}  // namespace kavonel::testing
