#include "platform/posix/PortLock.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace platform::posix {

bool HeldByUucpLock(const std::string& devicePath, const std::string& lockDir) {
  std::error_code ec;
  std::filesystem::path device = std::filesystem::canonical(devicePath, ec);
  if (ec) device = devicePath;
  const std::string lockFile = lockDir + "/LCK.." + device.filename().string();
  std::ifstream in(lockFile, std::ios::binary);
  if (!in) return false;
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  long pid = 0;
  if (content.size() == 4 && content.find_first_not_of(" 0123456789\n") != std::string::npos) {
    int32_t binary = 0;  // the old binary format
    std::memcpy(&binary, content.data(), 4);
    pid = binary;
  } else {
    pid = std::strtol(content.c_str(), nullptr, 10);
  }
  if (pid <= 0 || pid == static_cast<long>(::getpid())) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace platform::posix
