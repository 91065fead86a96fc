// What arrives on the line is arbitrary: any bytes, at any settings. The
// models must neither crash nor grow without bound, and must keep their
// answers to whole lines or announcement bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/model/Instrument.h"
#include "sim/model/ProfileReader.h"

namespace {

const char* const kProfiles[] = {
    "name = a\nfamily = 4\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 3\nserial = 4\n"
    "startup-version = 1.0\naccept = 12000 6162 1220\nspecial = 1131#20 after 1131\n"
    "special = 1132 after 1111 times 2\nspecial = 262 after 1000\nspecial = 920$1.5 after 1200 delay 5\n"
    "garbage = 2000 3\nsilent-from = 9999\n",
    "name = b\nline = 38400 8N1\nboot-loader = frame h11h BODY\n",
    "name = c\nline = 9600 8E1\nboot-loader = Q\n",
    "name = d\nline = 9600 8E1\nboot-loader = 0x90\n",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto parsed = sim::ProfileReader::Parse(kProfiles[data[0] % 4], "fuzz");
  if (!parsed.Ok()) std::abort();
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::Instrument instrument(parsed.profile, registry);
  const auto own = instrument.Format(0);
  uint64_t now = 0;
  size_t emitted = 0;
  // Each input byte is preceded, one time in eight, by a control byte that
  // picks another rate, a parity error or a pause.
  for (size_t i = 1; i < size; ++i) {
    sim::ModelInput in{data[i], own, false, false};
    if ((data[i] & 0xF8) == 0xF8 && i + 1 < size) {
      const uint8_t control = data[i] & 7;
      in.byte = data[++i];
      if (control == 1) in.sentAt.baud = 19200;
      if (control == 2) in.parityError = true;
      if (control == 3) in.framingError = true;
      if (control == 4) now += 700'000;
    }
    instrument.Receive(in, now);
    now += 1000;
    for (const auto& e : instrument.TakeEmissions()) {
      emitted += e.bytes.size();
      if (e.bytes.empty() || e.bytes.size() > 300) std::abort();
    }
    instrument.TakeHangUp();
    instrument.TakeNotes();
  }
  // Answers are bounded by what came in: at most a few lines per byte.
  if (emitted > 64 * (size + 1)) std::abort();
  return 0;
}
