// The log's places on Windows: beside the program, else under %LOCALAPPDATA%.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/log_file.h"

namespace kavonel {
namespace {
namespace fs = std::filesystem;

// Sets LOCALAPPDATA for one test and puts the old value back.
class LocalAppData {
 public:
  explicit LocalAppData(const std::string& value) {
    const char* old = std::getenv("LOCALAPPDATA");
    had_ = old != nullptr;
    if (had_) old_ = old;
    _putenv_s("LOCALAPPDATA", value.c_str());
  }
  ~LocalAppData() { _putenv_s("LOCALAPPDATA", had_ ? old_.c_str() : ""); }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(LogFilePaths, BesideProgramAndInUserData) {
  char exe[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, exe, MAX_PATH), 0u);
  const fs::path beside = LogPathBesideProgram();
  EXPECT_EQ(beside.filename(), kLogFileName);
  EXPECT_EQ(beside.parent_path(), fs::path(exe).parent_path());

  {
    LocalAppData data("C:\\Users\\op\\AppData\\Local");
    EXPECT_EQ(LogPathInUserData(), "C:\\Users\\op\\AppData\\Local\\Kavonel\\Pellorin.log");
  }
  {
    LocalAppData data("AppData");  // relative: it would follow the current directory
    EXPECT_EQ(LogPathInUserData(), "");
  }
}

// The folder the installer records in the registry: the program there is the installed
// one, wherever that folder is, and only there.
TEST(LogFilePaths, TheProgramInTheInstallersFolderIsInstalled) {
  wchar_t exe[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
  const auto record = [](const std::wstring& folder) {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Kavonel", L"InstallDir", REG_SZ,
                           folder.c_str(),
                           static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  };
  EXPECT_FALSE(ProgramIsInstalled());
  // As the installer writes it: with a final backslash.
  ASSERT_EQ(record(fs::path(exe).parent_path().wstring() + L"\\"), ERROR_SUCCESS);
  EXPECT_TRUE(ProgramIsInstalled());
  ASSERT_EQ(record(fs::temp_directory_path().wstring()), ERROR_SUCCESS);
  EXPECT_FALSE(ProgramIsInstalled());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Kavonel");
  EXPECT_FALSE(ProgramIsInstalled());
}

TEST(LogFilePaths, FallsBackToLocalAppDataWhenTheProgramsFolderCannotBeWritten) {
  const fs::path dir = fs::temp_directory_path() / "kavonel-localappdata";
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    LocalAppData data(dir.string());
    CLogFile log((dir / "no-such-folder" / kLogFileName).string(), LogPathInUserData());
    ASSERT_TRUE(log.IsOpen());
    EXPECT_EQ(fs::path(log.Path()), dir / "Kavonel" / kLogFileName);
    log.Write("one\ntwo\n");
    std::ifstream in(dir / "Kavonel" / kLogFileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "one\ntwo\n");  // line ends as written, no CR added
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kavonel
