#pragma once

#include <string>

#include "programmers/TProgrammerTyp.h"

namespace programmers {

// Transfers the main file and then every extra file of the record to an
// instrument running a Windows CE image, in binary blocks of up to 2000
// bytes with a CRC-8 each, at 38400 baud.
class TWinCEProg : public TProgrammerTyp {
 public:
  TWinCEProg(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
             serial::TComPort& port);
  ~TWinCEProg() override;

  // True when the instrument acknowledged every file to the end.
  virtual bool Program(const std::string& fileName);

 protected:
  void OnConnectionLost() override;
};

}  // namespace programmers
