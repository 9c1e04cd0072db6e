#include "settings/settings_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kavonel {
namespace {

using ::testing::ElementsAre;

TEST(NaturalOrder, SortsDigitRunsByValue) {
  EXPECT_THAT(
      NaturalSorted({"/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyS2", "/dev/ttyACM0", "/dev/ttyS1",
                     "/dev/ttyS2"}),
      ElementsAre("/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"));
  EXPECT_TRUE(NaturalLess("COM9", "COM10"));
  EXPECT_FALSE(NaturalLess("COM10", "COM9"));
  EXPECT_TRUE(NaturalLess("COM", "COM1"));
  EXPECT_TRUE(NaturalLess("x01", "x001") != NaturalLess("x001", "x01"));
}

TEST(PortLists, UnionByNameWithFriendlyNamesInNaturalOrder) {
  // The device manager's list and the registry's: the same port twice (in another
  // case), ports only one of them knows, an entry without a name.
  const std::vector<SerialPortEntry> devices = {
      {"COM10", "USB Serial Port (COM10)"}, {"COM3", ""}, {"", "nameless"}};
  const std::vector<SerialPortEntry> registry = {
      {"COM2", ""}, {"com3", "Bluetooth link (COM3)"}, {"COM10", ""}};
  EXPECT_THAT(
      MergedPortLists(devices, registry),
      ElementsAre(SerialPortEntry{"COM2", ""}, SerialPortEntry{"COM3", "Bluetooth link (COM3)"},
                  SerialPortEntry{"COM10", "USB Serial Port (COM10)"}));
  EXPECT_TRUE(MergedPortLists({}, {}).empty());
}

struct PortCase {
  const char* name;
  std::vector<std::string> rows;
  std::string stored;
  int row;
};

class FindPortRowTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(FindPortRowTest, PicksTheExpectedRow) {
  EXPECT_EQ(FindPortRow(GetParam().rows, GetParam().stored), GetParam().row);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FindPortRowTest,
    ::testing::Values(
        // An exact name wins over the prefix search, which would reach COM10 first.
        PortCase{"ExactComOneBeforeComTen", {"COM1", "COM10"}, "COM1", 0},
        PortCase{"ExactIgnoresCase", {"COM1", "COM10"}, "com1", 0},
        // Prefix search starts at row 1 and wraps to row 0.
        PortCase{"PrefixFromRowOne", {"COM2", "COM13", "COM14"}, "COM1", 1},
        PortCase{"PrefixWrapsToRowZero", {"COM12", "COM3"}, "com1", 0},
        PortCase{"DevicePathPrefix", {"/dev/ttyS0", "/dev/ttyUSB0"}, "/dev/ttyU", 1},
        PortCase{"NoMatch", {"/dev/ttyS0", "/dev/ttyS1"}, "COM1", -1},
        PortCase{"EmptyList", {}, "COM1", -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsForm, OutOfRangeValuesPreselectTernAnd115200) {
  ReaderSettings odd;
  odd.nReaderType = 7;
  odd.nBaudRate = 4800;
  const SettingsForm form = OpenSettingsForm(odd, {"COM3"});
  EXPECT_EQ(form.readerTypeRow, 2);
  EXPECT_EQ(form.baudRow, 4);
  SettingsForm nothingSelected = form;
  nothingSelected.readerTypeRow = -1;
  nothingSelected.baudRow = -1;
  AcceptSettingsForm(nothingSelected, odd);
  EXPECT_EQ(odd.nReaderType, 2);
  EXPECT_EQ(odd.nBaudRate, 115200);
}

TEST(SettingsForm, OpensWithDefaultsOnAListWithoutComOne) {
  const ReaderSettings defaults;
  const SettingsForm form = OpenSettingsForm(defaults, {"/dev/ttyS0", "/dev/ttyUSB0"});
  EXPECT_EQ(form.portRow, 0);
  EXPECT_EQ(form.portText, "/dev/ttyS0");
  EXPECT_EQ(form.readerTypeRow, 2);
  EXPECT_EQ(form.baudRow, 4);
  EXPECT_FALSE(form.logCommands);
  ReaderSettings stored = defaults;
  AcceptSettingsForm(form, stored);
  EXPECT_EQ(stored.strComPort, "/dev/ttyS0");
  EXPECT_EQ(stored.nReaderType, 2);
  EXPECT_EQ(stored.nBaudRate, 115200);
}

TEST(SettingsForm, NoPortsKeepsThePreviousName) {
  ReaderSettings settings;
  const SettingsForm form = OpenSettingsForm(settings, {});
  EXPECT_EQ(form.portRow, -1);
  EXPECT_EQ(form.portText, "");
  AcceptSettingsForm(form, settings);
  EXPECT_EQ(settings.strComPort, "COM1");
}

TEST(SettingsForm, TypedPortNameIsStoredAndShownAgain) {
  ReaderSettings settings;
  SettingsForm form = OpenSettingsForm(settings, {"/dev/ttyS0"});
  form.portText = "  /tmp/kavonel-reader ";
  AcceptSettingsForm(form, settings);
  EXPECT_EQ(settings.strComPort, "/tmp/kavonel-reader");
  // Reopened: the list does not show it, and it is not replaced by row 0.
  const SettingsForm again = OpenSettingsForm(settings, {"/dev/ttyS0"});
  EXPECT_EQ(again.portRow, -1);
  EXPECT_EQ(again.portText, "/tmp/kavonel-reader");
  ReaderSettings copy = settings;
  AcceptSettingsForm(again, copy);
  EXPECT_EQ(copy.strComPort, "/tmp/kavonel-reader");
}

TEST(SettingsForm, ReaderTypePicksStoreAtOnceAndPresetTheBaudRow) {
  ReaderSettings settings;
  settings.nBaudRate = 38400;
  SettingsForm form = OpenSettingsForm(settings, {"/dev/ttyS0"});
  EXPECT_EQ(form.baudRow, 2);
  // Picking the stored type changes nothing: the hand-picked baud row stays.
  PickReaderType(form, settings, 2);
  EXPECT_EQ(form.baudRow, 2);
  EXPECT_EQ(settings.nReaderType, 2);
  PickReaderType(form, settings, 0);
  EXPECT_EQ(settings.nReaderType, 0);  // stored before any OK
  EXPECT_EQ(form.baudRow, 1);
  EXPECT_EQ(settings.nBaudRate, 38400);  // the baud rate waits for OK
  PickReaderType(form, settings, 3);
  EXPECT_EQ(form.baudRow, 4);
  AcceptSettingsForm(form, settings);
  EXPECT_EQ(settings.nReaderType, 3);
  EXPECT_EQ(settings.nBaudRate, 115200);
}

}  // namespace
}  // namespace kavonel
