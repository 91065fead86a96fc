#include "serial/TV24Parameter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace serial {

namespace {

// The configured name may use backslashes as folder separators.
std::string HostPath(const std::string& name) {
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

void TV24Parameter::PutParameter(const V24ParameterTag& p) {
  m_record = p;
  if (Streaming()) SaveToFile(m_fileName, m_record);
}

V24ParameterTag* TV24Parameter::GetParameter(bool streamOn, const std::string& fileName) {
  m_streamOn = streamOn;
  m_fileName = fileName;
  if (Streaming()) LoadFromFile(m_fileName, m_record);
  return &m_record;
}

int32_t TV24Parameter::LoadFromFile(const std::string& fileName, V24ParameterTag& record) {
  const int fd = ::open(HostPath(fileName).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    SaveToFile(fileName, record);
    return kFileError;
  }
  record.RXNotification = 0;
  // A short file replaces only the leading fields. The record is built of
  // 32-bit integers and bytes, so any byte pattern is a valid record.
  uint8_t bytes[sizeof(V24ParameterTag)];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::pread(fd, bytes + got, sizeof bytes - got, static_cast<off_t>(got));
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  std::memcpy(&record, bytes, got);
  return 0;
}

int32_t TV24Parameter::SaveToFile(const std::string& fileName, const V24ParameterTag& record) {
  const int fd = ::open(HostPath(fileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return kFileError;
  const ssize_t n = ::pwrite(fd, &record, sizeof record, 0);
  ::close(fd);
  return n == static_cast<ssize_t>(sizeof record) ? 0 : kFileError;
}

}  // namespace serial
