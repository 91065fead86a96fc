#include "sim/model/ModelRegistry.h"

#include "sim/bsl/Bsl5xxModel.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/model/AsciiModel.h"
#include "sim/model/BootAnnounceModel.h"

namespace sim {

ModelRegistry ModelRegistry::WithBuiltins() {
  ModelRegistry registry;
  registry.Register(kAscii, [](ModelContext& c) { return std::make_unique<AsciiModel>(c); });
  registry.Register(kBootAnnounce, [](ModelContext& c) { return std::make_unique<BootAnnounceModel>(c); });
  registry.Register(kRomBsl, [](ModelContext& c) { return std::make_unique<RomBslModel>(c); });
  registry.Register(kBsl5xx, [](ModelContext& c) { return std::make_unique<Bsl5xxModel>(c); });
  return registry;
}

void ModelRegistry::Register(const std::string& name, Factory factory) {
  m_factories[name] = std::move(factory);
}

std::unique_ptr<InstrumentModel> ModelRegistry::Create(const std::string& name, ModelContext& context) const {
  const auto it = m_factories.find(name);
  return it == m_factories.end() ? nullptr : it->second(context);
}

std::vector<std::string> ModelRegistry::Names() const {
  std::vector<std::string> names;
  for (const auto& [name, factory] : m_factories) names.push_back(name);
  return names;
}

}  // namespace sim
