// Whole downloads from OK to the success text: the TI-TXT hand-over to the
// MSP430 bootstrap loaders, the finish (air pressure and closing commands),
// and the failures that end in the abort text and a retry on OK.
#include <algorithm>
#include <functional>

#include "TiTxtImages.h"
#include "UpdateRunFixture.h"
#include "sim/bsl/RomBslModel.h"
#include "sim/model/ModelRegistry.h"

namespace runtest {
namespace {

using Strings = std::vector<std::string>;
using Section = testing_support::ImageSection;
using testing_support::FlashHoldsImage;
using testing_support::Pattern;
using testing_support::TiTxt;

constexpr const char* kSuccessEnglish = "Download successfully completed !";
constexpr const char* kAbortEnglish = "No instrument.";

// The image of a 2xx meter, version 1.01: the version block where the key
// "@FF00" finds it, code at 0xC000 and the reset vector.
std::vector<Section> MeterImage(uint32_t code = 0xC000, size_t codeSize = 600) {
  return {{0xFF00, {'1', '.', '0', '1', 0, 0xFF}},
          {code, Pattern(codeSize, 7)},
          {0xFFFE, {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)}}};
}

EntrySpec MeterEntry(const std::string& deviceNr = "23080") {
  EntrySpec e;
  e.deviceNrDef = "22150";
  e.deviceNr = deviceNr;
  e.deviceName = "MSP Meter";
  e.progFile2 = "MSP2XX.TXT";
  e.swKenn2 = "@FF00\\r\\n";
  e.flashErase2 = "";
  e.flashErase3 = "";
  return e;
}

class UpdateHandOverTest : public UpdateRunTest {
 protected:
  // The shipped models, with the ROM loader handed to onLoader as it takes
  // the line (to plant faults).
  sim::ModelRegistry FaultRegistry() {
    sim::ModelRegistry registry = sim::ModelRegistry::WithBuiltins();
    const sim::ModelRegistry plain = sim::ModelRegistry::WithBuiltins();
    registry.Register(sim::ModelRegistry::kRomBsl, [this, plain](sim::ModelContext& c) {
      auto model = plain.Create(sim::ModelRegistry::kRomBsl, c);
      if (onLoader) onLoader(*model);
      return model;
    });
    return registry;
  }

  // Runs until the OK button is free again or the window has shown the
  // success text; at most `seconds` of virtual time.
  void RunToEnd(int seconds = 300) {
    for (int i = 0; i < seconds * 2; ++i) {
      Run(500);
      if (m_view.Enabled(Control::OkBitBtn) || !MemoContaining(kSuccessEnglish).empty()) break;
    }
    Run(5000);
  }

  // The commands the instrument's program took after the loader started it.
  Strings CommandsAfterRestart(sim::Instrument& instrument) {
    const sim::AsciiModel* last = nullptr;
    for (const auto& model : instrument.History()) {
      if (auto* ascii = dynamic_cast<const sim::AsciiModel*>(model.get())) last = ascii;
    }
    if (auto* ascii = dynamic_cast<const sim::AsciiModel*>(&instrument.Model())) last = ascii;
    return last ? last->Commands() : Strings{};
  }

  std::function<void(sim::InstrumentModel&)> onLoader;
  // COM 2 carries instruments whose loader gets faults planted.
  sim::SimInstrumentRack m_faultRack{m_ports, m_host.Time(), FaultRegistry()};
};

TEST_F(UpdateHandOverTest, A2xxImageWithoutUpperPartReachesTheSuccessText) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  sim::Instrument& meter = Place(1, "msp430-2xx-meter");
  update::TUpdateForm& form = Start("Language=1\r\n", {MeterEntry()});
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_EQ(MemoContaining("Disconnect the MSP Meter from the COM 1 port.").size(), 1u);
  EXPECT_TRUE(MemoContaining(kAbortEnglish).empty());
  EXPECT_TRUE(m_view.boxes.empty());
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
  EXPECT_EQ(Commands(1), (Strings{"A.1111", "A.1000", "A.2003", "A.2000", "A.2001", "A.4001", "A.1000",
                                  "A.5577", "A.5588#QT48"}));
  EXPECT_EQ(CommandsAfterRestart(meter), (Strings{"A.1121"})) << "the closing command once";
  EXPECT_EQ(Caption(Control::SWStaticText), "1.01");
  EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
  EXPECT_GE(form.IdentStep(), 8);
  EXPECT_EQ(form.ProgressPosition(), 0);
  EXPECT_EQ(MemoContaining("The download may last up to 2 minutes !").size(), 1u);
}

TEST_F(UpdateHandOverTest, ABarometricInstrumentGetsItsAirPressureAfterTheDownload) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  sim::InstrumentProfile baro = sim::LoadShippedProfile("msp430-2xx-meter");
  baro.device = "28101.000";  // from version 1.02 on it takes A.6162
  baro.version = "1.00";
  baro.serial = "14111108";  // 961.7 hPa
  baro.accepted.push_back(6162);
  sim::Instrument& meter = Place(1, baro);
  update::TUpdateForm& form = Start("Language=1\r\n", {MeterEntry("28101")});
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
  // The pressure, then the closing command three times in all.
  EXPECT_EQ(CommandsAfterRestart(meter), (Strings{"A.1000", "A.6162#961.7", "A.1121", "A.1121", "A.1121"}));
  EXPECT_EQ(form.AirPressureIndex(), -1);
}

TEST_F(UpdateHandOverTest, APasswordNakedFourTimesAbortsAndTheRetryOnOkSucceeds) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  onLoader = [](sim::InstrumentModel& m) {
    if (auto* bsl = dynamic_cast<sim::RomBslModel*>(&m)) bsl->NakNext(0x10, 4);
  };
  sim::Instrument& meter = m_faultRack.Place(2, sim::LoadShippedProfile("msp430-2xx-meter"));
  Start("Language=1\r\n", {MeterEntry()});
  PressOk();
  RunToEnd();
  ASSERT_EQ(MemoContaining(kAbortEnglish).size(), 1u);
  EXPECT_TRUE(MemoContaining(kSuccessEnglish).empty());
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_FALSE(m_view.Visible(Control::WaitPanel));
  ASSERT_EQ(m_view.boxes.size(), 1u);
  EXPECT_EQ(m_view.boxes[0].text, "Error in bootloader !!  Programming abort.");

  onLoader = nullptr;
  PressOk();  // the instrument is still in its loader
  EXPECT_FALSE(m_view.Enabled(Control::OkBitBtn));
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_EQ(MemoContaining("Store new data !!").size(), 1u);
  EXPECT_TRUE(MemoContaining(kAbortEnglish).empty()) << "the retry clears the log";
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
}

TEST_F(UpdateHandOverTest, AFirmwareFileThatCannotBeOpenedEndsInTheAbortTextAndRetriesAgain) {
  const auto image = MeterImage();
  m_folder.Write("MSP2XX.TXT", TiTxt(image));
  onLoader = [](sim::InstrumentModel& m) {
    if (auto* bsl = dynamic_cast<sim::RomBslModel*>(&m)) bsl->NakNext(0x10, 4);
  };
  sim::Instrument& meter = m_faultRack.Place(2, sim::LoadShippedProfile("msp430-2xx-meter"));
  Start("Language=1\r\n", {MeterEntry()});
  PressOk();
  RunToEnd();
  ASSERT_EQ(MemoContaining(kAbortEnglish).size(), 1u);

  // The retry finds no file: it fails before anything is sent, visibly.
  const std::string file = (m_folder.Path() / "MSP2XX.TXT").string();
  std::filesystem::rename(file, file + ".away");
  const size_t boxes = m_view.boxes.size();
  PressOk();
  RunToEnd();
  ASSERT_EQ(MemoContaining(kAbortEnglish).size(), 1u);
  EXPECT_TRUE(m_view.Enabled(Control::OkBitBtn));
  EXPECT_FALSE(m_view.Visible(Control::WaitPanel)) << "never stuck behind the wait panel";
  EXPECT_GT(m_view.boxes.size(), boxes) << "the file error is shown";

  // And the next retry, with the file back, programs the instrument.
  std::filesystem::rename(file + ".away", file);
  PressOk();
  RunToEnd();
  EXPECT_EQ(MemoContaining(kSuccessEnglish).size(), 1u);
  EXPECT_TRUE(FlashHoldsImage(meter.Flash(), image));
}

TEST_F(UpdateHandOverTest, AnswerThirtySetsTheClockInSecondsSinceTheLastDayOf2002) {
  // 1 January 2003 12:00 local time: one and a half days.
  sim::InstrumentProfile p = sim::LoadShippedProfile("ph-meter");
  p.specials.push_back(sim::SpecialAnswer{30, "", 1000, 0, 1});
  Place(1, p);
  m_folder.Write("PH_METER.TXT", TextFirmware("1.24"));
  m_folder.Write("Update.ini", "Language=1\r\n");
  m_folder.Write("ProgDevice.ini", PhMeterEntry().Block() + kTextBlock);
  update::UpdateEnvironment environment = testing_support::MakeEnvironment(m_folder.Path());
  environment.localDayNumber = [] { return 37622.5; };
  m_form = std::make_unique<update::TUpdateForm>(m_host, m_ports, m_view, environment);
  ASSERT_TRUE(m_form->FormCreate());
  PressOk();
  Run(2500);
  const Strings commands = Commands(1);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "A.1600#129600"), commands.end());
}

}  // namespace
}  // namespace runtest
