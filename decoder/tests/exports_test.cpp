// The four exports of libquassel.so, called through the shared library itself.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "quassel.h"

extern "C" uint32_t QuasselCodeFromC(void);

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;

struct Outs {
  uint32_t count = kUntouched, maxSize = kUntouched, total = kUntouched;
  uint32_t detail = kUntouched, line = kUntouched;
};

class ExportsTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    std::string path = testing::TempDir() + "quassel_exports_" + name;
    std::ofstream(path, std::ios::binary) << text;
    paths_.push_back(path);
    return path;
  }
  ~ExportsTest() override {
    for (const auto& path : paths_) std::remove(path.c_str());
  }
  static uint32_t Load(const std::string& path, Outs& outs, uint32_t type = 2) {
    return LoadConfigurationText(path.c_str(), type, &outs.count, &outs.maxSize, &outs.total,
                                 &outs.detail, &outs.line);
  }
  static std::vector<uint8_t> All(uint32_t total) {
    std::vector<uint8_t> bytes(total);
    uint32_t size = total;
    EXPECT_EQ(GetAllConfigCommands(bytes.data(), &size), QUASSEL_OK);
    return bytes;
  }

 private:
  std::vector<std::string> paths_;
};

constexpr const char* kScript = "pollmode set 01 end\nrevocation list add\n0102030405060708\nend\n";

TEST_F(ExportsTest, Version) {
  EXPECT_STREQ(GetDLLVersion(), "1.3.0");
  Outs outs;
  Load(Write("version.txt", kScript), outs);
  EXPECT_STREQ(GetDLLVersion(), "1.3.0");
  EXPECT_EQ(GetDLLVersion(), GetDLLVersion());
}

TEST_F(ExportsTest, HeaderIsUsableFromC) {
  EXPECT_EQ(QuasselCodeFromC(), 0x20000012u);
}

TEST_F(ExportsTest, LoadsAndHandsOutRecordByRecord) {
  Outs outs;
  ASSERT_EQ(Load(Write("main.txt", kScript), outs), QUASSEL_OK);
  EXPECT_EQ(outs.count, 2u);
  EXPECT_EQ(outs.maxSize, 12u);
  EXPECT_EQ(outs.total, 17u);
  EXPECT_EQ(outs.detail, 0u);
  EXPECT_EQ(outs.line, 0u);

  std::array<uint8_t, 12> record{};
  for (uint32_t expected : {5u, 12u}) {
    uint32_t capacity = outs.maxSize;
    ASSERT_EQ(GetNextConfigCommand(record.data(), &capacity), QUASSEL_OK);
    EXPECT_EQ(capacity, expected);
  }
  EXPECT_EQ(record[0], 0x84);
  EXPECT_EQ(record[11], 0x08);
  uint32_t capacity = outs.maxSize;
  EXPECT_EQ(GetNextConfigCommand(record.data(), &capacity), QUASSEL_ALL_PROCESSED);
  EXPECT_EQ(capacity, outs.maxSize);

  const std::vector<uint8_t> all = All(outs.total);
  const uint8_t expected[] = {0x01, 0x01, 0x00, 0x01, 0x01, 0x84, 0x04, 0x00, 0x08,
                              0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  EXPECT_EQ(std::memcmp(all.data(), expected, sizeof expected), 0);
  capacity = outs.maxSize;
  EXPECT_EQ(GetNextConfigCommand(record.data(), &capacity), QUASSEL_OK);
  EXPECT_EQ(capacity, 5u);
}

TEST_F(ExportsTest, ScriptErrorReportsDetailAndLineOnly) {
  Outs outs;
  EXPECT_EQ(Load(Write("error.txt", "pollmode set 01 end\n; note\ngroup add\n"), outs),
            QUASSEL_SCRIPT_FORMAT_ERROR);
  EXPECT_EQ(outs.detail, QUASSEL_DETAIL_COMMAND_FORMAT);
  EXPECT_EQ(outs.line, 3u);
  EXPECT_EQ(outs.count, kUntouched);
  EXPECT_EQ(outs.maxSize, kUntouched);
  EXPECT_EQ(outs.total, kUntouched);
}

TEST_F(ExportsTest, FailedLoadEmptiesTheBuffer) {
  Outs outs;
  ASSERT_EQ(Load(Write("good.txt", kScript), outs), QUASSEL_OK);
  Outs failed;
  ASSERT_EQ(Load(Write("bad.txt", "group set 9G end"), failed), QUASSEL_SCRIPT_FORMAT_ERROR);
  std::array<uint8_t, 64> room{};
  uint32_t capacity = room.size();
  EXPECT_EQ(GetNextConfigCommand(room.data(), &capacity), QUASSEL_ALL_PROCESSED);
  EXPECT_EQ(GetAllConfigCommands(room.data(), &capacity), QUASSEL_ALL_PROCESSED);
  EXPECT_EQ(capacity, room.size());
  EXPECT_EQ(room[0], 0);
}

TEST_F(ExportsTest, MissingFile) {
  Outs good;
  ASSERT_EQ(Load(Write("before.txt", kScript), good), QUASSEL_OK);
  Outs outs;
  EXPECT_EQ(Load(testing::TempDir() + "quassel_exports_missing.txt", outs),
            QUASSEL_FILE_OPEN_ERROR);
  EXPECT_EQ(outs.detail, 0u);
  EXPECT_EQ(outs.line, 0u);
  EXPECT_EQ(outs.count, kUntouched);
  EXPECT_EQ(outs.maxSize, kUntouched);
  EXPECT_EQ(outs.total, kUntouched);
  std::array<uint8_t, 64> room{};
  uint32_t capacity = room.size();
  EXPECT_EQ(GetNextConfigCommand(room.data(), &capacity), QUASSEL_ALL_PROCESSED);
}

TEST_F(ExportsTest, NullPointersWriteNothing) {
  const std::string path = Write("null.txt", kScript);
  uint32_t a = kUntouched, b = kUntouched, c = kUntouched, d = kUntouched, e = kUntouched;
  uint32_t* outs[] = {&a, &b, &c, &d, &e};
  EXPECT_EQ(LoadConfigurationText(nullptr, 0, &a, &b, &c, &d, &e), QUASSEL_INVALID_PARAMETER);
  for (int skip = 0; skip < 5; ++skip) {
    uint32_t* p[5];
    for (int i = 0; i < 5; ++i) p[i] = i == skip ? nullptr : outs[i];
    EXPECT_EQ(LoadConfigurationText(path.c_str(), 0, p[0], p[1], p[2], p[3], p[4]),
              QUASSEL_INVALID_PARAMETER)
        << skip;
  }
  for (uint32_t* out : outs) EXPECT_EQ(*out, kUntouched);

  uint8_t room[32];
  uint32_t capacity = sizeof room;
  EXPECT_EQ(GetNextConfigCommand(nullptr, &capacity), QUASSEL_INVALID_PARAMETER);
  EXPECT_EQ(GetNextConfigCommand(room, nullptr), QUASSEL_INVALID_PARAMETER);
  EXPECT_EQ(GetAllConfigCommands(nullptr, &capacity), QUASSEL_INVALID_PARAMETER);
  EXPECT_EQ(GetAllConfigCommands(room, nullptr), QUASSEL_INVALID_PARAMETER);
  EXPECT_EQ(capacity, sizeof room);
}

TEST_F(ExportsTest, TooLittleRoomChangesNothing) {
  Outs outs;
  ASSERT_EQ(Load(Write("room.txt", kScript), outs), QUASSEL_OK);
  std::array<uint8_t, 17> room{};
  uint32_t capacity = 4;
  EXPECT_EQ(GetNextConfigCommand(room.data(), &capacity), QUASSEL_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(capacity, 4u);
  capacity = 16;
  EXPECT_EQ(GetAllConfigCommands(room.data(), &capacity), QUASSEL_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(capacity, 16u);
  EXPECT_EQ(room[0], 0);
  capacity = 5;
  EXPECT_EQ(GetNextConfigCommand(room.data(), &capacity), QUASSEL_OK);
}

TEST_F(ExportsTest, DeviceTypesYieldIdenticalBuffers) {
  const std::string path =
      Write("types.txt",
            "configuration set 9F1A020840 end\nexception list add\n5413330089020011 01\nend\n");
  Outs first;
  ASSERT_EQ(Load(path, first, 0), QUASSEL_OK);
  const std::vector<uint8_t> reference = All(first.total);
  for (uint32_t type : {1u, 2u, 3u}) {
    Outs outs;
    ASSERT_EQ(Load(path, outs, type), QUASSEL_OK);
    EXPECT_EQ(outs.total, first.total);
    EXPECT_EQ(All(outs.total), reference) << type;
  }
}

// Editors on Windows save UTF-8 with a byte order mark; the first statement still counts.
TEST_F(ExportsTest, ByteOrderMarkKeepsTheFirstStatement) {
  Outs plain;
  ASSERT_EQ(Load(Write("plain.txt", kScript), plain), QUASSEL_OK);
  const std::vector<uint8_t> expected = All(plain.total);
  Outs marked;
  ASSERT_EQ(Load(Write("marked.txt", std::string("\xEF\xBB\xBF") + kScript), marked), QUASSEL_OK);
  EXPECT_EQ(marked.count, 2u);
  EXPECT_EQ(All(marked.total), expected);
}

TEST_F(ExportsTest, EmptyScript) {
  Outs outs;
  ASSERT_EQ(Load(Write("empty.txt", ""), outs), QUASSEL_OK);
  EXPECT_EQ(outs.count, 0u);
  EXPECT_EQ(outs.maxSize, 4u);
  EXPECT_EQ(outs.total, 0u);
  uint8_t room[4];
  uint32_t capacity = sizeof room;
  EXPECT_EQ(GetNextConfigCommand(room, &capacity), QUASSEL_ALL_PROCESSED);
}

}  // namespace
