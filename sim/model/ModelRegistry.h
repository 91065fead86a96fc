#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/model/InstrumentModel.h"
#include "sim/model/ModelContext.h"

namespace sim {

// Models by name, so a profile can say which model takes the line (the
// application's command protocol, a boot loader, ...).
class ModelRegistry {
 public:
  using Factory = std::function<std::unique_ptr<InstrumentModel>(ModelContext&)>;

  static constexpr const char* kAscii = "ascii";
  static constexpr const char* kBootAnnounce = "boot-announce";
  static constexpr const char* kRomBsl = "rom-bsl";
  static constexpr const char* kBsl5xx = "bsl-5xx";
  // The loaders of the binary images: XMODEM-CRC, EFM hex lines, and the
  // Windows CE file receiver.
  static constexpr const char* kXmodemLoader = "xmodem-loader";
  static constexpr const char* kEfmLoader = "efm-loader";
  static constexpr const char* kWinCeReceiver = "wince-receiver";
  // Every model that takes the line from the instrument's program.
  static constexpr const char* kLoaders[] = {kRomBsl, kBsl5xx, kXmodemLoader, kEfmLoader, kWinCeReceiver};

  // A registry holding every model of sim/: this folder's and the loaders
  // of sim/bsl. Defined in iu_sim_builtins, the library above both, so the
  // model library does not depend on the loaders built on it.
  static ModelRegistry WithBuiltins();

  // Replaces a model of the same name.
  void Register(const std::string& name, Factory factory);
  bool Has(const std::string& name) const { return m_factories.contains(name); }
  // Null for a name nobody registered.
  std::unique_ptr<InstrumentModel> Create(const std::string& name, ModelContext& context) const;
  std::vector<std::string> Names() const;

 private:
  std::map<std::string, Factory> m_factories;
};

}  // namespace sim
