#pragma once

#include <cstddef>
#include <string>

#include "programmers/ProgrammerHost.h"
#include "programmers/ProgrammerRecord.h"
#include "serial/TComPort.h"
#include "serial/TDelay.h"

namespace programmers {

// Base of the programmers: what each receives at construction. A
// programmer lives for one download: the window creates it, calls Program
// once and destroys it when Program returns. Construction never touches the
// port. All references belong to the window and outlive the programmer.
class TProgrammerTyp {
 public:
  TProgrammerTyp(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                 serial::TComPort& port)
      : m_form(form), m_delay(delay), m_deviceRecord(deviceRecord), m_port(port) {}
  virtual ~TProgrammerTyp() = default;
  TProgrammerTyp(const TProgrammerTyp&) = delete;
  TProgrammerTyp& operator=(const TProgrammerTyp&) = delete;

 protected:
  // The loop of Program: drain the Events, then sleep in the pump until the
  // next message (data, a timer tick, a key) — never a spin.
  void RunEventLoop(const bool& finished);

  // Reads a package file whole (the name is looked up case-insensitively in
  // the package folder; a backslash is a folder separator). False with a
  // user text in `error` when it is no regular file, cannot be read or
  // exceeds `limit` bytes; a larger file is refused before it is read.
  bool ReadPackageFile(const std::string& name, size_t limit, std::string& content, std::string& error);

  ProgrammerHost& m_form;
  serial::TDelay& m_delay;
  ProgrammerRecord& m_deviceRecord;
  serial::TComPort& m_port;
};

}  // namespace programmers
