// The loader models take whatever instrument-sim's pseudo-terminal delivers:
// they must neither crash nor answer more than a frame at a time, and the
// flash stays flash (bits are only cleared by writes).
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "sim/bsl/Bsl5xxModel.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/model/ModelRegistry.h"
#include "sim/model/ProfileReader.h"

namespace {

const char* const kProfiles[] = {
    "name = r\nline = 9600 8E1\nboot-loader = 0x90\nflash = 0x1000 0x100 64\nflash = 0x1100 0x100 0x100\n"
    "flash = 0x1200 0xEE00 512\nflash = 0x10000 0x10000 512\nbsl = family 2xx chip 0xF26F version 1.61 reset "
    "0x3100\n",
    "name = s\nline = 9600 8E1\nboot-loader = 0x90\nflash = 0x1100 0xEF00 0x100\n"
    "bsl = family 1xx chip 0xF149 version 1.10 reset 0x1100\n",
    "name = f\nline = 9600 8E1\nboot-loader = Q\nflash = 0x1800 0x200 128\nflash = 0x5C00 0x40000 512\n"
    "bsl = family 5xx chip 0x5438 version 1.00 reset 0x5C00\n",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const auto parsed = sim::ProfileReader::Parse(kProfiles[data[0] % 3], "fuzz");
  if (!parsed.Ok()) std::abort();
  sim::InstrumentProfile profile = parsed.profile;
  sim::FlashMemory flash;
  for (const auto& r : profile.flash) flash.AddRegion(r);
  sim::PreloadBslFirmware(profile.bsl, flash);
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::ModelContext context{profile, flash, registry};
  std::unique_ptr<sim::InstrumentModel> model;
  if (data[0] % 3 == 2)
    model = std::make_unique<sim::Bsl5xxModel>(context);
  else
    model = std::make_unique<sim::RomBslModel>(context);
  uint64_t now = 0;
  for (size_t i = 1; i < size; ++i) {
    sim::ModelInput in{data[i], model->Format(), false, false};
    if (data[i] == 0xFE && i + 1 < size) {  // a pause that ends a frame
      now += 100'000;
      in.byte = data[++i];
    }
    model->Receive(in, now);
    if (const auto at = model->NextTick(); at && *at <= now) model->Tick(now);
    now += 1000;
    for (const auto& e : model->TakeEmissions()) {
      if (e.bytes.empty() || e.bytes.size() > 300) std::abort();
    }
    model->TakeSuccessor();
  }
  return 0;
}
