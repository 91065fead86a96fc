#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/BilingualText.h"

namespace core {

// Why a package file could not be read.
enum class FileFault {
  kNone,
  kMissing,  // nothing there (also a dangling symbolic link)
  kDirectory,
  kNotRegular,  // a FIFO, socket or device: reading it could block or never end
  kLinkLoop,    // symbolic links that point at each other
  kTooLarge,
  kNoAccess,
  kReadError,
};

// The reason as a user text ("ist ein Ordner" / "is a folder"), to follow
// the file's name.
const BilingualText& FileFaultText(FileFault fault);

// A package file opened for reading. Only regular files are opened: the type
// is checked before the open and again on the open descriptor, and the open
// does not block, so a FIFO or a serial device in the package folder cannot
// hang the program.
class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  FileFault Open(const std::string& path);
  uint64_t Size() const { return m_size; }
  // Up to `count` bytes from `offset`; fewer at the end of the file.
  FileFault Read(uint64_t offset, size_t count, std::string& out) const;

 private:
  int m_fd = -1;
  uint64_t m_size = 0;
};

// Reads a regular file of at most `limit` bytes whole. Larger files are
// refused before anything is read, and never more than `limit` + 1 bytes are
// read (a file that grows while it is read is refused too).
FileFault ReadRegularFile(const std::string& path, size_t limit, std::string& content);

}  // namespace core
