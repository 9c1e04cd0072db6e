#include "settings/port_list.h"

#include <QSerialPortInfo>

#include "settings/settings_rules.h"

namespace kavonel {

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    ports.push_back(info.systemLocation().toStdString());
  }
  return NaturalSorted(std::move(ports));
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
