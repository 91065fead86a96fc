#include "sim/model/ModelRegistry.h"

namespace sim {

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
