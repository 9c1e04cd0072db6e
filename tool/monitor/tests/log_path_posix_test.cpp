#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "monitor/log_file.h"

namespace kavonel {
namespace {
namespace fs = std::filesystem;

TEST(LogFilePaths, BesideProgramAndInUserData) {
  const std::string beside = LogPathBesideProgram();
  EXPECT_EQ(fs::path(beside).filename(), kLogFileName);
  EXPECT_TRUE(fs::path(beside).is_absolute());
  EXPECT_EQ(fs::path(beside).parent_path(), fs::read_symlink("/proc/self/exe").parent_path());

  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string savedValue = saved ? saved : "";
  ::setenv("XDG_DATA_HOME", "/srv/data", 1);
  EXPECT_EQ(LogPathInUserData(), "/srv/data/kavonel/Pellorin.log");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as XDG says
  ::setenv("HOME", "/home/op", 1);
  EXPECT_EQ(LogPathInUserData(), "/home/op/.local/share/kavonel/Pellorin.log");
  if (saved)
    ::setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace kavonel
