#include "programmers/TWinCEProg.h"

namespace programmers {

// Declared so the window's hand-over builds; the protocol run comes with
// the loader's own change.
TWinCEProg::TWinCEProg(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord, serial::TComPort& port)
    : TProgrammerTyp(form, delay, deviceRecord, port) {}

TWinCEProg::~TWinCEProg() = default;

bool TWinCEProg::Program(const std::string&) {
  return false;
}

void TWinCEProg::OnConnectionLost() {}

}  // namespace programmers
