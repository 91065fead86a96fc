#include "sim/model/InstrumentProfile.h"

#include <algorithm>

namespace sim {

int InstrumentProfile::SearchCommand() const {
  // Family 1 is found with the connect command itself, family 4 with 1131.
  switch (family) {
    case 1:
      return 1000;
    case 4:
      return 1131;
    default:
      return 1111;
  }
}

bool InstrumentProfile::HandsOverToLoader(int command) const {
  if (loader.empty()) return false;
  return command == loaderAfter ||
         std::find(loaderAlsoAfter.begin(), loaderAlsoAfter.end(), command) != loaderAlsoAfter.end();
}

bool InstrumentProfile::TakesFiles() const {
  return std::find(accepted.begin(), accepted.end(), kFileStartCommand) != accepted.end();
}

bool InstrumentProfile::Takes(int command) const {
  if (command == SearchCommand()) return true;
  if (std::find(kBuiltinCommands.begin(), kBuiltinCommands.end(), command) != kBuiltinCommands.end())
    return true;
  if (command == kFileEndCommand && TakesFiles()) return true;
  if ((command == kVectorQuery || command == kVectorQuery2) && !loader.empty()) return true;
  if (HandsOverToLoader(command)) return true;
  return std::find(accepted.begin(), accepted.end(), command) != accepted.end();
}

}  // namespace sim
