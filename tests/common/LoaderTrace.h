// What the simulated MSP430 loaders of an instrument were sent, one list per
// loader session, for checks of the command order through a whole run.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "sim/bsl/Bsl5xxModel.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/model/Instrument.h"

namespace testing_support {

// Each entry "CMD@ADDRESS/BAUD" in hex (baud decimal), with " NAK" for a
// refused ROM-loader frame and " status N" for a 5xx message other than OK.
// The models read a frame only at 8E1 and their own rate, so the baud of
// an entry is also the line setting the tool had when it sent it.
inline std::vector<std::vector<std::string>> LoaderSessions(const sim::Instrument& instrument) {
  std::vector<std::vector<std::string>> sessions;
  auto entry = [](unsigned command, uint32_t address, uint32_t baud) {
    std::ostringstream out;
    out << std::uppercase << std::hex << (command < 16 ? "0" : "") << command << '@' << address << '/'
        << std::dec << baud;
    return out.str();
  };
  for (const auto& model : instrument.History()) {
    if (const auto* rom = dynamic_cast<const sim::RomBslModel*>(model.get())) {
      auto& session = sessions.emplace_back();
      for (const auto& c : rom->Commands())
        session.push_back(entry(c.command, c.address, c.baud) + (c.acknowledged ? "" : " NAK"));
    } else if (const auto* five = dynamic_cast<const sim::Bsl5xxModel*>(model.get())) {
      auto& session = sessions.emplace_back();
      for (const auto& c : five->Commands()) {
        const bool failed = c.status != 0 && c.status != 0xFF;
        session.push_back(entry(c.command, c.address, c.baud) +
                          (failed ? " status " + std::to_string(c.status) : ""));
      }
    }
  }
  return sessions;
}

// The entries of a session whose command byte is one of `commands` ("16", "12").
inline std::vector<std::string> OnlyCommands(const std::vector<std::string>& session,
                                             const std::vector<std::string>& commands) {
  std::vector<std::string> out;
  for (const std::string& e : session) {
    for (const std::string& c : commands)
      if (e.compare(0, c.size() + 1, c + "@") == 0) out.push_back(e);
  }
  return out;
}

// "CMD@ADDRESS/BAUD" for a run of segments from `from` down to `to` (both
// included) in steps of `step`.
inline std::vector<std::string> SegmentRun(const std::string& command, uint32_t from, uint32_t to,
                                           uint32_t baud, uint32_t step = 0x200) {
  std::vector<std::string> out;
  for (uint32_t a = from; a >= to && a <= from; a -= step) {
    std::ostringstream text;
    text << command << '@' << std::uppercase << std::hex << a << '/' << std::dec << baud;
    out.push_back(text.str());
  }
  return out;
}

}  // namespace testing_support
