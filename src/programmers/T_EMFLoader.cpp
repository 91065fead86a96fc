#include "programmers/T_EMFLoader.h"

namespace programmers {

// Declared so the window's hand-over builds; the protocol run comes with
// the loader's own change.
T_EMFLoader::T_EMFLoader(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord, serial::TComPort& port)
    : TProgrammerTyp(form, delay, deviceRecord, port) {}

T_EMFLoader::~T_EMFLoader() = default;

bool T_EMFLoader::Program(int32_t, const std::string&, bool) {
  return false;
}

void T_EMFLoader::OnConnectionLost() {}

}  // namespace programmers
