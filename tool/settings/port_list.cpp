#include "settings/port_list.h"

#include <QSerialPortInfo>
#include <filesystem>

#include "settings/settings_rules.h"

namespace kavonel {

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    ports.push_back(info.systemLocation().toStdString());
  }
  return NaturalSorted(std::move(ports));
}

SerialPortDetails DetailsOfSerialPort(const std::string& path) {
  std::error_code error;
  const std::string device = std::filesystem::canonical(path, error).string();
  if (error) return {};
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    if (info.systemLocation().toStdString() == device) {
      return {info.serialNumber().toStdString(), info.description().toStdString()};
    }
  }
  return {};
}

}  // namespace kavonel
