#include "monitor/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "monitor/monitor_tee.h"

namespace kavonel {
namespace {
namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kavonel-log-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

struct Display : MonitorOutput {
  std::string shown;
  void AppendMonitorText(std::string_view text) override { shown += text; }
};

TEST_F(LogFileTest, EmptiedAtStartAndFlushedAtEveryWrite) {
  const std::string path = (dir_ / kLogFileName).string();
  { std::ofstream(path) << "last run"; }
  CLogFile log(path);
  ASSERT_TRUE(log.IsOpen());
  EXPECT_EQ(log.Path(), path);
  EXPECT_EQ(ReadAll(path), "");
  log.Write("one\n");
  EXPECT_EQ(ReadAll(path), "one\n");  // readable before the file is closed
  log.Write("100% done\n");
  EXPECT_EQ(ReadAll(path), "one\n100% done\n");
}

TEST_F(LogFileTest, FallsBackWhenTheFirstFolderCannotBeWritten) {
  const std::string unwritable = (dir_ / "no-such-folder" / kLogFileName).string();
  const std::string fallback = (dir_ / "data" / "kavonel" / kLogFileName).string();
  CLogFile log(unwritable, fallback);
  ASSERT_TRUE(log.IsOpen());
  EXPECT_EQ(log.Path(), fallback);
  log.Write("x");
  EXPECT_EQ(ReadAll(fallback), "x");
}

TEST_F(LogFileTest, NoFileMeansWritesAreSkipped) {
  CLogFile log((dir_ / "missing" / kLogFileName).string());
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(log.Path(), "");
  log.Write("ignored");  // must not crash
}

TEST_F(LogFileTest, WritesFromManyThreadsNeverInterleave) {
  const std::string path = (dir_ / kLogFileName).string();
  {
    CLogFile log(path);
    std::vector<std::thread> threads;
    for (char c : {'a', 'b', 'c', 'd'}) {
      threads.emplace_back([&log, c] {
        for (int i = 0; i < 200; ++i) log.Write(std::string(64, c) + "\n");
      });
    }
    for (auto& t : threads) t.join();
  }
  std::istringstream lines(ReadAll(path));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line, std::string(64, line[0]));
  }
  EXPECT_EQ(count, 800);
}

TEST_F(LogFileTest, TeeLogsOnlyWhileTheSwitchIsOn) {
  const std::string path = (dir_ / kLogFileName).string();
  CLogFile log(path);
  bool logging = false;
  Display display;
  MonitorTee monitor(display, log, logging);
  monitor.AppendMonitorText("off\n");
  EXPECT_EQ(ReadAll(path), "");
  logging = true;
  monitor.AppendMonitorText("on 50%d %s\n");
  EXPECT_EQ(ReadAll(path), "on 50%d %s\n");
  logging = false;
  monitor.AppendMonitorText("off again\n");
  EXPECT_EQ(ReadAll(path), "on 50%d %s\n");
  EXPECT_EQ(display.shown, "off\non 50%d %s\noff again\n");
}

TEST_F(LogFileTest, TeeCutsOverlongPiecesForDisplayAndLog) {
  const std::string path = (dir_ / kLogFileName).string();
  CLogFile log(path);
  const bool logging = true;
  Display display;
  MonitorTee monitor(display, log, logging);
  monitor.AppendMonitorText(std::string(2000, 'y'));
  EXPECT_EQ(display.shown, std::string(1023, 'y'));
  EXPECT_EQ(ReadAll(path), std::string(1023, 'y'));
}

}  // namespace
}  // namespace kavonel
