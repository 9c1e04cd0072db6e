// The Win32 serial device's tests (link_win32_tests.exe) under Wine, each suite against
// the reader it needs behind COM5.
#include <gtest/gtest.h>

#include "wine_support.h"

namespace kavonel::testing {
namespace {

struct Suite {
  const char* name;
  std::vector<std::string> sim;
};
std::ostream& operator<<(std::ostream& o, const Suite& s) {
  return o << s.name;
}

const Suite kSuites[] = {
    {"WithReader", {}},
    {"StaleReader", {"--stale", "5"}},
    {"SilentReader", {"--silent"}},
    {"HangingUpReader", {"--hang-up-after", "1"}},
};

class WineSerialTest : public ::testing::TestWithParam<Suite> {};

TEST_P(WineSerialTest, PassesAgainstItsReader) {
  WineReader reader(GetParam().sim);
  ASSERT_TRUE(reader.Ready()) << reader.Error();
  const ProcessResult r =
      RunWindows("link_win32_tests.exe", {std::string("--gtest_filter=") + GetParam().name + ".*"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  // A filter that matches nothing passes too: the suite must have run.
  EXPECT_NE(r.out.find("[  PASSED  ]"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("[  PASSED  ] 0 tests"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Readers, WineSerialTest, ::testing::ValuesIn(kSuites),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonel::testing
