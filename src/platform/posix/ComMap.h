#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace platform::posix {

// Which device COMn is.
//  - Folder mode: the entry "COMn" (normally a symlink to a device node) of
//    a folder, the one named by INSTRUMENT_UPDATE_PORTS when it is set.
//  - Default mode: the machine's serial devices numbered in this order,
//    each taking the next number from COM1 on: /dev/ttyS* that have a UART,
//    then /dev/ttyUSB*, then /dev/ttyACM*, each group by its number. Only
//    devices with a hardware device behind them (sysfs `device` link, not
//    virtual) count.
// The map is looked up afresh at every call, so adapters plugged in later
// and links added to the folder are found at the next enumeration.
class ComMap {
 public:
  static constexpr const char* kEnvironment = "INSTRUMENT_UPDATE_PORTS";

  static ComMap FromEnvironment();
  static ComMap Folder(std::string folder);
  static ComMap Default(std::string sysClassTty = "/sys/class/tty", std::string dev = "/dev");

  // The path to open for COMn, "" when COMn is not mapped.
  std::string Path(uint32_t comNumber) const;
  // The whole default map (empty in folder mode).
  std::map<uint32_t, std::string> DefaultEntries() const;

  bool IsFolder() const { return m_folderMode; }
  const std::string& FolderPath() const { return m_folder; }

 private:
  bool m_folderMode = false;
  std::string m_folder;
  std::string m_sysClassTty;
  std::string m_dev;
};

}  // namespace platform::posix
