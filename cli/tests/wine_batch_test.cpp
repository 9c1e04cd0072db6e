// kavonel-cli.exe on many readers under Wine: a batch beside the Linux kavonel-cli on
// the same kind of readers (lines, traces, reports, exit status), Ctrl-C twice, and
// watch with a port that Windows enters in its registry, leaves and enters again.
// Wine passes a SIGINT on to the program as the console's Ctrl-C event, so the handler
// that a Windows console calls is what the signals here reach.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "batch_support.h"
#include "wine_support.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Replacements = std::vector<std::pair<std::string, std::string>>;

fs::path TestDir() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(::testing::TempDir()) / "kavonel-wine-batch" / test->name();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// A Linux path as the Windows program names it: drive Z:, backslashes.
std::string WindowsPath(const fs::path& path) {
  std::string text = WinePath(path.string());
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::string Replaced(std::string text, const Replacements& replacements) {
  for (const auto& [from, to] : replacements) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

// Standard error with the platform's names made alike and the columns' padding (which
// follows the names' widths) made one space; the reader lines, which come in the order
// the readers end, sorted.
std::string Comparable(const std::string& err, const Replacements& names) {
  std::vector<std::string> ends;
  std::string rest;
  std::istringstream in(Replaced(err, names));
  bool inEnds = true;
  for (std::string line; std::getline(in, line);) {
    std::string squeezed;
    for (char c : line) {
      if (c != ' ' || squeezed.empty() || squeezed.back() != ' ') squeezed += c;
    }
    if (line.empty()) inEnds = false;
    if (inEnds) {
      ends.push_back(squeezed);
    } else {
      rest += squeezed + "\n";
    }
  }
  std::sort(ends.begin(), ends.end());
  std::string text;
  for (const std::string& line : ends) text += line + "\n";
  return text + rest;
}

// The JUnit document as libxml2 parses it, one line per element (its attributes and its
// text), with the platform's names made alike and the times left out.
std::string JUnitOutline(const fs::path& file, const Replacements& names) {
  xmlDocPtr doc = xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET);
  if (doc == nullptr) return "not XML";
  std::string outline;
  auto walk = [&](auto& self, xmlNodePtr node, int depth) -> void {
    for (; node != nullptr; node = node->next) {
      if (node->type != XML_ELEMENT_NODE) continue;
      outline += std::string(static_cast<size_t>(depth), ' ');
      outline += reinterpret_cast<const char*>(node->name);
      for (xmlAttrPtr a = node->properties; a != nullptr; a = a->next) {
        const std::string name = reinterpret_cast<const char*>(a->name);
        xmlChar* value = xmlNodeGetContent(a->children);
        outline += " " + name + "=";
        if (name != "time" && name != "timestamp") {
          outline += Replaced(reinterpret_cast<const char*>(value), names);
        }
        xmlFree(value);
      }
      if (node->children != nullptr && node->children->type == XML_TEXT_NODE &&
          node->children->next == nullptr) {
        xmlChar* text = xmlNodeGetContent(node);
        outline += " text=" + Replaced(reinterpret_cast<const char*>(text), names);
        xmlFree(text);
      }
      outline += "\n";
      self(self, node->children, depth + 1);
    }
  };
  walk(walk, xmlDocGetRootElement(doc), 0);
  xmlFreeDoc(doc);
  return outline;
}

// Two readers that configure and one that answers a bad status, with detection: once
// with the Linux program on their paths, once with the Windows program on COM31..COM33,
// named partly by --port and partly by a pattern over the registry's ports.
TEST(WineBatch, ThreeReadersGiveTheLinuxLinesTracesReportsAndExitStatus) {
  const fs::path dir = TestDir();
  // A name with characters that XML escapes, in the reports' attributes and texts.
  const fs::path script = dir / "five & one's.txt";
  std::ofstream(script) << kFiveCommands;
  SimProcess healthy({"--count", "2", "--link", (dir / "ok").string()});
  SimProcess bad({"--status", "04:00=05", "--link", (dir / "bad").string()});
  ASSERT_TRUE(healthy.Started()) << healthy.Error();
  ASSERT_TRUE(bad.Started()) << bad.Error();
  const std::vector<std::pair<std::string, fs::path>> ports = {
      {"COM31", dir / "ok1"}, {"COM32", dir / "ok2"}, {"COM33", dir / "bad"}};
  for (const auto& [port, device] : ports) {
    ASSERT_TRUE(MapWinePort(device.string(), "com" + port.substr(3)));
    ASSERT_TRUE(RegisterWinePort(port, true));
  }

  const ProcessResult onLinux = RunProcess(
      KAVONEL_CLI_PATH,
      {"run", "--port", (dir / "ok1").string(), "--port", (dir / "ok2").string(), "--port",
       (dir / "bad").string(), "--detect", "--log-dir", (dir / "linux").string(), "--report",
       (dir / "linux.json").string(), "--junit", (dir / "linux.xml").string(), script.string()});
  // COM31 twice, by its device name and by the pattern: one reader, whose trace is
  // COM31.log.
  const ProcessResult onWindows =
      RunWindows("kavonel-cli.exe",
                 {"run", "--port", "\\\\.\\COM31", "--ports", "COM3?", "--detect", "--log-dir",
                  WindowsPath(dir / "windows"), "--report", WindowsPath(dir / "windows.json"),
                  "--junit", WindowsPath(dir / "windows.xml"), WindowsPath(script)});
  for (const auto& [port, device] : ports) {
    RegisterWinePort(port, false);
    MapWinePort("", "com" + port.substr(3));
  }

  ASSERT_EQ(onLinux.exitCode, 1) << onLinux.err;
  ASSERT_EQ(onWindows.exitCode, onLinux.exitCode) << onWindows.err;
  EXPECT_EQ(onWindows.out, "");
  // The names each platform gives the same things, made alike.
  Replacements linuxNames = {{(dir / "linux.json").string(), "REPORT"},
                             {(dir / "linux.xml").string(), "JUNIT"},
                             {(dir / "linux").string() + "/", "LOGS/"},
                             {(dir / "linux").string(), "LOGS"},
                             {script.string(), "SCRIPT"}};
  Replacements windowsNames = {{WindowsPath(dir / "windows.json"), "REPORT"},
                               {WindowsPath(dir / "windows.xml"), "JUNIT"},
                               {WindowsPath(dir / "windows") + "\\", "LOGS/"},
                               {WindowsPath(dir / "windows"), "LOGS"},
                               {WindowsPath(script), "SCRIPT"}};
  windowsNames.push_back({"\\\\.\\COM31", "READER1"});
  for (size_t i = 0; i < ports.size(); ++i) {
    const std::string name = "READER" + std::to_string(i + 1);
    linuxNames.push_back({ports[i].second.string(), name});
    linuxNames.push_back({ports[i].second.filename().string() + ".log", name + ".log"});
    windowsNames.push_back({ports[i].first, name});
  }
  EXPECT_EQ(Comparable(onWindows.err, windowsNames), Comparable(onLinux.err, linuxNames));

  for (const auto& [port, device] : ports) {
    const std::string trace = Read(dir / "windows" / (port + ".log"));
    EXPECT_EQ(trace, Read(dir / "linux" / (device.filename().string() + ".log"))) << port;
    EXPECT_EQ(trace.find('\r'), std::string::npos) << port;
  }

  // The JSON reports: every field the same but paths, times and durations.
  const Json linuxReport = Json::parse(Read(dir / "linux.json"));
  const Json windowsReport = Json::parse(Read(dir / "windows.json"));
  EXPECT_EQ(windowsReport.at("script").at("path"), WindowsPath(script));
  for (const char* field : {"sha256", "commands"}) {
    EXPECT_EQ(windowsReport.at("script").at(field), linuxReport.at("script").at(field)) << field;
  }
  for (const char* field : {"tool", "host", "exit_status"}) {
    EXPECT_EQ(windowsReport.at(field), linuxReport.at(field)) << field;
  }
  EXPECT_TRUE(windowsReport.at("ended").is_string());
  ASSERT_EQ(windowsReport.at("readers").size(), ports.size());
  ASSERT_EQ(linuxReport.at("readers").size(), ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    Json onWindowsEntry = windowsReport.at("readers").at(i);
    Json onLinuxEntry = linuxReport.at("readers").at(i);
    EXPECT_EQ(onWindowsEntry.at("port"), i == 0 ? "\\\\.\\COM31" : ports[i].first);
    EXPECT_EQ(onWindowsEntry.at("trace"), WindowsPath(dir / "windows" / (ports[i].first + ".log")));
    for (Json* entry : {&onWindowsEntry, &onLinuxEntry}) {
      for (const char* differs : {"port", "trace", "started", "duration_ms"}) entry->erase(differs);
    }
    EXPECT_EQ(onWindowsEntry, onLinuxEntry) << ports[i].first;
  }

  EXPECT_EQ(JUnitOutline(dir / "windows.xml", windowsNames),
            JUnitOutline(dir / "linux.xml", linuxNames));
}

// A hub's worth of readers on COM1 upwards: more readers than one wait can take on Windows
// (64 objects), and COM1 .. COM9, whose trace names Windows keeps for the ports themselves.
TEST(WineBatch, AHundredReadersFromCOM1UpAllCompleteEachWithItsOwnTrace) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  constexpr int kReaders = 100;
  SimProcess readers({"--count", std::to_string(kReaders), "--link", (dir / "r").string()});
  ASSERT_TRUE(readers.Started()) << readers.Error();
  ASSERT_TRUE(Eventually([&] { return fs::exists(dir / ("r" + std::to_string(kReaders))); }));
  const ProcessResult single =
      RunProcess(KAVONEL_CLI_PATH, {"run", "--port", (dir / "r1").string(), script.string()});
  ASSERT_EQ(single.exitCode, 0) << single.err;
  std::vector<std::string> args = {"run"};
  for (int i = 1; i <= kReaders; ++i) {
    ASSERT_TRUE(MapWinePort((dir / ("r" + std::to_string(i))).string(), "com" + std::to_string(i)));
    args.insert(args.end(), {"--port", "COM" + std::to_string(i)});
  }
  args.insert(args.end(), {"--log-dir", WindowsPath(dir / "logs"), "--report",
                           WindowsPath(dir / "r.json"), WindowsPath(script)});
  const ProcessResult batch = RunWindows("kavonel-cli.exe", args);
  for (int i = 1; i <= kReaders; ++i) MapWinePort("", "com" + std::to_string(i));

  EXPECT_EQ(batch.exitCode, 0) << batch.err;
  EXPECT_NE(batch.err.find("100 readers: 100 completed; exit status 0\n"), std::string::npos)
      << batch.err;
  const Json report = Json::parse(Read(dir / "r.json"));
  ASSERT_EQ(report.at("readers").size(), size_t{kReaders});
  for (int i = 1; i <= kReaders; ++i) {
    const std::string name = "COM" + std::to_string(i) + (i < 10 ? "_" : "") + ".log";
    EXPECT_EQ(report.at("readers").at(size_t(i - 1)).at("trace"), WindowsPath(dir / "logs" / name));
    EXPECT_EQ(Read(dir / "logs" / name), single.out) << name;
  }
}

// A reader that falls silent holds its run (a minute's wait by default): the first
// Ctrl-C lets it go on, the second abandons it, its port closed and every file whole.
TEST(WineBatch, CtrlCTwiceAbandonsASilentReaderAndLeavesTheFilesWhole) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  SimProcess silent({"--silent-after", "1", "--link", (dir / "silent").string()});
  ASSERT_TRUE(silent.Started()) << silent.Error();
  ASSERT_TRUE(MapWinePort(silent.Path(), "com35"));
  Background run({WindowsBin() + "/kavonel-cli.exe", "run", "--port", "COM35", "--port", "COM36",
                  "--log-dir", WindowsPath(dir / "logs"), "--report", WindowsPath(dir / "r.json"),
                  "--junit", WindowsPath(dir / "r.xml"), WindowsPath(script)},
                 dir, 0, EnvOr("KAVONEL_WINE", "/usr/lib/wine/wine64"));
  const fs::path trace = dir / "logs" / "COM35.log";
  const bool waiting = Eventually([&] {
    const std::string text = Read(trace);
    return text.find("[TX]") != text.rfind("[TX]");
  });
  if (waiting) run.Signal(SIGINT);
  const bool finishing =
      waiting && Eventually([&] { return run.Err().find("Ctrl-C again") != std::string::npos; });
  if (finishing) run.Signal(SIGINT);
  const int exitCode = run.Wait();
  MapWinePort("", "com35");
  ASSERT_TRUE(waiting) << run.Err();
  ASSERT_TRUE(finishing) << run.Err();
  EXPECT_EQ(exitCode, 3) << run.Err();

  const Json report = Json::parse(Read(dir / "r.json"));
  ASSERT_EQ(report.at("readers").size(), 2u);
  const Json& abandoned = report.at("readers").at(0);
  EXPECT_TRUE(abandoned.at("abandoned").get<bool>());
  EXPECT_EQ(abandoned.at("commands_ok"), 1);
  EXPECT_TRUE(Read(trace).ends_with("The Tool: Unable to Communicate with the device\n"));
  // COM36 does not exist: that reader ended at once, on its own.
  EXPECT_FALSE(report.at("readers").at(1).at("abandoned").get<bool>());
  EXPECT_FALSE(report.at("readers").at(1).at("port_problem").is_null());
  EXPECT_FALSE(report.at("ended").is_null());
  EXPECT_NE(JUnitOutline(dir / "r.xml", {}), "not XML");
  for (const auto& entry : fs::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

TEST(WineWatch, APortEnteredInTheRegistryIsConfiguredAgainAfterItLeftAndCtrlCEndsIt) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  SimProcess sim({"--link", (dir / "reader").string()});
  ASSERT_TRUE(sim.Started()) << sim.Error();
  const ProcessResult single =
      RunProcess(KAVONEL_CLI_PATH, {"run", "--port", sim.Path(), script.string()});
  ASSERT_EQ(single.exitCode, 0) << single.err;
  ASSERT_TRUE(MapWinePort(sim.Path(), "com81"));

  const fs::path report = dir / "watch.json";
  Background watch(
      {WindowsBin() + "/kavonel-cli.exe", "watch", "--ports", "COM8?", "--log-dir",
       WindowsPath(dir / "logs"), "--report", WindowsPath(report), WindowsPath(script)},
      dir, 0, EnvOr("KAVONEL_WINE", "/usr/lib/wine/wine64"));
  // The report is written before the watch begins; what is entered after it is seen.
  ASSERT_TRUE(Eventually([&] { return fs::exists(report); })) << watch.Err();
  EXPECT_EQ(Entries(report), 0u);
  ASSERT_TRUE(RegisterWinePort("COM81", true));
  const bool first = Eventually([&] { return Entries(report) == 1; });
  // Unplugged and plugged in again: away for a moment, as a replug is.
  ASSERT_TRUE(RegisterWinePort("COM81", false));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(RegisterWinePort("COM81", true));
  const bool again = Eventually([&] { return Entries(report) == 2; });
  RegisterWinePort("COM81", false);
  MapWinePort("", "com81");
  EXPECT_TRUE(first) << watch.Err();
  EXPECT_TRUE(again) << watch.Err();

  watch.Signal(SIGINT);
  EXPECT_EQ(watch.Wait(), 0) << watch.Err();
  EXPECT_NE(watch.Err().find("2 readers: 2 completed; exit status 0\n"), std::string::npos)
      << watch.Err();
  const Json json = Json::parse(Read(report));
  EXPECT_TRUE(json.at("ended").is_string());
  ASSERT_EQ(json.at("readers").size(), 2u);
  EXPECT_EQ(json.at("readers").at(0).at("port"), "COM81");
  EXPECT_EQ(json.at("readers").at(1).at("port"), "COM81");
  EXPECT_EQ(Read(dir / "logs" / "COM81.log"), single.out);
  EXPECT_EQ(Read(dir / "logs" / "COM81-2.log"), single.out);
}

}  // namespace
}  // namespace kavonel::testing
