#include "settings/settings_rules.h"

#include <algorithm>
#include <cctype>

namespace kavonel {
namespace {

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t ie = i, je = j;
      while (ie < a.size() && IsDigit(a[ie])) ++ie;
      while (je < b.size() && IsDigit(b[je])) ++je;
      // Compare the runs by value without converting: skip leading zeros, then
      // the longer run is larger, then digit by digit.
      size_t is = i, js = j;
      while (is + 1 < ie && a[is] == '0') ++is;
      while (js + 1 < je && b[js] == '0') ++js;
      if (ie - is != je - js) return ie - is < je - js;
      const int cmp = a.substr(is, ie - is).compare(b.substr(js, je - js));
      if (cmp != 0) return cmp < 0;
      if (ie - i != je - j) return ie - i < je - j;  // fewer leading zeros first
      i = ie;
      j = je;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> NaturalSorted(std::vector<std::string> ports) {
  std::stable_sort(ports.begin(), ports.end(),
                   [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

std::vector<SerialPortEntry> MergedPortLists(std::vector<SerialPortEntry> first,
                                             const std::vector<SerialPortEntry>& second) {
  first.insert(first.end(), second.begin(), second.end());
  std::vector<SerialPortEntry> merged;
  for (SerialPortEntry& entry : first) {
    if (entry.name.empty()) continue;
    auto same = std::find_if(merged.begin(), merged.end(), [&](const SerialPortEntry& m) {
      return EqualsNoCase(m.name, entry.name);
    });
    if (same == merged.end()) {
      merged.push_back(std::move(entry));
    } else if (same->friendlyName.empty()) {
      same->friendlyName = std::move(entry.friendlyName);
    }
  }
  std::stable_sort(merged.begin(), merged.end(),
                   [](const SerialPortEntry& a, const SerialPortEntry& b) {
                     return NaturalLess(a.name, b.name);
                   });
  return merged;
}

int FindPortRow(const std::vector<std::string>& rows, std::string_view name) {
  const int count = static_cast<int>(rows.size());
  // An exact name first: reopening the dialog after OK on "COM1" must not move the
  // choice to "COM10" just because the prefix search reaches it first.
  for (int row = 0; row < count; ++row) {
    if (EqualsNoCase(rows[static_cast<size_t>(row)], name)) return row;
  }
  for (int step = 0; step < count; ++step) {
    const int row = (1 + step) % count;
    if (StartsWithNoCase(rows[static_cast<size_t>(row)], name)) return row;
  }
  return -1;
}

int ReaderTypeRowFor(int readerType) {
  return readerType == 0 || readerType == 1 || readerType == 3 ? readerType : 2;
}

int BaudRowFor(int baudRate) {
  for (size_t row = 0; row + 1 < kBaudRateRows.size(); ++row) {
    if (kBaudRateRows[row] == baudRate) return static_cast<int>(row);
  }
  return 4;
}

int BaudPresetRowFor(int readerType) {
  return readerType == 0 || readerType == 1 ? 1 : 4;
}

int BaudRateForRow(int row) {
  return row >= 0 && row < 4 ? kBaudRateRows[static_cast<size_t>(row)] : 115200;
}

int ReaderTypeForRow(int row) {
  return row == 0 || row == 1 || row == 3 ? row : 2;
}

SettingsForm OpenSettingsForm(const ReaderSettings& settings, std::vector<std::string> ports) {
  SettingsForm form;
  form.portRows = std::move(ports);
  form.portRow = FindPortRow(form.portRows, settings.strComPort);
  if (form.portRow < 0 && !settings.strComPort.empty() && settings.strComPort.front() == '/') {
    // A device path typed earlier (the port list never shows pseudo-terminals): keep
    // showing it rather than silently switching to the first listed port.
    form.portText = settings.strComPort;
  } else {
    if (form.portRow < 0 && !form.portRows.empty()) form.portRow = 0;
    if (form.portRow >= 0) form.portText = form.portRows[static_cast<size_t>(form.portRow)];
  }
  form.readerTypeRow = ReaderTypeRowFor(settings.nReaderType);
  form.baudRow = BaudRowFor(settings.nBaudRate);
  form.logCommands = settings.bLogCommands;
  return form;
}

void PickReaderType(SettingsForm& form, ReaderSettings& settings, int row) {
  form.readerTypeRow = row;
  if (row < 0 || row == settings.nReaderType) return;
  settings.nReaderType = row;
  form.baudRow = BaudPresetRowFor(row);
}

void AcceptSettingsForm(const SettingsForm& form, ReaderSettings& settings) {
  settings.nBaudRate = BaudRateForRow(form.baudRow);
  settings.nReaderType = ReaderTypeForRow(form.readerTypeRow);
  settings.bLogCommands = form.logCommands;
  // The edit field holds the selected row's text unless the operator typed a name.
  const std::string_view typed = Trimmed(form.portText);
  if (!typed.empty()) {
    settings.strComPort = std::string(typed);
  } else if (form.portRow >= 0 && form.portRow < static_cast<int>(form.portRows.size())) {
    settings.strComPort = form.portRows[static_cast<size_t>(form.portRow)];
  }
  // Nothing selected and nothing typed (no port present): the previous name stays.
}

}  // namespace kavonel
