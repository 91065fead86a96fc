// The Windows CE receiver takes whatever the line delivers: it must neither
// crash nor answer more than a line at a time, and what it keeps stays
// within its limits (files, their size, a stored file as announced).
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "sim/model/ModelRegistry.h"
#include "sim/model/ProfileReader.h"
#include "sim/wince/WinCeReceiverModel.h"

namespace {

const char* const kProfiles[] = {
    "name = w\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 3\nserial = 4\nloader = wince-receiver after 1300\n",
    "name = f\nline = 9600 8N1\npcb = 1\ndevice = 2\nversion = 3\nserial = 4\nloader = wince-receiver after 1300\n"
    "wince = bad-crc-at 2 error-at 4 3 next-file-after 3 silent-after 9\n",
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto parsed = sim::ProfileReader::Parse(kProfiles[data[0] % 2], "fuzz");
  Check(parsed.Ok());
  sim::InstrumentProfile profile = parsed.profile;
  sim::FlashMemory flash;
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::ModelContext context{profile, flash, registry};
  sim::WinCeReceiverModel model(context);
  uint64_t now = 0;
  for (size_t i = 1; i < size; ++i) {
    sim::ModelInput in{data[i], model.Format(), false, false};
    if (data[i] == 0xFE && i + 1 < size) {  // a character that arrives damaged
      in.framingError = true;
      in.byte = data[++i];
    }
    model.Receive(in, now);
    now += 300;
    for (const auto& e : model.TakeEmissions()) Check(!e.bytes.empty() && e.bytes.size() <= 40);
    if (model.TakeSuccessor()) break;  // the application has the line again
  }
  Check(model.Files().size() <= sim::WinCeReceiverModel::kMaxFiles);
  for (const auto& f : model.Files()) {
    Check(f.bytes.size() <= sim::WinCeReceiverModel::kMaxFileSize);
    if (f.state == sim::WinCeReceiverModel::FileState::kStored) Check(f.bytes.size() == f.announcedSize);
  }
  return 0;
}
