// The XMODEM loader model takes whatever instrument-sim's pseudo-terminal
// delivers: it must not crash, answers stay short, and what it stores is
// whole packets within its store.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "sim/model/ModelRegistry.h"
#include "sim/model/ProfileReader.h"
#include "sim/xmodem/XmodemLoaderModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* const versions[] = {"1.06", "1.05"};
  const auto parsed = sim::ProfileReader::Parse(
      std::string("name = x\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n"
                  "loader = xmodem-loader after 1250 1256\nxmodem = version ") +
          versions[data[0] & 1] + "\n",
      "fuzz");
  if (!parsed.Ok()) std::abort();
  sim::InstrumentProfile profile = parsed.profile;
  sim::FlashMemory flash;
  const auto registry = sim::ModelRegistry::WithBuiltins();
  sim::ModelContext context{profile, flash, registry};
  auto model = std::make_unique<sim::XmodemLoaderModel>(context);
  model->TakeHandOver((data[0] & 2) ? 1256 : 1250, (data[0] & 4) ? "3" : "7");
  uint64_t now = 0;
  for (size_t i = 1; i < size; ++i) {
    sim::ModelInput in{data[i], model->Format(), false, false};
    if (data[i] == 0xFE && i + 1 < size) {  // a pause
      now += 1'500'000;
      in.byte = data[++i];
    } else if (data[i] == 0xFD && i + 1 < size) {  // a character at another rate
      in.byte = data[++i];
      in.sentAt.baud = in.sentAt.baud == 9600 ? 115200 : 9600;
    }
    if (const auto at = model->NextTick(); at && *at <= now) model->Tick(now);
    model->Receive(in, now);
    now += 100;
    for (const auto& e : model->TakeEmissions()) {
      if (e.bytes.empty() || e.bytes.size() > 64) std::abort();
    }
    if (model->Image().size() % 128 != 0 || model->Image().size() > sim::XmodemLoaderModel::kCapacity)
      std::abort();
    if (model->TakeSuccessor()) break;  // the instrument's program has the line
  }
  return 0;
}
