#include "programmers/TEFMV24_Prog.h"

namespace programmers {

// Declared so the window's hand-over builds; the protocol run comes with
// the loader's own change.
TEFMV24_Prog::TEFMV24_Prog(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord, serial::TComPort& port)
    : TProgrammerTyp(form, delay, deviceRecord, port) {}

TEFMV24_Prog::~TEFMV24_Prog() = default;

bool TEFMV24_Prog::Program(const std::string&) {
  return false;
}

void TEFMV24_Prog::OnConnectionLost() {}

}  // namespace programmers
