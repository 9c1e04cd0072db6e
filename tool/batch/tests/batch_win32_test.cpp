// The batch engine's Windows pieces, under Wine: COM name patterns over the registry's
// ports, their watch woken by the registry, the report's replace and the SHA-256.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "batch/batch_report.h"
#include "batch/port_watch.h"
#include "batch/shared_script.h"
#include "settings/tests/serialcomm_entries_win32.h"

namespace kavonel {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PortPatternsOnWindows, CoverComNamesOnlyWithOrWithoutTheDevicePrefix) {
  ASSERT_TRUE(ParsePortGlob("COM1?"));
  EXPECT_EQ(ParsePortGlob("COM1?")->pattern, "COM1?");
  ASSERT_TRUE(ParsePortGlob("\\\\.\\COM*"));
  EXPECT_EQ(ParsePortGlob("\\\\.\\COM*")->pattern, "COM*");
  for (const char* refused : {"", "\\\\.\\", "C:\\ports\\*", "Z:/dev/tty*", "COM1;COM2"}) {
    EXPECT_FALSE(ParsePortGlob(refused)) << refused;
  }
}

TEST(PortPatternsOnWindows, MatchTheRegisteredPortsInNaturalOrderWithoutRegardToCase) {
  testing::SerialCommEntries entries;
  ASSERT_TRUE(entries.Add("\\Device\\KavonelGlob610", "COM610"));
  ASSERT_TRUE(entries.Add("\\Device\\KavonelGlob69", "COM69"));
  ASSERT_TRUE(entries.Add("\\Device\\KavonelGlob7", "COM7001"));
  EXPECT_EQ(ExpandPortGlob(*ParsePortGlob("com6*")), (std::vector<std::string>{"COM69", "COM610"}));
  EXPECT_EQ(ExpandPortGlob(*ParsePortGlob("COM6?")), std::vector<std::string>{"COM69"});
}

// Each change of the key wakes the watch once; what it reports is the difference
// between two listings, appearances and vanishings alike.
TEST(PortWatcherOnWindows, WakesOnTheRegistryAndReportsWhatCameAndWent) {
  testing::SerialCommEntries entries;
  ASSERT_TRUE(entries.Add("\\Device\\KavonelWatch1", "COM661"));
  PortWatcher watcher({*ParsePortGlob("COM66?")});
  ASSERT_TRUE(watcher.Ok());
  const HANDLE changed = reinterpret_cast<HANDLE>(watcher.Handle());
  const std::vector<PortEvent> initial = watcher.Initial();
  ASSERT_EQ(initial.size(), 1u);
  EXPECT_EQ(initial[0].path, "COM661");
  EXPECT_TRUE(watcher.Read().empty());

  ASSERT_TRUE(entries.Add("\\Device\\KavonelWatch2", "COM662"));
  ASSERT_TRUE(entries.Add("\\Device\\KavonelOther", "COM670"));  // not matched
  ASSERT_EQ(WaitForSingleObject(changed, INFINITE), WAIT_OBJECT_0);
  std::vector<PortEvent> events = watcher.Read();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].path, "COM662");
  EXPECT_TRUE(events[0].present);
  // Read took the change: the handle waits for the next one.
  EXPECT_EQ(WaitForSingleObject(changed, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  ASSERT_TRUE(entries.Remove("\\Device\\KavonelWatch1"));
  ASSERT_EQ(WaitForSingleObject(changed, INFINITE), WAIT_OBJECT_0);
  events = watcher.Read();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].path, "COM661");
  EXPECT_FALSE(events[0].present);
}

TEST(ReportFileOnWindows, ReplacesTheOldFileWholeAndLeavesNothingBehindOnFailure) {
  const fs::path dir = fs::temp_directory_path() / "kavonel-batch-win32";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "r.json").string();
  ASSERT_TRUE(WriteFileAtomically(path, "first\n"));
  ASSERT_TRUE(WriteFileAtomically(path, "second\n"));
  EXPECT_EQ(ReadAll(path), "second\n");
  EXPECT_FALSE(WriteFileAtomically((dir / "no-such-folder" / "r.json").string(), "x"));
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1u);
  EXPECT_FALSE(HostName().empty());
}

TEST(ScriptDigestOnWindows, IsTheSha256OfTheFileBytes) {
  const fs::path dir = fs::temp_directory_path() / "kavonel-batch-win32-digest";
  fs::create_directories(dir);
  std::ofstream(dir / "abc.txt", std::ios::binary) << "abc";
  EXPECT_EQ(FileSha256((dir / "abc.txt").string()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // More than one read's worth: the pieces are hashed as one.
  std::ofstream(dir / "big.txt", std::ios::binary) << std::string(1000000, 'a');
  EXPECT_EQ(FileSha256((dir / "big.txt").string()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(FileSha256((dir / "missing.txt").string()), "");
}

}  // namespace
}  // namespace kavonel
