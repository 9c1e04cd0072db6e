// The rules of the settings dialog, free of any window: which rows it lists, which it
// pre-selects, what a reader type change does, and what OK stores. The dialog only
// mirrors a SettingsForm into its widgets and back.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "settings/reader_settings.h"

namespace kavonel {

inline constexpr std::array<const char*, 4> kReaderTypeRows = {
    "Lark", "Tern in Lark Backward Compatibility Mode", "Tern", "HERON"};
inline constexpr std::array<int, 5> kBaudRateRows = {9600, 19200, 38400, 57600, 115200};

// Natural order: digit runs compare by value, so ttyS2 comes before ttyS10.
bool NaturalLess(std::string_view a, std::string_view b);
std::vector<std::string> NaturalSorted(std::vector<std::string> ports);

// A serial port as the system lists it: its name, and the name a person knows it by
// where the system has one ("USB Serial Port (COM3)").
struct SerialPortEntry {
  std::string name;
  std::string friendlyName;
  bool operator==(const SerialPortEntry&) const = default;
};
// The union of two lists of the same ports: one entry per name (names compared without
// regard to case), a friendly name from whichever list has one, in natural order.
std::vector<SerialPortEntry> MergedPortLists(std::vector<SerialPortEntry> first,
                                             const std::vector<SerialPortEntry>& second);

// The row a stored port name pre-selects. A row equal to the name (without regard to
// case) wins; otherwise the list's prefix search: from row 1 to the last row, then
// row 0, the first row beginning with the name without regard to case. -1 when
// nothing matches.
int FindPortRow(const std::vector<std::string>& rows, std::string_view name);

// Reader type 0, 1 or 3 selects its row; anything else "Tern" (row 2).
int ReaderTypeRowFor(int readerType);
// 9600 ... 57600 select their rows; anything else 115200 (row 4).
int BaudRowFor(int baudRate);
// The baud row preset when the operator picks a reader type.
int BaudPresetRowFor(int readerType);
// OK: row to value; no selection (or an unknown row) gives 115200 and "Tern".
int BaudRateForRow(int row);
int ReaderTypeForRow(int row);

// What the dialog shows, as plain values.
struct SettingsForm {
  std::vector<std::string> portRows;
  int portRow = -1;
  // The port list's edit field: the selected row's text, or a name typed by the
  // operator (a device path the port list does not show, e.g. a virtual reader).
  std::string portText;
  int readerTypeRow = -1;
  int baudRow = -1;
  bool logCommands = false;
};

// Opening the dialog: the rows and the pre-selection for the stored settings.
SettingsForm OpenSettingsForm(const ReaderSettings& settings, std::vector<std::string> ports);

// The operator picked a reader type row: a new type is stored at once (it stays even
// if the dialog is cancelled) and the baud row is preset; picking the stored type
// changes nothing.
void PickReaderType(SettingsForm& form, ReaderSettings& settings, int row);

// OK (button or Enter): stores all four settings from the form.
void AcceptSettingsForm(const SettingsForm& form, ReaderSettings& settings);

}  // namespace kavonel
