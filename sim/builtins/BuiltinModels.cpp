#include "sim/bsl/Bsl5xxModel.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/efm/EfmLoaderModel.h"
#include "sim/model/AsciiModel.h"
#include "sim/model/BootAnnounceModel.h"
#include "sim/model/ModelRegistry.h"
#include "sim/wince/WinCeReceiverModel.h"
#include "sim/xmodem/XmodemLoaderModel.h"

namespace sim {

ModelRegistry ModelRegistry::WithBuiltins() {
  ModelRegistry registry;
  registry.Register(kAscii, [](ModelContext& c) { return std::make_unique<AsciiModel>(c); });
  registry.Register(kBootAnnounce, [](ModelContext& c) { return std::make_unique<BootAnnounceModel>(c); });
  registry.Register(kRomBsl, [](ModelContext& c) { return std::make_unique<RomBslModel>(c); });
  registry.Register(kBsl5xx, [](ModelContext& c) { return std::make_unique<Bsl5xxModel>(c); });
  registry.Register(kWinCeReceiver, [](ModelContext& c) { return std::make_unique<WinCeReceiverModel>(c); });
  registry.Register(kXmodemLoader, [](ModelContext& c) { return std::make_unique<XmodemLoaderModel>(c); });
  registry.Register(kEfmLoader, [](ModelContext& c) { return std::make_unique<EfmLoaderModel>(c); });
  return registry;
}

}  // namespace sim
