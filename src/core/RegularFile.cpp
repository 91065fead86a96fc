#include "core/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace core {
namespace {

constexpr BilingualText kNoFault{"", ""};
constexpr BilingualText kMissingText{"ist nicht vorhanden", "does not exist"};
constexpr BilingualText kDirectoryText{"ist ein Ordner", "is a folder"};
constexpr BilingualText kNotRegularText{
    "ist keine gew\xF6hnliche Datei (ein Ger\xE4t, eine FIFO oder ein Socket)",
    "is not a regular file (a device, FIFO or socket)"};
constexpr BilingualText kLinkLoopText{"ist ein symbolischer Verweis, der im Kreis zeigt",
                                      "is a symbolic link that points in a loop"};
constexpr BilingualText kTooLargeText{"ist zu gro\xDF", "is too large"};
constexpr BilingualText kNoAccessText{"darf nicht gelesen werden (keine Berechtigung)",
                                      "cannot be read: permission denied"};
constexpr BilingualText kReadErrorText{"kann nicht gelesen werden", "cannot be read"};

FileFault FromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileFault::kMissing;
    case ELOOP:
      return FileFault::kLinkLoop;
    case EACCES:
    case EPERM:
      return FileFault::kNoAccess;
    case EISDIR:
      return FileFault::kDirectory;
    default:
      return FileFault::kReadError;
  }
}

FileFault FromMode(mode_t mode) {
  if (S_ISREG(mode)) return FileFault::kNone;
  return S_ISDIR(mode) ? FileFault::kDirectory : FileFault::kNotRegular;
}

}  // namespace

const BilingualText& FileFaultText(FileFault fault) {
  switch (fault) {
    case FileFault::kNone:
      break;
    case FileFault::kMissing:
      return kMissingText;
    case FileFault::kDirectory:
      return kDirectoryText;
    case FileFault::kNotRegular:
      return kNotRegularText;
    case FileFault::kLinkLoop:
      return kLinkLoopText;
    case FileFault::kTooLarge:
      return kTooLargeText;
    case FileFault::kNoAccess:
      return kNoAccessText;
    case FileFault::kReadError:
      return kReadErrorText;
  }
  return kNoFault;
}

RegularFile::~RegularFile() {
  if (m_fd >= 0) ::close(m_fd);
}

FileFault RegularFile::Open(const std::string& path) {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_size = 0;
  if (path.empty()) return FileFault::kMissing;
  // The type first, so that no device is ever opened (opening a serial line
  // can change its modem lines).
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return FromErrno(errno);
  if (const FileFault fault = FromMode(info.st_mode); fault != FileFault::kNone) return fault;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return FromErrno(errno);
  // The name may have been replaced between the stat and the open.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const FileFault fault = FromMode(info.st_mode);
    ::close(fd);
    return fault == FileFault::kNone ? FileFault::kReadError : fault;
  }
  m_fd = fd;
  m_size = static_cast<uint64_t>(info.st_size);
  return FileFault::kNone;
}

FileFault RegularFile::Read(uint64_t offset, size_t count, std::string& out) const {
  out.clear();
  if (m_fd < 0) return FileFault::kReadError;
  out.resize(count);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(m_fd, out.data() + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      out.clear();
      return FileFault::kReadError;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  out.resize(done);
  return FileFault::kNone;
}

FileFault ReadRegularFile(const std::string& path, size_t limit, std::string& content) {
  constexpr size_t kChunk = 64 * 1024;
  content.clear();
  RegularFile file;
  if (const FileFault fault = file.Open(path); fault != FileFault::kNone) return fault;
  if (file.Size() > limit) return FileFault::kTooLarge;
  content.reserve(static_cast<size_t>(file.Size()));
  // In pieces up to the end of the file, not up to the size seen at the open,
  // but never past limit + 1.
  std::string piece;
  while (content.size() <= limit) {
    const size_t want = std::min(kChunk, limit + 1 - content.size());
    if (const FileFault fault = file.Read(content.size(), want, piece); fault != FileFault::kNone) {
      content.clear();
      return fault;
    }
    if (piece.empty()) break;
    content += piece;
  }
  if (content.size() > limit) {
    content.clear();
    return FileFault::kTooLarge;
  }
  return FileFault::kNone;
}

}  // namespace core
