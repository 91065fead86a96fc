// The settings file is read without checks into the parameter record: no
// file may make the component index past its tables, and a port must open,
// write and close with whatever the file says.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/DebugLog.h"
#include "platform/sim/SimPortSystem.h"
#include "platform/sim/VirtualTime.h"
#include "serial/TComPort.h"
#include "serial/V24Mapping.h"

namespace {

const std::string& FileName() {
  static const std::string name = [] {
    char tmpl[] = "/tmp/iu-fuzz-settings-XXXXXX";
    const int fd = ::mkstemp(tmpl);
    if (fd >= 0) ::close(fd);
    return std::string(tmpl);
  }();
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = [] {
    core::SetDebugLogSink([](const std::string&) {});  // most files name ports that do not exist
    return true;
  }();
  (void)quiet;
  const std::string& name = FileName();
  {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  serial::V24ParameterTag record;
  serial::TV24Parameter::LoadFromFile(name, record);
  serial::MakeDcb(record);
  serial::MakeTimeouts(record);

  platform::sim::VirtualTime time;
  platform::sim::SimPortSystem ports(time);
  ports.AddLine(static_cast<uint32_t>(record.Schnittstelle) + 1 <= 256 ? 1 + (record.Schnittstelle & 3) : 1);
  serial::TComPort port(ports, time);
  port.SetStreamOn(true);
  const auto slash = name.rfind('/');
  port.SetNewConfigPath(name.substr(0, slash));
  port.SetDatei(name.substr(slash + 1));
  if (port.Open(nullptr, -1, false)) {
    // No Read: a file may ask for read time-outs of days, which the
    // simulated line would honour.
    port.Write("AB", -1, false);
    port.Write("CD", -1, true);
    port.Close();
  }
  return 0;
}
