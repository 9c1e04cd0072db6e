#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "batch/batch_report.h"
#include "batch/port_watch.h"
#include "batch/shared_script.h"

namespace kavonel {
namespace {

namespace fs = std::filesystem;

fs::path TestDir() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(::testing::TempDir()) / "kavonel-batch" /
                       (std::string(test->test_suite_name()) + "." + test->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(RecordHandout, EachReaderHasItsOwnCursorAndARecordThatDoesNotFitStaysPut) {
  const fs::path script = TestDir() / "two.txt";
  std::ofstream(script) << "pollmode set 01 end\nconfiguration set\n 9F1A 02 0840\nend\n";
  const SharedScript shared = DecodeScriptOnce(script.string(), 2);
  ASSERT_EQ(shared.load.result, quassel::kOk);
  ASSERT_EQ(shared.records.size(), 2u);

  ScriptDecoder first = RecordHandout(shared), second = RecordHandout(shared);
  uint32_t count = 0, maxSize = 0, total = 0, detail = 9, line = 9;
  ASSERT_EQ(first.loadConfigurationText("x", 2, &count, &maxSize, &total, &detail, &line), 0u);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(detail, 0u);
  EXPECT_EQ(line, 0u);
  uint8_t buffer[64];
  uint32_t capacity = sizeof buffer;
  ASSERT_EQ(first.getNextConfigCommand(buffer, &capacity), 0u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + capacity), shared.records[0]);

  // The second reader starts at the first record, whatever the first has taken.
  capacity = 3;
  EXPECT_EQ(second.getNextConfigCommand(buffer, &capacity), quassel::kNotEnoughMemory);
  EXPECT_EQ(capacity, 3u);
  capacity = sizeof buffer;
  ASSERT_EQ(second.getNextConfigCommand(buffer, &capacity), 0u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + capacity), shared.records[0]);

  capacity = sizeof buffer;
  ASSERT_EQ(first.getNextConfigCommand(buffer, &capacity), 0u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + capacity), shared.records[1]);
  EXPECT_EQ(first.getNextConfigCommand(buffer, &capacity), quassel::kAllProcessed);
}

TEST(ExitStatus, TheWorstWinsInTheOrderThreeTwoOneZero) {
  EXPECT_EQ(WorseExitStatus(0, 1), 1);
  EXPECT_EQ(WorseExitStatus(2, 1), 2);
  EXPECT_EQ(WorseExitStatus(2, 3), 3);
  EXPECT_EQ(WorseExitStatus(0, 0), 0);
}

TEST(ReportFile, ReplacedWholeAndNeverLeftHalfWritten) {
  const fs::path dir = TestDir();
  const std::string path = (dir / "r.json").string();
  ASSERT_TRUE(WriteFileAtomically(path, "first\n"));
  ASSERT_TRUE(WriteFileAtomically(path, "second\n"));
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "second\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_FALSE(WriteFileAtomically((dir / "no-such-folder" / "r.json").string(), "x"));
}

// The JUnit file as a dashboard's parser reads it: awkward texts survive the round trip.
TEST(JUnitReport, ParsesWithOneTestCasePerReaderAndKeepsEveryText) {
  BatchReport report;
  report.scriptPath = "scripts/a&b <line>.txt";
  report.tool = "kavonel-cli 1";
  report.started = std::chrono::system_clock::now();
  ReaderResult good;
  good.port = "/dev/ttyUSB0";
  good.ended = true;
  ReaderResult bad = good;
  bad.port = "/dev/\"odd\" & 'name'";
  bad.exitStatus = 1;
  bad.outcome = ReaderOutcome::kNotAllConfigured;
  bad.verdictText = "Reader not configured 100%.";
  bad.firstFailure = CommandFailure{1, "Set Configuration", 5, "Incorrect Parameter"};
  ReaderResult lost = good;
  lost.port = "/dev/ttyUSB2";
  lost.exitStatus = 3;
  lost.outcome = ReaderOutcome::kCommError;
  lost.verdictText = "Device Communication Error..";
  report.readers = {good, bad, lost};

  const std::string xml = ReportJUnit(report);
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "junit.xml", nullptr,
                                XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr) << xml;
  auto attr = [](xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
  };
  auto named = [](xmlNodePtr node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
  };
  xmlNodePtr root = xmlDocGetRootElement(doc);
  ASSERT_TRUE(named(root, "testsuites"));
  EXPECT_EQ(attr(root, "tests"), "3");
  EXPECT_EQ(attr(root, "failures"), "1");
  EXPECT_EQ(attr(root, "errors"), "1");
  xmlNodePtr suite = root->children;
  while (suite && !named(suite, "testsuite")) suite = suite->next;
  ASSERT_NE(suite, nullptr);
  EXPECT_EQ(attr(suite, "name"), report.scriptPath);
  std::map<std::string, std::string> verdicts;
  for (xmlNodePtr test = suite->children; test; test = test->next) {
    if (!named(test, "testcase")) continue;
    std::string verdict = "pass";
    for (xmlNodePtr child = test->children; child; child = child->next) {
      if (named(child, "failure") || named(child, "error")) {
        xmlChar* body = xmlNodeGetContent(child);
        verdict = std::string(reinterpret_cast<const char*>(child->name)) + ":" +
                  attr(child, "message") + "|" + reinterpret_cast<const char*>(body);
        xmlFree(body);
      }
    }
    verdicts[attr(test, "name")] = verdict;
  }
  xmlFreeDoc(doc);
  EXPECT_EQ(verdicts["/dev/ttyUSB0"], "pass");
  EXPECT_EQ(verdicts[bad.port],
            "failure:Reader not configured 100%.|exit status 1, 0 of 0 commands answered OK; "
            "first failure: command 2 (Set Configuration): Incorrect Parameter");
  EXPECT_EQ(verdicts["/dev/ttyUSB2"].substr(0, 35), "error:Device Communication Error..|");
}

TEST(PortGlob, OnlyTheLastPartHoldsWildcards) {
  ASSERT_TRUE(ParsePortGlob("/dev/serial/by-id/*"));
  EXPECT_EQ(ParsePortGlob("/dev/serial/by-id/*")->folder, "/dev/serial/by-id");
  EXPECT_EQ(ParsePortGlob("ttyUSB*")->folder, "/dev");
  EXPECT_FALSE(ParsePortGlob("/dev/*/port0"));
  EXPECT_FALSE(ParsePortGlob("/dev/"));
}

// A folder of links, as the tests' virtual readers and /dev/serial/by-id have: what is
// there at the start, what comes and goes, and a folder that appears only later.
TEST(PortWatcher, SeesLinksComeAndGoAndAFolderThatAppearsLater) {
  const fs::path dir = TestDir();
  fs::create_directories(dir / "links");
  fs::create_symlink("/dev/null", dir / "links" / "r2");
  fs::create_symlink("/dev/null", dir / "links" / "r10");
  fs::create_symlink("/dev/null", dir / "links" / "other");
  PortWatcher watcher({*ParsePortGlob((dir / "links" / "r*").string()),
                       *ParsePortGlob((dir / "later" / "by-id" / "*").string())});
  ASSERT_TRUE(watcher.Ok());
  const std::string links = (dir / "links").string();
  auto events = watcher.Initial();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].path, links + "/r2");  // natural order
  EXPECT_EQ(events[1].path, links + "/r10");
  EXPECT_EQ(ExpandPortGlob(*ParsePortGlob(links + "/r*")),
            (std::vector<std::string>{links + "/r2", links + "/r10"}));

  fs::remove(dir / "links" / "r2");
  fs::create_symlink("/dev/null", dir / "links" / "r3");
  fs::create_symlink("/dev/null", dir / "links" / "x3");
  events = watcher.Read();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].path, links + "/r2");
  EXPECT_FALSE(events[0].present);
  EXPECT_EQ(events[1].path, links + "/r3");
  EXPECT_TRUE(events[1].present);

  fs::create_directories(dir / "later" / "by-id");
  fs::create_symlink("/dev/null", dir / "later" / "by-id" / "usb-1");
  std::vector<std::string> appeared;
  for (const PortEvent& event : watcher.Read()) {
    if (event.present) appeared.push_back(event.path);
  }
  EXPECT_EQ(appeared, std::vector<std::string>{(dir / "later" / "by-id" / "usb-1").string()});
  EXPECT_TRUE(watcher.Read().empty());
}

}  // namespace
}  // namespace kavonel
