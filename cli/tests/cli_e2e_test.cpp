// kavonel-cli end to end against reader-sim on a pseudo-terminal: the failure table of
// the script run, the detection table per reader type, the family table of the three
// buttons, and the command line itself. Outputs and exit codes are compared exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "operations/operation_texts.h"
#include "decoder.h"
#include "e2e_support.h"
#include "fake_reader.h"
#include "link/frame.h"
#include "sim/sim_process.h"

namespace kavonel::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

const char kUnable[] = "The Tool: Unable to Communicate with the device\n";
// The line that follows the status texts when the port is missing.
const char kNoSuchPort[] =
    "kavonel-cli: /dev/kavonel-no-such-port: no such device; `kavonel-cli ports` lists the "
    "ports present\n";

ProcessResult Cli(const Args& args) {
  return RunProcess(KAVONEL_CLI_PATH, args);
}

std::string WriteScript(const std::string& name, const std::string& text) {
  // One folder per test: CTest runs the tests of this program in parallel processes.
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string folder = std::string(test->test_suite_name()) + "." + test->name();
  std::replace(folder.begin(), folder.end(), '/', '_');
  const fs::path dir = fs::path(::testing::TempDir()) / "kavonel-cli-e2e" / folder;
  fs::create_directories(dir);
  const fs::path path = dir / name;
  std::ofstream(path) << text;
  return path.string();
}

const char kFiveCommands[] =
    "; five commands\n"
    "pollmode set 01 end\n"
    "configuration set\n"
    "  9F1A 02 0840\n"
    "end\n"
    "group set\n"
    "  FFE4 01 00\n"
    "end\n"
    "group set\n"
    "  FFE4 01 01\n"
    "end\n"
    "pollmode set 01 end\n";

// The trace of a run of the script at path: every record framed, answered with its
// status, until the command at failAt (if any) gets no answer.
std::string ExpectedRunTrace(const std::string& path, const std::vector<uint8_t>& statuses,
                             size_t failAt = SIZE_MAX) {
  quassel::Decoder decoder;
  EXPECT_EQ(decoder.LoadFile(path).result, quassel::kOk);
  std::string trace = "\n\n[CFG Decoder] " + fs::path(path).filename().string() +
                      ":- Script decoded successfully\n";
  size_t index = 0;
  for (const quassel::RecordView& record : decoder.Records()) {
    std::array<uint8_t, kScriptFrameBufferSize> buffer{};
    std::copy(record.bytes.begin(), record.bytes.end(), buffer.begin() + kFrameHeaderSize);
    const size_t length = FrameScriptCommand(buffer.data(), record.bytes.size());
    trace += "\n\n\n" + CommandDisplayText(record.command, record.subCommand) + "\n";
    trace += Dump(Bytes(buffer.begin(), buffer.begin() + length), true);
    if (index == failAt) return trace + "\n" + kUnable;
    const uint8_t status = index < statuses.size() ? statuses[index] : 0;
    trace += Dump(ResponseFrame(record.command, status), false);
    trace += std::string("Result:") + ReaderStatusText(status) + "\n";
    ++index;
  }
  return trace;
}

class SimTest : public ::testing::Test {
 protected:
  void StartSim(const Args& args) {
    sim_ = std::make_unique<SimProcess>(args);
    ASSERT_TRUE(sim_->Started()) << sim_->Error();
  }
  std::string Port() const { return sim_->Path(); }
  std::unique_ptr<SimProcess> sim_;
};

// --- the script run, row by row ---

TEST_F(SimTest, RunCompletes) {
  StartSim({"--type", "2"});
  const std::string script = WriteScript("five.txt", kFiveCommands);
  const ProcessResult r = Cli({"run", "--port", Port(), script});
  EXPECT_EQ(r.out, ExpectedRunTrace(script, {}));
  EXPECT_EQ(r.err, "Configuration Script run, Completed\n");
  EXPECT_EQ(r.exitCode, 0);
}

// Saved with a byte order mark, the script still sends its first statement.
TEST_F(SimTest, RunOfAScriptWithAByteOrderMarkSendsEveryStatement) {
  StartSim({"--type", "2"});
  const std::string text = "pollmode set 01 end\ngroup set FFE4 01 00 end\n";
  const std::string script = WriteScript("marked.txt", text);
  const std::string expected = ExpectedRunTrace(script, {});
  WriteScript("marked.txt", "\xEF\xBB\xBF" + text);
  const ProcessResult r = Cli({"run", "--port", Port(), script});
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "Configuration Script run, Completed\n");
  EXPECT_EQ(r.exitCode, 0);

  const ProcessResult lint = Cli({"lint", script, "--records"});
  EXPECT_EQ(lint.err, "");
  EXPECT_TRUE(lint.out.starts_with("1: Set Poll Mode: 01 01 00 01 01\n")) << lint.out;
}

TEST_F(SimTest, RunWithPortThatDoesNotOpen) {
  const std::string script = WriteScript("five.txt", kFiveCommands);
  const ProcessResult r = Cli({"run", "--port", "/dev/kavonel-no-such-port", script});
  EXPECT_EQ(r.out, "The Comport:- Open Failed\n");
  EXPECT_EQ(r.err, std::string("Device Communication Error..\n") + kNoSuchPort);
  EXPECT_EQ(r.exitCode, 3);
}

TEST_F(SimTest, RunWithScriptErrorReportsItsLine) {
  StartSim({});
  const std::string script = WriteScript("bad.txt", "; bad\npollmode set 01 end\ngroup add\n");
  const ProcessResult r = Cli({"run", "--port", Port(), script});
  EXPECT_EQ(r.out,
            "\n\n[CFG Decoder]bad.txt:- Script Format error\n\n"
            "\n[CFG Decoder]Command format error found in script line 3\n\n");
  EXPECT_EQ(r.err, "Error in Script. Processing Aborted.\n");
  EXPECT_EQ(r.exitCode, 2);
}

TEST_F(SimTest, RunWithBadStatusInTheMiddleGoesOn) {
  StartSim({"--status", "04:00=05"});
  const std::string script = WriteScript("five.txt", kFiveCommands);
  const ProcessResult r = Cli({"run", "--port", Port(), script});
  EXPECT_EQ(r.out, ExpectedRunTrace(script, {0, 5, 0, 0, 0}));
  EXPECT_EQ(r.err,
            "Script OK.\nReader not configured 100%.\nSome commands returned error statuses.\n");
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(SimTest, RunWithLinkFailureAtTheThirdOfFive) {
  StartSim({"--hang-up-after", "2", "--status", "01:01=05@1"});
  const std::string script = WriteScript("five.txt", kFiveCommands);
  const ProcessResult r = Cli({"run", "--port", Port(), "--timeout", "5000", script});
  EXPECT_EQ(r.out, ExpectedRunTrace(script, {5, 0}, 2));
  EXPECT_EQ(r.err, "Device Communication Error..\n");  // the port opened: nothing to explain
  EXPECT_EQ(r.exitCode, 3);
}

TEST_F(SimTest, RunWithSilentReaderTimesOut) {
  StartSim({"--silent"});
  const std::string script = WriteScript("five.txt", kFiveCommands);
  const ProcessResult r = Cli({"run", "--port", Port(), "--timeout", "100", script});
  EXPECT_EQ(r.out, ExpectedRunTrace(script, {}, 0));
  EXPECT_EQ(r.exitCode, 3);
}

TEST_F(SimTest, RunWritesTheLogFileLikeStandardOutput) {
  StartSim({});
  const std::string script = WriteScript("five.txt", kFiveCommands);
  const std::string log = WriteScript("run.log", "old content that must go\n");
  const ProcessResult r = Cli({"run", "--port", Port(), "--log", log, script});
  std::ifstream in(log);
  const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(logged, r.out);
  EXPECT_EQ(r.exitCode, 0);
}

// --- reader detection per reader type ---

struct DetectCase {
  const char* name;
  Args sim;
  Args cli;
  std::string out;
  std::string err;
  int exitCode;
};
std::ostream& operator<<(std::ostream& o, const DetectCase& c) {
  return o << c.name;
}

const char kNoVersion[] = "\nUnable to Retrieve Version Info from device\n";

const DetectCase kDetectCases[] = {
    {"Lark",
     {"--type", "0"},
     {"--type", "lark"},
     "",
     "Firmware Version: 1.07.3\nOrvessa Reader Found!\n",
     0},
    {"TernCompat", {"--type", "1"}, {"--type", "1"}, kNoVersion, "Orvessa Reader Found!\n", 0},
    {"Tern",
     {"--type", "2"},
     {"--type", "tern"},
     "",
     "Firmware Version: 2.4.1\nOrvessa Reader Found!\n",
     0},
    {"TernWithoutVersionField",
     {"--type", "2", "--version-text", "Tern,SN1"},
     {},
     kNoVersion,
     "Orvessa Reader Found!\n",
     0},
    {"HeronStatus0",
     {"--type", "3"},
     {"--type", "heron"},
     "",
     "Firmware Version: HERON 3.2.0\nOrvessa Reader Found!\n",
     0},
    {"HeronStatus6",
     {"--type", "3", "--status", "29:00=06"},
     {"--type", "3"},
     "",
     "Orvessa Reader Not Found!!!\n",
     1},
    {"Silent",
     {"--silent"},
     {"--timeout", "100"},
     std::string("\n") + kUnable,
     "Orvessa Reader Not Found!!!\n",
     3},
};

class DetectTest : public SimTest, public ::testing::WithParamInterface<DetectCase> {};

TEST_P(DetectTest, ReportsAsTheTableSays) {
  const DetectCase& c = GetParam();
  StartSim(c.sim);
  Args args = {"detect", "--port", Port()};
  args.insert(args.end(), c.cli.begin(), c.cli.end());
  const ProcessResult r = Cli(args);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(ReaderTypes, DetectTest, ::testing::ValuesIn(kDetectCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, DetectWithPortThatDoesNotOpen) {
  const ProcessResult r = Cli({"detect", "--port", "/dev/kavonel-no-such-port"});
  EXPECT_EQ(r.out, "\nThe Comport:- Open Failed\n");
  EXPECT_EQ(r.err, std::string("Orvessa Reader Not Found!!!\n") + kNoSuchPort);
  EXPECT_EQ(r.exitCode, 3);
}

// --- the three buttons ---

struct FamilyCase {
  const char* name;
  const char* command;
  FixedRequest request;
  uint8_t status;
  std::string textsAfterDumps;
  std::string err;
  int exitCode;
};
std::ostream& operator<<(std::ostream& o, const FamilyCase& c) {
  return o << c.name;
}

const FamilyCase kFamilyCases[] = {
    {"CheckOk", "check", {0x18, 0x01}, 0, "\nThe Device is On line\n", "Device ON line\n", 0},
    {"CheckBad", "check", {0x18, 0x01}, 3, "\nThe Device is OFF line\n", "Device is OFF line\n", 1},
    {"ResetOk",
     "reset",
     {0x04, 0x09},
     0,
     "\n\nThe device set to Default configuration successfully\n",
     "Device Configuration, Success\n",
     0},
    {"ResetBad",
     "reset",
     {0x04, 0x09},
     9,
     "\nThe Default configuration fail\n",
     "Device Configuration, Fail\n",
     1},
    {"RebootOk",
     "reboot",
     {0x77, 0x05},
     0,
     "\nThe Device is rebooting...\n",
     "Device Rebooting...\n",
     0},
    {"RebootBad",
     "reboot",
     {0x77, 0x05},
     5,
     "\nThe Device rebooting failed..\n",
     "Device Rebooting...Failed\n",
     1},
};

class FamilyTest : public SimTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(FamilyTest, TextsAsTheTableSays) {
  const FamilyCase& c = GetParam();
  char rule[32];
  std::snprintf(rule, sizeof rule, "%02X:%02X=%02X", c.request.command, c.request.subCommand,
                c.status);
  StartSim({"--status", rule});
  const ProcessResult r = Cli({c.command, "--port", Port()});
  Bytes request(16);
  BuildFixedFrame(request.data(), c.request.command, c.request.subCommand);
  EXPECT_EQ(r.out, Dump(request, true) + Dump(ResponseFrame(c.request.command, c.status), false) +
                       c.textsAfterDumps);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(r.exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Buttons, FamilyTest, ::testing::ValuesIn(kFamilyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, ButtonsWithPortThatDoesNotOpen) {
  const std::string port = "/dev/kavonel-no-such-port";
  EXPECT_EQ(Cli({"check", "--port", port}).out, "\nThe Comport:- Open Failed\n");
  EXPECT_EQ(Cli({"reset", "--port", port}).out, "The Comport:- Open Failed\n");
  const ProcessResult r = Cli({"reboot", "--port", port});
  EXPECT_EQ(r.out, "\nThe Comport:- Open Failed\n");
  EXPECT_EQ(r.err, kNoSuchPort);
  EXPECT_EQ(r.exitCode, 3);
}

TEST_F(SimTest, ButtonWithShortAnswerIsALinkFailure) {
  StartSim({"--truncate", "10"});
  const ProcessResult r = Cli({"reset", "--port", Port(), "--timeout", "100"});
  Bytes request(16);
  BuildFixedFrame(request.data(), 0x04, 0x09);
  EXPECT_EQ(r.out, Dump(request, true) + kUnable);
  EXPECT_EQ(r.exitCode, 3);
}

// --- the command line ---

TEST(CliCommandLineTest, BadArgumentsExit64WithOneLineNamingThem) {
  struct Case {
    Args args;
    std::string named;
  };
  const Case cases[] = {
      {{"check"}, "--port"},
      {{"check", "--port", "x", "--type", "7"}, "--type"},
      {{"check", "--port", "x", "--baud", "14400"}, "--baud"},
      {{"run", "--port", "x", "/no/such/script.txt"}, "/no/such/script.txt"},
      {{"reboot", "--port", "x", "--type", "lark"}, "--type"},
      {{"frobnicate"}, "frobnicate"},
      {{}, "subcommand"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = Cli(c.args);
    EXPECT_EQ(r.exitCode, 64) << c.named;
    EXPECT_EQ(r.out, "") << c.named;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
  }
}

TEST(CliCommandLineTest, VersionNamesProgramAndDecoder) {
  const ProcessResult r = Cli({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("kavonel-cli 1.3.3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("libquassel 1.3.0"), std::string::npos) << r.out;
}

TEST(CliLintTest, ScriptErrorIsReportedAsFileLine) {
  const std::string script = WriteScript("lint-bad.txt", "; bad\npollmode set 01 end\ngroup add\n");
  const ProcessResult r = Cli({"lint", script});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(script + ":3: error: Command format error found in script\n"),
            std::string::npos)
      << r.err;
}

TEST(CliLintTest, RecordsAreListedWithTheirNames) {
  const std::string script = WriteScript("lint-good.txt", "pollmode set 01 end\n");
  const ProcessResult r = Cli({"lint", script, "--records"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "1: Set Poll Mode: 01 01 00 01 01\n");
  EXPECT_EQ(Cli({"lint", "/no/such/file.txt"}).exitCode, 2);
}

TEST(CliLintTest, WarningsDoNotFailTheScript) {
  const std::string script =
      WriteScript("lint-open.txt", "pollmode set 01 end\nconfiguration set\n  9F1A 02 0840\n");
  const ProcessResult r = Cli({"lint", script});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.err.starts_with(script + ":2: warning: ")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

// Script bytes reach the terminal escaped: no escape sequence, no NUL cutting a line.
TEST(CliLintTest, ScriptTextInWarningsIsEscaped) {
  const std::string script =
      WriteScript("lint-escapes.txt", std::string("x\033[2J\nab\0cd\nbad\xFF\n", 17));
  const ProcessResult r = Cli({"lint", script});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, script + ":1: warning: 'x\\x1b[2J' is not a statement and is skipped\n" +
                       script + ":2: warning: 'ab\\x00cd' is not a statement and is skipped\n" +
                       script + ":3: warning: 'bad\\xff' is not a statement and is skipped\n");
}

// The data checks: each warning on its tag's line after the decoder's own, --strict,
// and explain failing as lint does.
TEST(CliLintTest, DataWarningsOnTheirLinesAndStrictFailsOnThem) {
  const std::string script = WriteScript("lint-data.txt",
                                         "pollmode set 01 end\n"
                                         "configuration set\n"
                                         "  5F2A 02 0978\n"
                                         "  9F1A 03 084000\n"
                                         "end hello\n"
                                         "exception list add\n"
                                         "  4761739001010011 01\n"
                                         "end\n");
  const std::string expected =
      script + ":5: warning: 'hello' is not a statement and is skipped\n" + script +
      ":4: warning: 9F1A (Terminal country code): length 3, allowed 2\n" + script +
      ":7: warning: exception list PAN 4761739001010011 fails its Luhn check: the last digit "
      "should be 0\n";
  ProcessResult r = Cli({"lint", script});
  EXPECT_EQ(r.err, expected);
  EXPECT_EQ(r.exitCode, 0);
  r = Cli({"lint", "--strict", script});
  EXPECT_EQ(r.err, expected);
  EXPECT_EQ(r.exitCode, 1);
  const std::string good = WriteScript("lint-data-good.txt", "group set FFE4 01 00 end\n");
  r = Cli({"lint", "--strict", good});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);

  const std::string bad = WriteScript("lint-data-bad.txt", "group set\n  9F1G\nend\n");
  const ProcessResult lint = Cli({"lint", bad});
  const ProcessResult explain = Cli({"explain", bad});
  EXPECT_EQ(lint.exitCode, 2);
  EXPECT_EQ(explain.exitCode, 2);
  EXPECT_EQ(explain.err, lint.err);
  EXPECT_NE(explain.err.find(bad + ":2: error: "), std::string::npos) << explain.err;
  EXPECT_EQ(explain.out, "");
}

// explain --json names every record and element; written back (tag, length, value, or a
// template's elements) they give exactly the bytes the decoder hands to the reader.
TEST(CliExplainTest, JsonWritesBackToEachRecordsBytes) {
  const std::string script =
      WriteScript("explain.txt",
                  "pollmode set 01 end\n"
                  "configuration set 9F1A 02 0840 5F2A 02 0840 5F36 01 02 end\n"
                  "group set\n"
                  "  FFE4 01 01\n"
                  "  DF8123 06 000000001000\n"
                  "  E1 82 0104 DF8131 81 FF " +
                      std::string(510, '5') +
                      "\n"
                      "  BF0C 04 9F35 01 22\n"
                      "end\n"
                      "revocation list add\n  A000000003 92 000123\nend\n"
                      "exception list add\n  4761739001010010 01\nend\n");
  const ProcessResult r = Cli({"explain", "--json", script});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const nlohmann::json json = nlohmann::json::parse(r.out);
  quassel::Decoder decoder;
  ASSERT_EQ(decoder.LoadFile(script).result, quassel::kOk);
  const std::vector<quassel::RecordView> records = decoder.Records();
  ASSERT_EQ(json.size(), records.size());
  const auto hex = [](std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes)
      text += std::string(1, "0123456789ABCDEF"[b >> 4]) + "0123456789ABCDEF"[b & 15];
    return text;
  };
  const auto length = [&](size_t n) {
    std::vector<uint8_t> bytes;
    if (n >= 0x100)
      bytes = {0x82, uint8_t(n >> 8), uint8_t(n)};
    else if (n >= 0x80)
      bytes = {0x81, uint8_t(n)};
    else
      bytes = {uint8_t(n)};
    return hex(bytes);
  };
  const auto encode = [&](const nlohmann::json& elements, const auto& self) -> std::string {
    std::string text;
    for (const nlohmann::json& e : elements) {
      const std::string value =
          e.contains("elements") ? self(e["elements"], self) : e["value"].get<std::string>();
      EXPECT_EQ(value.size(), 2 * e["length"].get<size_t>()) << e;
      text += e["tag"].get<std::string>() + length(value.size() / 2) + value;
    }
    return text;
  };
  const uint32_t lines[] = {1, 2, 3, 10, 13};
  for (size_t i = 0; i < records.size(); ++i) {
    const nlohmann::json& record = json[i];
    EXPECT_EQ(record["line"], lines[i]);
    const std::string data = record["data"];
    const size_t size = data.size() / 2;
    EXPECT_EQ(hex(records[i].bytes),
              hex(std::vector<uint8_t>{record["command"], record["sub_command"], uint8_t(size >> 8),
                                       uint8_t(size)}) +
                  data);
    EXPECT_EQ(hex(records[i].data), data);
    if (record.contains("elements")) {
      EXPECT_EQ(encode(record["elements"], encode), data) << i;
    }
  }
  EXPECT_EQ(json[1]["statement"], "configuration set");
  EXPECT_EQ(json[1]["elements"][0]["name"], "Terminal country code");
  EXPECT_FALSE(json[0].contains("elements"));  // poll mode bodies are not TLV
  EXPECT_FALSE(json[3].contains("elements"));
  EXPECT_EQ(json[2]["elements"][2]["elements"][0]["tag"], "DF8131");
  EXPECT_EQ(json[2]["elements"][2]["elements"][0]["line"], 6);
  EXPECT_EQ(json[2]["elements"][2]["elements"][0]["name"], "Phone message table");
  EXPECT_TRUE(json[2]["elements"][3]["name"].is_null());

  const ProcessResult text = Cli({"explain", script});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_NE(
      text.out.find("  2: 9F1A Terminal country code, 2 bytes: 0840 = 840 United States (US)\n"),
      std::string::npos)
      << text.out;
}

TEST(CliTagsTest, DictionaryAsTextAndJson) {
  ProcessResult r = Cli({"tags", "--json", "9f06", "DF8123"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out),
            nlohmann::json::parse(R"json([{"tag": "9F06", "name": "Application identifier (AID)",
              "format": "b", "min_length": 5, "max_length": 16},
              {"tag": "DF8123", "name": "Reader contactless floor limit", "format": "n",
              "min_length": 6, "max_length": 6}])json"));
  r = Cli({"tags", "--json"});
  const nlohmann::json all = nlohmann::json::parse(r.out);
  EXPECT_GT(all.size(), 50u);
  bool unbounded = false;
  for (const nlohmann::json& tag : all) unbounded = unbounded || tag["max_length"].is_null();
  EXPECT_TRUE(unbounded);
  r = Cli({"tags", "FFE4", "9F99"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "FFE4    b    1           Group number\n");
  EXPECT_EQ(r.err, "kavonel-cli: 9F99: not in the data dictionary\n");
}

TEST(CliPortsTest, ListsDevicePaths) {
  const ProcessResult r = Cli({"ports"});
#ifdef KAVONEL_PORT_LIST
  EXPECT_EQ(r.exitCode, 0);
  size_t start = 0;
  for (size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_EQ(r.out.compare(start, 5, "/dev/"), 0) << r.out;
  }
  EXPECT_EQ(start, r.out.size());
#else
  EXPECT_EQ(r.exitCode, 64);  // built without Qt: no port list
#endif
}

}  // namespace
}  // namespace kavonel::testing
