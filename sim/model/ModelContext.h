#pragma once

namespace sim {

struct InstrumentProfile;
class FlashMemory;
class ModelRegistry;

// What every model of one instrument shares. Owned by the Instrument, which
// outlives its models.
struct ModelContext {
  const InstrumentProfile& profile;
  FlashMemory& flash;
  const ModelRegistry& registry;
};

}  // namespace sim
