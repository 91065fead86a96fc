#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/BilingualText.h"
#include "core/Event.h"
#include "core/EventQueue.h"
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
  // The caption of every error box of a programmer, in both languages.
  static constexpr const char* kErrorCaption = "Error";
  // The box after the device port's line was lost; "%1" is the port's name.
  static constexpr core::BilingualText kConnectionLostText{
      "Die Verbindung zum Ger\xE4t an %1 wurde unterbrochen (Kabel oder USB-Adapter gezogen?). "
      "Schlie\xDF"
      "en Sie das Ger\xE4t wieder an und starten Sie den Download mit Ok neu.",
      "The connection to the instrument on %1 was lost (cable or USB adapter unplugged?). "
      "Reconnect the instrument and restart the download with Ok."};
  // kConnectionLostText for the 1-based port `com`.
  static std::string ConnectionLostText(int32_t language, uint32_t com);

  TProgrammerTyp(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                 serial::TComPort& port)
      : m_form(form), m_delay(delay), m_deviceRecord(deviceRecord), m_port(port) {}
  virtual ~TProgrammerTyp() = default;
  TProgrammerTyp(const TProgrammerTyp&) = delete;
  TProgrammerTyp& operator=(const TProgrammerTyp&) = delete;

 protected:
  // The loop of Program: drain the Events, then sleep in the pump until the
  // next message (data, a timer tick, a key) — never a spin. It also ends
  // as soon as the window reports the device port's line lost
  // (kConnectionLost, consumed here ahead of the programmer's own handler):
  // OnConnectionLost has run then and LineLost() is true.
  void RunEventLoop(const bool& finished);
  // The line is gone: end the run as failed, stop the slots. Nothing may be
  // written or waited for on the port any more (LineLost() says so).
  virtual void OnConnectionLost() = 0;
  bool LineLost() const { return m_lineLost; }
  // The one error box of a run that lost its line.
  void ShowConnectionLost();

  // Reads a package file whole (the name is looked up case-insensitively in
  // the package folder; a backslash is a folder separator). False with a
  // user text in `error` when it is no regular file, cannot be read or
  // exceeds `limit` bytes; a larger file is refused before it is read.
  bool ReadPackageFile(const std::string& name, size_t limit, std::string& content, std::string& error);
  // The path ReadPackageFile reads for `name` (for the file's own data, such
  // as its last-write time).
  std::string PackageFilePath(const std::string& name);

  ProgrammerHost& m_form;
  serial::TDelay& m_delay;
  ProgrammerRecord& m_deviceRecord;
  serial::TComPort& m_port;

 private:
  core::Event WatchLine(core::EventQueue& queue, core::Event event);

  bool m_lineLost = false;
  uint32_t m_lostCom = 0;
};

}  // namespace programmers
