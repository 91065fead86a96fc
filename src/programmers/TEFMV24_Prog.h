#pragma once

#include <string>

#include "programmers/TProgrammerTyp.h"

namespace programmers {

// Loads a binary image through the instrument's own download commands: the
// faster line, the restart into its loader, the announcement, 128-byte hex
// lines each with its CRC-16, the trailer, the finish and the rate back.
class TEFMV24_Prog : public TProgrammerTyp {
 public:
  TEFMV24_Prog(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
               serial::TComPort& port);
  ~TEFMV24_Prog() override;

  // True when the instrument acknowledged every step to the end.
  virtual bool Program(const std::string& fileName);

 protected:
  void OnConnectionLost() override;
};

}  // namespace programmers
