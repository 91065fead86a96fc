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

}  // namespace sim
