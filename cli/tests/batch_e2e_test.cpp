// kavonel-cli on many readers, end to end against reader-sim: a batch with every kind of
// trouble, the report files read back field by field, Ctrl-C, and watch with readers
// that come, go, come back, and one whose permissions come late.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "batch_support.h"
#include "e2e_support.h"
#include "sim/sim_process.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Json = nlohmann::json;

const char kUnable[] = "The Tool: Unable to Communicate with the device\n";

fs::path TestDir() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(::testing::TempDir()) / "kavonel-batch-e2e" /
                       (std::string(test->test_suite_name()) + "." + test->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string Sha256Of(const fs::path& path) {
  std::string command = "sha256sum '" + path.string() + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  char digest[65] = {};
  if (pipe == nullptr) return {};
  if (std::fread(digest, 1, 64, pipe) != 64) digest[0] = 0;
  pclose(pipe);
  return digest;
}

std::map<std::string, Json> ReadersByPort(const Json& report) {
  std::map<std::string, Json> readers;
  for (const Json& reader : report.at("readers")) readers[reader.at("port")] = reader;
  return readers;
}

// Every field of every entry has the documented type, whatever the reader did.
void ExpectEntryShape(const Json& r) {
  static const std::regex kTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  EXPECT_TRUE(r.at("port").is_string());
  EXPECT_TRUE(fs::exists(r.at("trace").get<std::string>())) << r;
  EXPECT_TRUE(r.at("serial_number").is_null() || r.at("serial_number").is_string());
  EXPECT_TRUE(r.at("description").is_null() || r.at("description").is_string());
  EXPECT_EQ(r.at("reader_type"), 2);
  EXPECT_EQ(r.at("reader_type_name"), "Tern");
  EXPECT_TRUE(r.at("firmware_version").is_null() || r.at("firmware_version").is_string());
  EXPECT_TRUE(r.at("verdict_text").is_string());
  EXPECT_TRUE(r.at("port_problem").is_null() || r.at("port_problem").is_string());
  EXPECT_TRUE(r.at("abandoned").is_boolean());
  EXPECT_EQ(r.at("commands_total"), 5);
  EXPECT_TRUE(std::regex_match(r.at("started").get<std::string>(), kTime)) << r;
  EXPECT_GE(r.at("duration_ms").get<int>(), 0);
  const Json& failure = r.at("first_failure");
  if (!failure.is_null()) {
    EXPECT_TRUE(failure.at("index").is_number_unsigned());
    EXPECT_TRUE(failure.at("command").is_string());
    EXPECT_TRUE(failure.at("status").is_null() || failure.at("status").is_number());
    EXPECT_TRUE(failure.at("status_text").is_string());
  }
}

// Five healthy readers and one each that answers a bad status, falls silent, hangs up
// mid-run and is of another type, all at once with detection.
TEST(BatchRun, EightReadersEachWithItsOwnLineTraceEntryAndTheWorstExitStatus) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  SimProcess healthy({"--count", "4", "--link", (dir / "ok").string()});
  SimProcess bad({"--status", "04:00=05", "--link", (dir / "bad").string()});
  SimProcess silent({"--silent-after", "3", "--link", (dir / "silent").string()});
  SimProcess hangUp({"--hang-up-after", "3", "--link", (dir / "gone").string()});
  SimProcess heron({"--type", "3", "--link", (dir / "heron").string()});
  for (SimProcess* sim : {&healthy, &bad, &silent, &hangUp, &heron}) {
    ASSERT_TRUE(sim->Started()) << sim->Error();
  }
  const fs::path logs = dir / "logs";
  const ProcessResult r = RunProcess(KAVONEL_CLI_PATH, {"run",
                                                        "--ports",
                                                        (dir / "ok*").string(),
                                                        "--port",
                                                        (dir / "bad").string(),
                                                        "--port",
                                                        (dir / "silent").string(),
                                                        "--port",
                                                        (dir / "gone").string(),
                                                        "--port",
                                                        (dir / "heron").string(),
                                                        "--detect",
                                                        "--timeout",
                                                        "300",
                                                        "--log-dir",
                                                        logs.string(),
                                                        "--report",
                                                        (dir / "r.json").string(),
                                                        "--junit",
                                                        (dir / "r.xml").string(),
                                                        script.string()});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.out, "");

  // A single-port run on the same kind of reader prints what each trace holds.
  const ProcessResult single =
      RunProcess(KAVONEL_CLI_PATH, {"run", "--port", (dir / "ok1").string(), script.string()});
  ASSERT_EQ(single.exitCode, 0);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(Read(logs / ("ok" + std::to_string(i) + ".log")), single.out) << i;
  }
  const ProcessResult singleBad =
      RunProcess(KAVONEL_CLI_PATH, {"run", "--port", (dir / "bad").string(), script.string()});
  EXPECT_EQ(Read(logs / "bad.log"), singleBad.out);
  EXPECT_NE(singleBad.out.find("Result:Incorrect Parameter\n"), std::string::npos);
  for (const char* name : {"silent.log", "gone.log"}) {
    const std::string trace = Read(logs / name);
    EXPECT_TRUE(trace.ends_with(std::string("\n") + kUnable)) << name << ":\n" << trace;
    EXPECT_EQ(trace.substr(0, trace.find("Result:")), single.out.substr(0, trace.find("Result:")));
  }
  EXPECT_EQ(Read(logs / "heron.log"), std::string("\n") + kUnable);

  // One plain line per reader (standard error is no terminal), then the summary.
  std::map<std::string, std::string> lines;
  std::istringstream err(r.err);
  for (std::string line; std::getline(err, line) && !line.empty();) {
    lines[line.substr(0, line.find(' '))] = line;
  }
  ASSERT_EQ(lines.size(), 8u) << r.err;
  EXPECT_EQ(
      lines[(dir / "ok3").string()],
      (dir / "ok3").string() + "  Tern 2.4.1  5/5  Configuration Script run, Completed  [exit 0]");
  EXPECT_EQ(lines[(dir / "bad").string()],
            (dir / "bad").string() + "  Tern 2.4.1  5/5  Reader not configured 100%.  [exit 1]");
  EXPECT_EQ(
      lines[(dir / "silent").string()],
      (dir / "silent").string() + "  Tern 2.4.1  3/5  Device Communication Error..  [exit 3]");
  EXPECT_EQ(lines[(dir / "heron").string()],
            (dir / "heron").string() + "  Tern  0/5  Orvessa Reader Not Found!!!  [exit 3]");
  EXPECT_NE(
      r.err.find("8 readers: 2 communication-error, 4 completed, 1 not-configured, 1 not-found; "
                 "exit status 3\n"),
      std::string::npos)
      << r.err;

  // The JSON report, field by field.
  const Json report = Json::parse(Read(dir / "r.json"));
  EXPECT_EQ(report.at("script").at("path"), script.string());
  EXPECT_EQ(report.at("script").at("sha256"), Sha256Of(script));
  EXPECT_EQ(report.at("script").at("commands"), 5);
  EXPECT_TRUE(report.at("tool").get<std::string>().starts_with("kavonel-cli "));
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(report.at("host"), host);
  EXPECT_LE(report.at("started").get<std::string>(), report.at("ended").get<std::string>());
  EXPECT_EQ(report.at("exit_status"), 3);
  std::map<std::string, Json> readers = ReadersByPort(report);
  ASSERT_EQ(readers.size(), 8u);
  for (const auto& [port, entry] : readers) ExpectEntryShape(entry);
  const Json& ok = readers[(dir / "ok2").string()];
  EXPECT_EQ(ok.at("verdict"), "completed");
  EXPECT_EQ(ok.at("verdict_text"), "Configuration Script run, Completed");
  EXPECT_EQ(ok.at("exit_status"), 0);
  EXPECT_EQ(ok.at("firmware_version"), "2.4.1");
  EXPECT_EQ(ok.at("commands_sent"), 5);
  EXPECT_EQ(ok.at("commands_ok"), 5);
  EXPECT_TRUE(ok.at("first_failure").is_null());
  EXPECT_EQ(ok.at("trace"), (logs / "ok2.log").string());
  const Json& badEntry = readers[(dir / "bad").string()];
  EXPECT_EQ(badEntry.at("verdict"), "not-configured");
  EXPECT_EQ(badEntry.at("exit_status"), 1);
  EXPECT_EQ(badEntry.at("commands_sent"), 5);
  EXPECT_EQ(badEntry.at("commands_ok"), 4);
  EXPECT_EQ(badEntry.at("first_failure"), Json({{"index", 1},
                                                {"command", "Set Configuration"},
                                                {"status", 5},
                                                {"status_text", "Incorrect Parameter"}}));
  for (const char* name : {"silent", "gone"}) {
    const Json& lost = readers[(dir / name).string()];
    EXPECT_EQ(lost.at("verdict"), "communication-error") << name;
    EXPECT_EQ(lost.at("exit_status"), 3);
    EXPECT_EQ(lost.at("commands_ok"), 2);
    EXPECT_EQ(lost.at("first_failure").at("index"), 2);
    EXPECT_EQ(lost.at("first_failure").at("command"), "Set Configurable Group");
    EXPECT_TRUE(lost.at("first_failure").at("status").is_null());
    EXPECT_EQ(lost.at("first_failure").at("status_text"),
              "The Tool: Unable to Communicate with the device");
    EXPECT_FALSE(lost.at("abandoned").get<bool>());
  }
  EXPECT_EQ(readers[(dir / "silent").string()].at("commands_sent"), 3);
  const Json& other = readers[(dir / "heron").string()];
  EXPECT_EQ(other.at("verdict"), "not-found");
  EXPECT_EQ(other.at("verdict_text"), "Orvessa Reader Not Found!!!");
  EXPECT_EQ(other.at("exit_status"), 3);
  EXPECT_TRUE(other.at("firmware_version").is_null());
  EXPECT_EQ(other.at("commands_sent"), 0);

  // The JUnit file, read by libxml2's parser: a test case per reader.
  xmlDocPtr doc = xmlReadFile((dir / "r.xml").c_str(), nullptr, XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr);
  std::map<std::string, std::string> cases;
  for (xmlNodePtr suites = xmlDocGetRootElement(doc)->children; suites; suites = suites->next) {
    for (xmlNodePtr test = suites->children; test; test = test->next) {
      if (test->type != XML_ELEMENT_NODE || xmlStrcmp(test->name, BAD_CAST "testcase") != 0) {
        continue;
      }
      xmlChar* name = xmlGetProp(test, BAD_CAST "name");
      std::string kind = "pass";
      for (xmlNodePtr c = test->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE && xmlStrcmp(c->name, BAD_CAST "system-out") != 0) {
          kind = reinterpret_cast<const char*>(c->name);
        }
      }
      cases[reinterpret_cast<const char*>(name)] = kind;
      xmlFree(name);
    }
  }
  xmlFreeDoc(doc);
  ASSERT_EQ(cases.size(), 8u);
  EXPECT_EQ(cases[(dir / "ok4").string()], "pass");
  EXPECT_EQ(cases[(dir / "bad").string()], "failure");
  EXPECT_EQ(cases[(dir / "gone").string()], "error");
  EXPECT_EQ(cases[(dir / "heron").string()], "error");
}

TEST(BatchRun, AScriptErrorEndsTheBatchBeforeAnyPortIsOpened) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "bad.txt";
  std::ofstream(script) << "pollmode set 01 end\ngroup add\n";
  SimProcess a({"--record", (dir / "a.rec").string()});
  SimProcess b({"--record", (dir / "b.rec").string()});
  ASSERT_TRUE(a.Started() && b.Started());
  const ProcessResult r =
      RunProcess(KAVONEL_CLI_PATH, {"run", "--port", a.Path(), "--port", b.Path(), "--log-dir",
                                    (dir / "logs").string(), script.string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, script.string() +
                       ":2: Command format error found in script\n"
                       "Error in Script. Processing Aborted.\n");
  a.Stop();
  b.Stop();
  EXPECT_EQ(Read(dir / "a.rec"), "");
  EXPECT_EQ(Read(dir / "b.rec"), "");
  EXPECT_FALSE(fs::exists(dir / "logs"));
}

// A port that does not open is that reader's failure alone, with the reason in its entry.
TEST(BatchRun, APortThatDoesNotOpenFailsOnlyItsOwnReader) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  SimProcess good(std::vector<std::string>{});
  ASSERT_TRUE(good.Started());
  const ProcessResult r =
      RunProcess(KAVONEL_CLI_PATH,
                 {"run", "--port", good.Path(), "--port", "/dev/kavonel-no-such-port", "--port",
                  "/dev/kavonel-missing/com1", "--log-dir",
                  (dir / "logs").string(), "--report", (dir / "r.json").string(), script.string()});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  const std::map<std::string, Json> readers = ReadersByPort(Json::parse(Read(dir / "r.json")));
  ASSERT_EQ(readers.size(), 3u);
  EXPECT_EQ(readers.at(good.Path()).at("verdict"), "completed");
  // A trace named as a Windows device (COM1, NUL, ...) would be written to that device.
  EXPECT_EQ(readers.at("/dev/kavonel-missing/com1").at("trace"),
            (dir / "logs" / "com1_.log").string());
  EXPECT_TRUE(fs::exists(dir / "logs" / "com1_.log"));
  const Json& missing = readers.at("/dev/kavonel-no-such-port");
  EXPECT_EQ(missing.at("verdict"), "communication-error");
  EXPECT_EQ(missing.at("commands_sent"), 0);
  EXPECT_TRUE(missing.at("port_problem").is_string()) << missing;
  EXPECT_EQ(Read(dir / "logs" / "kavonel-no-such-port.log"),
            "The Comport:- Open Failed\nkavonel-cli: " + missing.at("port_problem").get<std::string>() +
                "\n");
}

// Open-file limits, set for the child alone by prlimit: a soft limit too low for 33
// readers is raised to the hard one and the batch completes; a hard limit too low refuses
// the batch before any port is opened or any file written. The readers themselves come
// from one reader-sim under a limit lower than their count.
TEST(BatchLimits, ALowSoftLimitIsRaisedAndATooLowHardOneRefusesTheBatchUpFront) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  const std::string sim = SimProcess::Program();
  setenv("KAVONEL_READER_SIM", "/usr/bin/prlimit", 1);
  const fs::path links = dir / "links";
  fs::create_directories(links);
  SimProcess readers({"--nofile=24:24", sim, "--count", "32", "--link", (links / "r").string()});
  unsetenv("KAVONEL_READER_SIM");
  SimProcess recorded({"--record", (dir / "requests").string(), "--link", (links / "r0").string()});
  ASSERT_TRUE(readers.Started()) << readers.Error();
  ASSERT_TRUE(recorded.Started()) << recorded.Error();
  ASSERT_TRUE(Eventually([&] { return fs::exists(links / "r32"); }));
  const auto run = [&](const std::string& limit, const std::string& name) {
    return RunProcess("/usr/bin/prlimit",
                      {"--nofile=" + limit, KAVONEL_CLI_PATH, "run", "--ports",
                       (links / "r*").string(), "--log-dir", (dir / name).string(), "--report",
                       (dir / (name + ".json")).string(), script.string()});
  };

  const ProcessResult refused = run("48:48", "refused");
  EXPECT_EQ(refused.exitCode, 64) << refused.err;
  unsigned need = 0;
  char command[256] = {};
  ASSERT_EQ(std::sscanf(refused.err.c_str(),
                        "kavonel-cli: 33 readers need %u open files, more than the limit of 48; "
                        "raise it with `%255[^`]`",
                        &need, command),
            2)
      << refused.err;
  const std::string n = std::to_string(need);
  EXPECT_TRUE(command == "ulimit -n " + n ||
              command == "sudo prlimit --pid $$ --nofile=" + n + ":" + n)
      << command;
  EXPECT_GT(need, 33u * 2);
  EXPECT_EQ(refused.err, "kavonel-cli: 33 readers need " + n +
                             " open files, more than the limit of 48; raise it with `" + command +
                             "` and run again\n");
  EXPECT_EQ(refused.out, "");
  EXPECT_FALSE(fs::exists(dir / "refused"));
  EXPECT_FALSE(fs::exists(dir / "refused.json"));

  const ProcessResult raised = run("48:4096", "raised");
  EXPECT_EQ(raised.exitCode, 0) << raised.err;
  const Json report = Json::parse(Read(dir / "raised.json"));
  ASSERT_EQ(report.at("readers").size(), 33u);
  for (const Json& r : report.at("readers")) EXPECT_EQ(r.at("verdict"), "completed") << r;
  EXPECT_NE(raised.err.find("33 readers: 33 completed; exit status 0\n"), std::string::npos);

  // The refused run sent nothing; the one that ran sent the five commands.
  recorded.Stop();
  const std::string requests = Read(dir / "requests");
  EXPECT_EQ(std::count(requests.begin(), requests.end(), '\n'), 5);
}

// A port that finds no descriptor left (here a watch's limit lowered under it, as other
// readers or other programs can leave it) says so in its line, its trace and its entry,
// and is not blamed on the reader.
TEST(BatchLimits, APortThatFindsNoDescriptorLeftSaysSo) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  const fs::path links = dir / "links";
  fs::create_directories(links);
  const fs::path report = dir / "r.json";
  // A first reader configured while there is room: whatever the program sets up once (and
  // a sanitizer's checks, which need descriptors of their own) is behind it then.
  SimProcess first({"--link", (links / "r0").string()});
  ASSERT_TRUE(first.Started());
  Background cli({"watch", "--ports", (links / "r*").string(), "--log-dir", (dir / "logs").string(),
                  "--report", report.string(), script.string()},
                 dir);
  ASSERT_TRUE(Eventually([&] { return Entries(report) == 1; })) << cli.Err();
  // Room for the next reader's wake-up and its trace, none for its port: a limit with two free
  // numbers below it (descriptors inherited higher up stay open, but take no room).
  std::set<long> open;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(cli.Pid()) + "/fd")) {
    open.insert(std::stol(fd.path().filename().string()));
  }
  rlimit tight{};
  for (long free = 0; free < 2; ++tight.rlim_cur) free += open.count(long(tight.rlim_cur)) == 0;
  tight.rlim_max = tight.rlim_cur;
  ASSERT_EQ(prlimit(cli.Pid(), RLIMIT_NOFILE, &tight, nullptr), 0);
  SimProcess reader({"--link", (links / "r1").string(), "--record", (dir / "r1.rec").string()});
  ASSERT_TRUE(reader.Started());
  // Its open is tried again for a while, as for a device whose permissions come late.
  ASSERT_TRUE(Eventually([&] { return Entries(report) == 2; })) << cli.Err();
  cli.Signal(SIGINT);
  EXPECT_EQ(cli.Wait(), 3) << cli.Err();

  const Json entry = Json::parse(Read(report)).at("readers").at(1);
  const std::string port = (links / "r1").string();
  const std::string problem = entry.at("port_problem").is_string() ? entry.at("port_problem") : "";
  EXPECT_EQ(problem, port + ": not opened: this program has as many files open as its limit "
                            "allows (" + std::to_string(tight.rlim_cur) +
                         "); raise the limit (ulimit -n) or configure fewer readers at once");
  EXPECT_EQ(entry.at("commands_sent"), 0);
  EXPECT_EQ(Read(dir / "logs" / "r1.log"),
            "The Comport:- Open Failed\nkavonel-cli: " + problem + "\n");
  const std::string err = cli.Err();
  EXPECT_NE(err.find(port + "  Tern  0/5  " + problem + "  [exit 3]\n"), std::string::npos) << err;
  EXPECT_EQ(err.find("Communication"), std::string::npos) << err;
  EXPECT_NE(err.find("2 readers: 1 communication-error, 1 completed; exit status 3\n"),
            std::string::npos)
      << err;
  reader.Stop();
  EXPECT_EQ(Read(dir / "r1.rec"), "");
}

// The first Ctrl-C lets the readers go on; the second abandons them: their ports close,
// each trace and entry is complete, and no file is left half-written.
TEST(BatchRun, CtrlCTwiceAbandonsTheReadersAndLeavesEveryFileWhole) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  fs::create_directories(dir / "links");
  SimProcess slow(
      {"--count", "3", "--link", (dir / "links" / "s").string(), "--silent-after", "1"});
  ASSERT_TRUE(slow.Started());
  Background cli(
      {"run", "--ports", (dir / "links" / "s*").string(), "--log-dir", (dir / "logs").string(),
       "--report", (dir / "r.json").string(), "--junit", (dir / "r.xml").string(), script.string()},
      dir);
  // Running: the report of no reader yet is there, and every reader waits on its second
  // command (a minute's wait by default).
  ASSERT_TRUE(Eventually([&] {
    for (int i = 1; i <= 3; ++i) {
      if (Read(dir / "logs" / ("s" + std::to_string(i) + ".log")).find("[TX]") ==
          Read(dir / "logs" / ("s" + std::to_string(i) + ".log")).rfind("[TX]")) {
        return false;
      }
    }
    return true;
  }));
  cli.Signal(SIGINT);
  ASSERT_TRUE(Eventually([&] { return cli.Err().find("Ctrl-C again") != std::string::npos; }));
  EXPECT_TRUE(cli.Running());
  cli.Signal(SIGINT);
  EXPECT_EQ(cli.Wait(), 3);
  const Json report = Json::parse(Read(dir / "r.json"));
  ASSERT_EQ(report.at("readers").size(), 3u);
  for (const Json& r : report.at("readers")) {
    EXPECT_TRUE(r.at("abandoned").get<bool>());
    EXPECT_EQ(r.at("commands_ok"), 1);
    EXPECT_TRUE(Read(r.at("trace").get<std::string>()).ends_with(kUnable));
  }
  EXPECT_FALSE(report.at("ended").is_null());
  xmlDocPtr doc = xmlReadFile((dir / "r.xml").c_str(), nullptr, XML_PARSE_NONET);
  EXPECT_NE(doc, nullptr);
  xmlFreeDoc(doc);
  for (const auto& entry : fs::directory_iterator(dir)) {
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
  }
  // The ports were let go of: a single-port run can have one at once.
  const ProcessResult again = RunProcess(
      KAVONEL_CLI_PATH,
      {"run", "--port", (dir / "links" / "s1").string(), "--timeout", "100", script.string()});
  EXPECT_EQ(again.out.find("Open Failed"), std::string::npos) << again.out;
}

// A reader present at the start, one that appears later, and the first one unplugged
// and plugged in again: each appearance is configured once and has an entry of its own.
TEST(Watch, ConfiguresEachAppearanceOnceAndAgainAfterAReplug) {
  const fs::path dir = TestDir();
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  const fs::path links = dir / "links";
  fs::create_directories(links);
  SimProcess first({"--link", (links / "r1").string(), "--replug-after", "300", "--replug-gap",
                    "100", "--record", (dir / "first.rec").string()});
  ASSERT_TRUE(first.Started());
  const fs::path report = dir / "r.json";
  Background cli({"watch", "--ports", (links / "r*").string(), "--log-dir", (dir / "logs").string(),
                  "--report", report.string(), script.string()},
                 dir);
  ASSERT_TRUE(Eventually([&] { return Entries(report) == 1; })) << cli.Err();
  SimProcess second({"--link", (links / "r2").string()});
  ASSERT_TRUE(second.Started());
  // The first reader's replug and the second reader: two more entries, and no more.
  ASSERT_TRUE(Eventually([&] { return Entries(report) == 3; })) << cli.Err();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  cli.Signal(SIGINT);
  EXPECT_EQ(cli.Wait(), 0) << cli.Err();

  const Json json = Json::parse(Read(report));
  std::vector<std::string> ports, traces;
  for (const Json& r : json.at("readers")) {
    ExpectEntryShape(r);
    EXPECT_EQ(r.at("verdict"), "completed");
    ports.push_back(r.at("port"));
    traces.push_back(Read(r.at("trace").get<std::string>()));
  }
  std::sort(ports.begin(), ports.end());
  EXPECT_EQ(ports, (std::vector<std::string>{(links / "r1").string(), (links / "r1").string(),
                                             (links / "r2").string()}));
  EXPECT_EQ(traces[0], traces[1]);
  EXPECT_EQ(traces[1], traces[2]);
  EXPECT_TRUE(fs::exists(dir / "logs" / "r1-2.log"));
  // Five commands for each of the two appearances.
  first.Stop();
  const std::string record = Read(dir / "first.rec");
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 10);
  EXPECT_NE(cli.Err().find("3 readers: 3 completed; exit status 0"), std::string::npos)
      << cli.Err();
}

// A device node that appears before it may be opened (udev sets the permissions a
// moment later) is tried again until it opens. As root, permissions bind only when
// the watch runs as another user, so it runs as nobody then, from a copy of the
// program that nobody can read.
TEST(Watch, ADeviceWhosePermissionsComeLateIsNotLost) {
  const fs::path dir = TestDir();
  const uid_t nobody = 65534;
  const bool root = geteuid() == 0;
  std::string program = KAVONEL_CLI_PATH;
  const fs::path script = dir / "five.txt";
  std::ofstream(script) << kFiveCommands;
  const fs::path links = dir / "links";
  fs::create_directories(links);
  fs::create_directories(dir / "logs");
  if (root) {
    const fs::path bin = dir / "bin";
    fs::create_directories(bin);
    fs::copy_file(program, bin / "kavonel-cli");
    const fs::path library =
        fs::path(program).parent_path().parent_path() / "lib" / "libquassel.so";
    fs::copy_file(fs::canonical(library), bin / "libquassel.so");
    program = (bin / "kavonel-cli").string();
    setenv("LD_LIBRARY_PATH", bin.c_str(), 1);
    for (const fs::path& path : {dir, links, dir / "logs", bin}) {
      fs::permissions(path, fs::perms::all);
    }
    fs::permissions(fs::path(::testing::TempDir()) / "kavonel-batch-e2e",
                    fs::perms::others_exec | fs::perms::others_read, fs::perm_options::add);
  }
  SimProcess reader(std::vector<std::string>{});
  ASSERT_TRUE(reader.Started());
  ASSERT_EQ(chmod(reader.Path().c_str(), 0), 0);
  const fs::path report = dir / "r.json";
  Background cli({"watch", "--ports", (links / "*").string(), "--log-dir", (dir / "logs").string(),
                  "--report", report.string(), script.string()},
                 dir, root ? nobody : 0, program);
  unsetenv("LD_LIBRARY_PATH");  // the copy's folder was for that child alone
  ASSERT_TRUE(Eventually([&] { return fs::exists(report); })) << cli.Err();
  fs::create_symlink(reader.Path(), links / "late");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(chmod(reader.Path().c_str(), 0666), 0);
  ASSERT_TRUE(Eventually([&] { return Entries(report) == 1; })) << cli.Err();
  cli.Signal(SIGINT);
  EXPECT_EQ(cli.Wait(), 0) << cli.Err();
  const Json entry = Json::parse(Read(report)).at("readers").at(0);
  EXPECT_EQ(entry.at("verdict"), "completed") << entry;
  EXPECT_GE(entry.at("duration_ms").get<int>(), 200);
}

}  // namespace
}  // namespace kavonel::testing
