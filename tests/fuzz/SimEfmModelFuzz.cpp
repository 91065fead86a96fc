// The EFM loader model takes whatever instrument-sim's pseudo-terminal
// delivers: it must neither crash nor answer more than a line at a time, and
// it never holds more than the image it announced.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "sim/efm/EfmLoaderModel.h"
#include "sim/model/ModelRegistry.h"
#include "sim/model/ProfileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto parsed = sim::ProfileReader::Parse(
      "name = e\nline = 9600 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n"
      "loader = efm-loader after 5004\nefm = text EFM-LDR-2.04 restart-ms 50 program-ms 10\n",
      "fuzz");
  if (!parsed.Ok()) std::abort();
  sim::InstrumentProfile profile = parsed.profile;
  sim::FlashMemory flash;
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::ModelContext context{profile, flash, registry};
  auto model = std::make_unique<sim::EfmLoaderModel>(context);
  uint64_t now = 0;
  for (size_t i = 0; i < size; ++i) {
    sim::ModelInput in{data[i], model->Format(), false, false};
    if (data[i] == 0xFE && i + 1 < size) {  // a pause: the loader's restart, a rate switch
      now += 100'000;
      in.byte = data[++i];
      in.sentAt = model->Format();
    }
    if (const auto at = model->NextTick(); at && *at <= now) model->Tick(now);
    model->Receive(in, now);
    now += 100;
    for (const auto& e : model->TakeEmissions()) {
      if (e.bytes.empty() || e.bytes.size() > 100) std::abort();
    }
    if (model->Image().size() > model->AnnouncedLength()) std::abort();
    if (model->TakeSuccessor()) return 0;  // the application has the line
  }
  return 0;
}
