// Whole XMODEM loader runs in virtual time: the programmer on a TComPort,
// over the simulated line, against the instrument's program and the loader
// model; what the loader stored is compared with the file byte for byte.
#include <gtest/gtest.h>

#include "XmodemRunHarness.h"
#include "core/EventCodes.h"
#include "sim/model/AsciiModel.h"

namespace {

using namespace xmodemtest;

const char* const kNotAvailable = "Error: bootloader in target not available!!  Programming abort.";

// What the loader must hold for a file of 1000 bytes: the file, 18 bytes of
// fill, the covered length 1018 (0x3FA) and the CRC; 8 packets.
void ExpectStored(const XmodemRun& run, const std::string& file, size_t total, uint32_t covered) {
  ASSERT_NE(run.loader, nullptr);
  const std::vector<uint8_t>& image = run.loader->Image();
  ASSERT_EQ(image.size(), total);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin(),
                         [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
  for (size_t i = file.size(); i < covered; ++i) ASSERT_EQ(image[i], 0xFF) << i;
  EXPECT_EQ(image[covered] | image[covered + 1] << 8 | image[covered + 2] << 16 | image[covered + 3] << 24,
            static_cast<int>(covered));
  EXPECT_TRUE(run.loader->ImageValid());
  // Every packet was taken once and acknowledged once.
  EXPECT_EQ(run.loader->AckCounts(), std::vector<int>(total / 128, 1));
  EXPECT_EQ(run.loader->NakCount(), 0);
}

TEST(XmodemRun, MeterTakesTheImageAndStartsIt) {
  const std::string file = FileOf(1000);
  XmodemRun run(MeterProfile("1.06"), file);
  ASSERT_TRUE(run.Program(0));
  EXPECT_TRUE(run.window.boxes.empty());
  ExpectStored(run, file, 1024, 1018);
  EXPECT_TRUE(run.loader->Started());
  EXPECT_EQ(run.loader->Baud(), 115200u);
  EXPECT_TRUE(run.usedCode);
  EXPECT_EQ(run.window.versionField, "   [BLV: 1.06]");
  // The port is given back at the instrument's rate, and nothing stays subscribed.
  EXPECT_EQ(run.window.ports.Line(1)->PortFormat().baud, 4800u);
  EXPECT_EQ(run.window.queue.HandlerCount(), 1u);
}

TEST(XmodemRun, OldLoaderWithoutCodeAtTheSlowRateInModeOne) {
  const std::string file = FileOf(122, 7);  // fill of a whole packet: 2 packets
  XmodemRun run(MeterProfile("1.05"), file);
  run.record.KeepSlowRate[0] = true;
  run.record.RestoreSlowParameters = true;
  ASSERT_TRUE(run.Program(1));
  ExpectStored(run, file, 256, 250);
  EXPECT_EQ(run.loader->Baud(), 9600u);
  EXPECT_FALSE(run.usedCode);
  EXPECT_TRUE(run.loader->Started());
  // After success the port stays at the instruments' slow settings.
  EXPECT_EQ(run.window.ports.Line(1)->PortFormat().baud, 9600u);
  EXPECT_EQ(run.window.ports.Line(1)->PortFormat().stopBits, platform::sim::StopBits::Two);
}

TEST(XmodemRun, SensorBehindTheInstrumentInModeTwo) {
  const std::string file = FileOf(300 * 128 + 5, 3);  // 301 packets: block numbers wrap
  XmodemRun run(MeterProfile("1.20"), file);
  ASSERT_TRUE(run.Program(2));
  ExpectStored(run, file, 301 * 128, 301 * 128 - 6);
  EXPECT_TRUE(run.loader->Started());
  const auto sent = bsltest::SentCommands(run.window.log);
  EXPECT_EQ(sent, std::vector<std::string>{"A.2051\r\n"});
}

TEST(XmodemRun, ChipIdImageInModeOneGoesThroughTheSensor) {
  XmodemRun run(MeterProfile("1.06"), FileOf(10));
  run.record.ImageByChipId = true;
  ASSERT_TRUE(run.Program(1));
  EXPECT_TRUE(run.loader->Started());
  const auto* ascii = dynamic_cast<const sim::AsciiModel*>(run.instrument->History().front().get());
  ASSERT_NE(ascii, nullptr);
  EXPECT_TRUE(ascii->LastParameter(1256).has_value());
}

// The failures: each ends with one box, Program false, the firmware not
// started and no handler left behind.
struct Failure {
  const char* name;
  std::string extraProfile;  // or, starting with "name", the whole profile
  std::function<void(XmodemRun&)> arrange;
  std::string box;
};

void PrintTo(const Failure& f, std::ostream* os) {
  *os << f.name;
}

class XmodemFailure : public testing::TestWithParam<Failure> {};

TEST_P(XmodemFailure, EndsWithOneBox) {
  const Failure& f = GetParam();
  XmodemRun run(f.extraProfile.rfind("name", 0) == 0 ? f.extraProfile : MeterProfile("1.06", f.extraProfile),
                FileOf(2000));
  if (f.arrange) f.arrange(run);
  const bool ok = run.Program(0);
  EXPECT_FALSE(ok);
  ASSERT_EQ(run.window.boxes.size(), 1u);
  EXPECT_EQ(run.window.boxes[0], f.box);
  if (run.loader) {
    EXPECT_FALSE(run.loader->Started());
  }
  EXPECT_EQ(run.window.queue.HandlerCount(), 1u);
  // Bounded: nothing waits much longer than the 10 s slot after the last answer.
  EXPECT_LT(run.window.host.Time().TickCount(), 60000u);
}

const std::string kLost =
    "Error: The connection to the instrument on COM1 was lost (cable or USB adapter unplugged?). "
    "Reconnect the instrument and restart the download with Ok.";

INSTANTIATE_TEST_SUITE_P(
    Runs, XmodemFailure,
    testing::Values(
        Failure{"SilentInstrument", "silent-from = 1000\n", nullptr, kNotAvailable},
        Failure{"InstrumentWithoutLoader",
                "name = plain\nline = 4800 8N1\npcb = 1\ndevice = 2\nversion = 1.00\nserial = 3\n", nullptr,
                kNotAvailable},
        Failure{"SilentLoader", "silent-from = 2051\n", nullptr, kNotAvailable},
        Failure{"SilentDuringTheTransfer", "",
                [](XmodemRun& r) { r.plant = [](sim::XmodemLoaderModel& m) { m.SilentAfterPackets(5); }; },
                kNotAvailable},
        Failure{"SilentAfterTheLastPacket", "",
                [](XmodemRun& r) { r.plant = [](sim::XmodemLoaderModel& m) { m.SilentAfterPackets(16); }; },
                kNotAvailable},
        Failure{"NakStorm", "",
                [](XmodemRun& r) { r.plant = [](sim::XmodemLoaderModel& m) { m.NakEveryPacket(); }; },
                "Error: The instrument did not take data packet 1 after it was sent 11 times.  "
                "Programming abort."},
        Failure{"Escape", "",
                [](XmodemRun& r) {
                  r.At(5000, [&r] {
                    r.window.queue.PostKey(core::keys::kEscape);
                    r.window.DrainEvents();
                  });
                },
                kNotAvailable},
        Failure{"LineDroppedByTheLoader", "drop-at = 2051\n", nullptr, kLost},
        Failure{"CablePulledDuringTheTransfer", "",
                [](XmodemRun& r) { r.At(3500, [&r] { r.window.ports.Line(1)->Disconnect(); }); }, kLost}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

TEST(XmodemRun, AWrongCrcReportFailsAndDoesNotStart) {
  XmodemRun run(MeterProfile("1.06"), FileOf(2000));
  run.plant = [](sim::XmodemLoaderModel& m) { m.ReportWrongCrc(); };
  EXPECT_FALSE(run.Program(0));
  ASSERT_EQ(run.window.boxes.size(), 1u);
  // The file's CRC and the reported one (off by 0x5A5A) are named.
  const std::string& box = run.window.boxes[0];
  EXPECT_NE(box.find("The instrument reports the checksum"), std::string::npos) << box;
  EXPECT_FALSE(run.loader->Started());
  EXPECT_TRUE(run.loader->ImageValid());  // the image itself arrived whole
}

TEST(XmodemRun, ANakStormRepeatsEachPacketTenTimesAtMost) {
  XmodemRun run(MeterProfile("1.06"), FileOf(2000));
  run.plant = [](sim::XmodemLoaderModel& m) { m.NakEveryPacket(); };
  EXPECT_FALSE(run.Program(0));
  EXPECT_EQ(run.loader->NakCount(), 11);
  EXPECT_TRUE(run.loader->Image().empty());
}

TEST(XmodemRun, AFileTooLargeIsRefusedBeforeAnythingIsSent) {
  // 11718 packets fit in 1,500,000 bytes: a file of 11718 * 128 - 7 bytes at most.
  XmodemRun run(MeterProfile("1.06"), std::string(1499898, '\x11'));
  EXPECT_FALSE(run.Program(0));
  ASSERT_EQ(run.window.boxes.size(), 1u);
  EXPECT_EQ(run.window.boxes[0], "Error: The firmware file fw.bin is too large (at most 1499897 bytes).");
  for (const auto& op : run.window.recording.operations) EXPECT_NE(op.what, "write");
  EXPECT_EQ(run.window.queue.HandlerCount(), 1u);
}

TEST(XmodemRun, TheLargestFileFits) {
  const std::string file = FileOf(1499897, 9);
  XmodemRun run(MeterProfile("1.06"), file);
  ASSERT_TRUE(run.Program(0));
  ExpectStored(run, file, 1499904, 1499898);
}

}  // namespace
