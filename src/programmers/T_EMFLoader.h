#pragma once

#include <cstdint>
#include <string>

#include "programmers/TProgrammerTyp.h"

namespace programmers {

// Loads a firmware file unchanged into a loader that receives it by
// XMODEM-CRC: the request over the instrument's ASCII line, the switch to the
// loader's rate, then the padded image with its 6-byte trailer, the CRC
// report and the start command.
class T_EMFLoader : public TProgrammerTyp {
 public:
  T_EMFLoader(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
              serial::TComPort& port);
  ~T_EMFLoader() override;

  // mode: the loader mode 0, 1 or 2; `sameVersion` is not used. True when
  // the instrument took the image and was told to start it.
  virtual bool Program(int32_t mode, const std::string& fileName, bool sameVersion);

 protected:
  void OnConnectionLost() override;
};

}  // namespace programmers
