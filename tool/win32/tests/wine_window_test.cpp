// Kavonel.exe under Wine, driven from outside as an operator would (by
// kavonel_window_driver.exe) against reader-sim behind COM5, from a folder whose name is
// not ASCII: settings, detection with the waiting dialog and the reporter, a script run
// through the open-file dialog, check, reset, reboot, a script error, Clear, the About
// box, Enter, a port that does not open and its reason box, Settings again, a silent
// reader (the window answers while it waits), closing while detection runs. The log file
// must hold, byte for byte, what the Linux kavonel-cli prints for the same operations.
// Needs an X display (scripts/test-windows runs the Wine tests under xvfb-run).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "wine_support.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;

const char kFiveCommands[] =
    "; five commands\n"
    "pollmode set 01 end\n"
    "configuration set\n  9F1A 02 0840\nend\n"
    "group set\n  FFE4 01 00\nend\n"
    "group set\n  FFE4 01 01\nend\n"
    "pollmode set 01 end\n";
const char kBadScript[] = "; bad\npollmode set 01 end\ngroup add\n";

const char kMain[] = "Orvessa Reader Configuration Tool (Version 1.3.3)";

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The Windows name of a Linux path, with backslashes.
std::string WindowsName(const fs::path& path) {
  std::string name = WinePath(path.string());
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  return name;
}

// The lines of the transcript that report something (everything the driver prints).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One operation that ends in the status reporter: its text, then OK.
std::string Outcome(const std::string& before) {
  return before +
         "wait Status Reporter\ntext 1019\nclick 1018\ngone Status Reporter\n"
         "wait " + kMain + "\n";
}

TEST(WineWindow, AnOperatorsSessionLogsWhatKavonelCliPrints) {
  ASSERT_FALSE(WindowsBin().empty()) << "KAVONEL_WINDOWS_BIN not set";
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the window needs an X display";
  const fs::path dir = fs::path(::testing::TempDir()) / "kavonel-wine-window" / "Zo\xC3\xAB" /
                       "\xD0\x9A\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3";
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* file : {"Kavonel.exe", "Quassel.dll"}) {
    fs::copy_file(fs::path(WindowsBin()) / file, dir / file);
  }
  WriteFile(dir / "five.txt", kFiveCommands);
  WriteFile(dir / "bad.txt", kBadScript);

  WineReader reader({"--type", "2"});
  ASSERT_TRUE(reader.Ready()) << reader.Error();
  ASSERT_TRUE(RegisterWinePort(kWinePort, true));
  // COM6: a reader that answers detection, then falls silent.
  SimProcess silent({"--type", "2", "--silent-after", "1"});
  ASSERT_TRUE(silent.Started());
  ASSERT_TRUE(MapWinePort(silent.Path(), "com6"));
  MapWinePort("", "com7");  // COM7: no device at all

  std::string steps = "start " + WindowsName(dir / "Kavonel.exe") + "\n";
  // Settings: Tern on COM5 (listed), logging on.
  steps +=
      "wait Configuration Tool - Settings\nplace\nselect 1000 Tern\nselect 1001 COM5\n"
      "check 1003 1\nclick 1004\n";
  steps += "wait Waiting Dialogue\nplace\n";
  steps += Outcome("");
  steps += "place\ntext 1013\nenabled 1012\nenabled 1010\n";
  steps += Outcome("click 1015\nopen " + WindowsName(dir / "five.txt") + "\n");
  steps += "text 1017\n";
  steps += Outcome("click 1010\n");
  steps += Outcome("click 1011\n");
  steps += Outcome("click 1012\n");
  steps += Outcome("click 1015\nopen " + WindowsName(dir / "bad.txt") + "\n");
  // Clear empties the monitor and the status line; the log keeps everything.
  steps += "click 1004\nsleep 200\nlength 1005\ntext 1017\n";
  // The About box from the system menu, ended with Enter.
  steps += "sysmenu 16\nwait About Orvessa Configuration Tool\nplace\nkey enter\n"
           "gone About Orvessa Configuration Tool\nwait " + std::string(kMain) + "\n";
  // Enter in the main window ends nothing.
  steps += "key enter\nsleep 300\nwait " + std::string(kMain) + "\nping 5000\n";
  // A port that does not open: the reporter, then the reason beside the window; it goes
  // when the settings are confirmed again.
  steps += "click 1014\nwait Configuration Tool - Settings\nsettext 1001 COM7\nclick 1004\n";
  steps += Outcome("");
  steps += "wait Kavonel\ntext 1031\nwait " + std::string(kMain) + "\n";
  steps += "click 1014\nwait Configuration Tool - Settings\nsettext 1001 COM6\nclick 1004\n"
           "gone Kavonel\n";
  steps += Outcome("");
  // The silent reader: the check waits for its answer, and the window answers meanwhile;
  // a link failure ends the check in the monitor alone.
  steps += "click 1010\nsleep 1500\nping 1000\nping 1000\nuntil-enabled 1010\n";
  // Settings again, and the window closed while that detection waits on the silent
  // reader (the waiting dialog first, with Escape).
  steps += "click 1014\nwait Configuration Tool - Settings\nclick 1004\n"
           "wait Waiting Dialogue\nkey escape\ngone Waiting Dialogue\nwait " + std::string(kMain) +
           "\nclose\nexit\n";
  const fs::path stepsFile = dir.parent_path() / "steps.txt";
  WriteFile(stepsFile, steps);

  const ProcessResult run = RunWindows("kavonel_window_driver.exe", {WindowsName(stepsFile)});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  const auto has = [&lines](const std::string& prefix) {
    for (const std::string& line : lines) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  };
  EXPECT_TRUE(has("text 1019: Orvessa Reader Found!")) << run.out;
  EXPECT_TRUE(has("text 1013: ")) << run.out;
  EXPECT_TRUE(has("enabled 1012: 1")) << run.out;
  EXPECT_TRUE(has("text 1017: Configuration Script run, Completed")) << run.out;
  EXPECT_TRUE(has("text 1019: Device ON line")) << run.out;
  EXPECT_TRUE(has("text 1019: Error in Script. Processing Aborted.")) << run.out;
  EXPECT_TRUE(has("length 1005: 0")) << run.out;
  EXPECT_TRUE(has("text 1031: ")) << run.out;
  EXPECT_TRUE(has("text 1019: Orvessa Reader Not Found!!!")) << run.out;
  EXPECT_TRUE(has("ping: ok")) << run.out;
  EXPECT_FALSE(has("ping: no answer")) << run.out;
  EXPECT_TRUE(has("exit: 0")) << run.out;

  // The same operations by the Linux kavonel-cli, against a reader of the same kind.
  SimProcess linuxReader({"--type", "2"});
  ASSERT_TRUE(linuxReader.Started());
  SimProcess linuxSilent({"--type", "2", "--silent-after", "1"});
  ASSERT_TRUE(linuxSilent.Started());
  const std::string port = linuxReader.Path();
  std::string expected;
  const auto cli = [&expected](std::vector<std::string> args) {
    expected += RunProcess(KAVONEL_CLI_PATH, args).out;
  };
  cli({"detect", "--port", port});
  cli({"run", "--port", port, (dir / "five.txt").string()});
  cli({"check", "--port", port});
  cli({"reset", "--port", port});
  cli({"reboot", "--port", port});
  cli({"run", "--port", port, (dir / "bad.txt").string()});
  cli({"detect", "--port", "/dev/kavonel-none"});
  cli({"detect", "--port", linuxSilent.Path()});
  cli({"check", "--port", linuxSilent.Path()});
  const std::string log = Read(dir / "Pellorin.log");
  // The last detection was cut short by the close: the log holds all before it whole.
  ASSERT_GE(log.size(), expected.size()) << log;
  EXPECT_EQ(log.substr(0, expected.size()), expected);

  RegisterWinePort(kWinePort, false);
  MapWinePort("", "com6");
}

}  // namespace
}  // namespace kavonel::testing
