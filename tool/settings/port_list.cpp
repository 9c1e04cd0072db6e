#include "settings/port_list.h"

#include <QSerialPortInfo>

namespace kavonel {

std::vector<SerialPortEntry> ListSerialPortEntries() {
  std::vector<std::string> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    ports.push_back(info.systemLocation().toStdString());
  }
  std::vector<SerialPortEntry> entries;
  for (std::string& port : NaturalSorted(std::move(ports)))
    entries.push_back({std::move(port), {}});
  return entries;
}

std::map<std::string, SerialPortDetails> SerialPortDetailsByDevice() {
  std::map<std::string, SerialPortDetails> details;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    details[info.systemLocation().toStdString()] = {info.serialNumber().toStdString(),
                                                    info.description().toStdString()};
  }
  return details;
}

}  // namespace kavonel
