// The XMODEM loader on the test window in virtual time, against the
// instrument's program and its loader model.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "BslRunHarness.h"
#include "programmers/T_EMFLoader.h"
#include "sim/xmodem/XmodemLoaderModel.h"

namespace xmodemtest {

// A meter at 4800 baud whose loader (version `version`) is entered by the
// mode's request.
inline std::string MeterProfile(const std::string& version, const std::string& extra = "") {
  return "name = xm\nline = 4800 8N1\npcb = 22300.001\ndevice = 23300.000\nversion = 1.00\nserial = 7\n"
         "loader = xmodem-loader after 1250 1255 1256\nxmodem = version " +
         version + "\n" + extra;
}

// Bytes 0..n-1 of a pattern that is no fill.
inline std::string FileOf(size_t n, uint32_t seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 16);
  }
  return s;
}

struct XmodemRun {
  bsltest::TestWindow window;
  programmers::ProgrammerRecord record;
  sim::Instrument* instrument = nullptr;
  sim::XmodemLoaderModel* loader = nullptr;  // the last one that took the line
  std::function<void(sim::XmodemLoaderModel&)> plant;
  bool usedCode = false;

  XmodemRun(const std::string& profile, const std::string& file) {
    window.onLoader = [this](sim::InstrumentModel& m) {
      loader = dynamic_cast<sim::XmodemLoaderModel*>(&m);
      if (loader && plant) plant(*loader);
    };
    instrument = &window.Connect(bsltest::Profile(profile), serial::B__4800);
    window.WriteFile("FW.BIN", file);
  }
  bool Program(int32_t mode = 0, const std::string& name = "fw.bin") {
    programmers::T_EMFLoader programmer(window, window.delay, record, *window.port);
    const bool ok = programmer.Program(mode, name, false);
    usedCode = programmer.UseCodeSuffix();
    return ok;
  }
  // Schedules `action` on the window's thread `ms` into the run.
  void At(uint32_t ms, std::function<void()> action) {
    auto& time = window.host.Time();
    time.ScheduleAfter(uint64_t{ms} * 1000, [&time, action] { time.Post(action); });
  }
};

}  // namespace xmodemtest
