// Whole downloads through the ROM bootstrap loader in virtual time: the
// programmer on a TComPort, over the simulated line, against the instrument
// models (ASCII request half, then the loader).
#include <gtest/gtest.h>

#include "BslRunHarness.h"
#include "programmers/T_BSL430.h"
#include "sim/bsl/RomBslModel.h"

namespace {

using bsltest::FlashHolds;
using bsltest::Pattern;
using bsltest::TestWindow;
using bsltest::TiTxt;
using bsltest::Vectors;
using programmers::ProgrammerRecord;
using programmers::T_BSL430;
using sim::RomBslModel;

// 2xx meter with 60 KiB flash, loader 1.61 (takes 38400 baud), its old
// firmware starting at 0xC000.
const char* const k2xxProfile =
    "name = m2xx\nline = 4800 8N1\npcb = 22074.001\ndevice = 23010.000\nversion = 1.00\nserial = 1\n"
    "loader = rom-bsl after 5588\n"
    "flash = 0x1000 0x100 64\nflash = 0x1100 0x100 0x100\nflash = 0x1200 0xEE00 512\n"
    "bsl = family 2xx chip 0xF237 version 1.61 reset 0xC000\n";

const std::vector<uint8_t> kInfo = Pattern(32, 1);
const std::vector<uint8_t> kCode = Pattern(600, 2);

std::string Image2xx() { return TiTxt({{0x1080, kInfo}, {0xC000, kCode}, {0xFFE0, Vectors(0xC000)}}); }

// The loader model's commands as "CMD@ADDRESS/BAUD", for order checks.
std::vector<std::string> Trace(const sim::Instrument& instrument) {
  std::vector<std::string> out;
  for (const auto& model : instrument.History()) {
    const auto* bsl = dynamic_cast<const RomBslModel*>(model.get());
    if (!bsl) continue;
    for (const auto& c : bsl->Commands()) {
      char text[40];
      std::snprintf(text, sizeof text, "%02X@%X/%u%s", c.command, static_cast<unsigned>(c.address),
                    static_cast<unsigned>(c.baud), c.acknowledged ? "" : " NAK");
      out.push_back(text);
    }
  }
  return out;
}

const RomBslModel* LoaderOf(const sim::Instrument& instrument) {
  for (const auto& model : instrument.History()) {
    if (const auto* bsl = dynamic_cast<const RomBslModel*>(model.get())) return bsl;
  }
  return nullptr;
}

struct BslRun {
  TestWindow window;
  ProgrammerRecord record;
  sim::Instrument* instrument = nullptr;

  BslRun(const std::string& profile, const std::string& image) {
    instrument = &window.Connect(bsltest::Profile(profile), serial::B__4800);
    window.WriteFile("FW.TXT", image);
  }
  bool Program(const std::string& file = "fw.txt") {
    T_BSL430 programmer(window, window.delay, record, *window.port);
    const bool ok = programmer.Program(file);
    lastError = programmer.LastError();
    return ok;
  }
  int32_t lastError = -1;
};

TEST(Bsl430Run, TwoXxImageWithoutUpperPart) {
  BslRun run(k2xxProfile, Image2xx());
  run.record.AskResetVector = true;
  ASSERT_TRUE(run.Program());
  EXPECT_TRUE(run.window.boxes.empty());

  const sim::FlashMemory& flash = run.instrument->Flash();
  EXPECT_TRUE(FlashHolds(flash, 0x1080, kInfo));
  EXPECT_TRUE(FlashHolds(flash, 0xC000, kCode));
  EXPECT_TRUE(FlashHolds(flash, 0xFFE0, Vectors(0xC000)));
  // Nothing of the old firmware is left: everything else is erased.
  EXPECT_TRUE(flash.IsErased(0xC000 + 600, 0xFFE0 - 0xC000 - 600));
  EXPECT_TRUE(flash.IsErased(0x1100, 0xC000 - 0x1100));
  EXPECT_EQ(run.record.ResetVector, 0xC000);
  EXPECT_TRUE(run.record.ResetVectorKnown);

  // The request half, then the loader: version and password at 9600, the
  // switch, erase top down to the second block, 0x1080, vector segment
  // before the vector block, writes, reads, start at the reset vector.
  const std::vector<std::string> commands(run.window.log.begin(), run.window.log.end());
  std::vector<std::string> sent;
  for (const auto& line : commands)
    if (line.rfind("A.", 0) == 0 && line.find(" <-") == std::string::npos) sent.push_back(line);
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[0], "A.1000\r\n");
  EXPECT_EQ(sent[1], "A.5577\r\n");
  EXPECT_EQ(sent[2], "A.5588#QT48\r\n");

  const auto trace = Trace(*run.instrument);
  std::vector<std::string> expected{"1E@5858/9600", "10@FFFF/9600", "20@8C80/38400"};
  for (uint32_t a = 0xFC00; a >= 0xC000; a -= 0x200) expected.push_back("16@" + [&] {
    char t[8];
    std::snprintf(t, sizeof t, "%X", a);
    return std::string(t);
  }() + "/38400");
  expected.push_back("16@1080/38400");
  // Blocks: info 0x1080, code 0xC000 0xC0F0 0xC1E0, vectors 0xFFE0.
  expected.push_back("12@1080/38400");
  expected.push_back("12@C000/38400");
  expected.push_back("12@C0F0/38400");
  expected.push_back("12@C1E0/38400");
  expected.push_back("16@FFFF/38400");
  expected.push_back("12@FFE0/38400");
  for (const char* a : {"1080", "C000", "C0F0", "C1E0", "FFE0"}) expected.push_back(std::string("14@") + a + "/38400");
  expected.push_back("1A@C000/38400");
  EXPECT_EQ(trace, expected);
  for (size_t i = 0; i < std::max(trace.size(), expected.size()); ++i)
    if (i >= expected.size() || i >= trace.size() || trace[i] != expected[i])
      ADD_FAILURE() << i << ": " << (i < trace.size() ? trace[i] : "-") << " / " << (i < expected.size() ? expected[i] : "-");
  EXPECT_TRUE(LoaderOf(*run.instrument)->Started());
  // The port is back at the settings it had before the run.
  const auto format = run.window.ports.Line(1)->PortFormat();
  EXPECT_EQ(format.baud, 4800u);
  EXPECT_EQ(format.parity, platform::sim::Parity::None);
  // Progress: reset, maximum, busy, steps, done.
  ASSERT_FALSE(run.window.progress.empty());
  EXPECT_EQ(run.window.progress.front(), std::make_pair(0u, 0));
  EXPECT_EQ(run.window.progress.back(), std::make_pair(1u, 0));
}

}  // namespace
