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

}  // namespace kavonel
