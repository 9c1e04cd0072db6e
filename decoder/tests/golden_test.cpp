// Golden files: each script in tests/golden beside the hex dump of its records (one record
// per line, '#' lines are comments), and every sample script in examples/ loads cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "decoder.h"
#include "test_support.h"

namespace quassel {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Scripts(const char* dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ExpectedRecords(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> records;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    records.push_back(line);
  }
  return records;
}

class GoldenTest : public testing::TestWithParam<std::string> {};

TEST_P(GoldenTest, RecordsMatchTheHexDump) {
  const fs::path dir(QUASSEL_GOLDEN_DIR);
  const fs::path hex = dir / (GetParam() + ".hex");
  ASSERT_TRUE(fs::exists(hex)) << hex;
  Decoder decoder;
  const LoadResult result = decoder.LoadFile((dir / (GetParam() + ".txt")).string());
  ASSERT_EQ(result.result, kOk) << "detail " << std::hex << result.detailCode << std::dec
                                << " line " << result.errorLine;
  EXPECT_EQ(test::RecordLines(decoder), ExpectedRecords(hex));
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenTest, testing::ValuesIn(Scripts(QUASSEL_GOLDEN_DIR)));

class ExampleTest : public testing::TestWithParam<std::string> {};

TEST_P(ExampleTest, LoadsWithoutError) {
  Decoder decoder;
  const fs::path path = fs::path(QUASSEL_EXAMPLES_DIR) / (GetParam() + ".txt");
  const LoadResult result = decoder.LoadFile(path.string());
  ASSERT_EQ(result.result, kOk) << "detail " << std::hex << result.detailCode << std::dec
                                << " line " << result.errorLine;
  EXPECT_GT(result.commandCount, 0u);
  // A sample leaves nothing open and skips no word by mistake.
  for (const Diagnostic& diagnostic : decoder.Diagnostics()) {
    EXPECT_EQ(diagnostic.message.find("skipped"), std::string::npos)
        << path.string() << ":" << diagnostic.line << ": " << diagnostic.message;
    EXPECT_EQ(diagnostic.message.find("has no 'end'"), std::string::npos)
        << path.string() << ":" << diagnostic.line << ": " << diagnostic.message;
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest, testing::ValuesIn(Scripts(QUASSEL_EXAMPLES_DIR)));

}  // namespace
}  // namespace quassel
