// The Wine tests need a prefix and the Windows build: without them every test fails,
// rather than passing for want of something to run.
#include <gtest/gtest.h>

#include <filesystem>

#include "wine_support.h"

namespace kavonel::testing {
namespace {

class WineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    namespace fs = std::filesystem;
    const std::string prefix = EnvOr("WINEPREFIX", "");
    ASSERT_TRUE(fs::is_directory(fs::path(prefix) / "dosdevices"))
        << "WINEPREFIX must name a prefix made with wineboot -i: '" << prefix << "'";
    ASSERT_TRUE(fs::exists(fs::path(WindowsBin()) / "kavonel-cli.exe"))
        << "KAVONEL_WINDOWS_BIN must name the Windows build's bin folder: '" << WindowsBin() << "'";
    ASSERT_TRUE(fs::exists(EnvOr("KAVONEL_WINE", "/usr/lib/wine/wine64"))) << "no Wine loader";
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

}  // namespace
}  // namespace kavonel::testing
