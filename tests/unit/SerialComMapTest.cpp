// Which device COMn is, UUCP locks, and the termios mapping of the line
// settings (without a device).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/ComMap.h"
#include "platform/posix/PortLock.h"
#include "platform/posix/Termios2.h"

namespace {

namespace fs = std::filesystem;
using platform::posix::ComMap;
using platform::posix::KernelTermios;
using platform::posix::LineSettings;

class SerialComMap : public ::testing::Test {
 protected:
  fs::path root;
  void SetUp() override {
    char tmpl[] = "/tmp/iu-commap-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root = tmpl;
  }
  void TearDown() override { fs::remove_all(root); }

  // A /sys/class/tty entry: with a hardware `device` and, for ttyS, a type.
  void Tty(const std::string& name, bool device, int type = -1) {
    const fs::path e = root / "sys" / name;
    fs::create_directories(e);
    if (device) fs::create_directories(e / "device");
    if (type >= 0) std::ofstream(e / "type") << type << "\n";
  }
};

TEST_F(SerialComMap, DefaultMapNumbersUartsThenUsbThenAcm) {
  Tty("ttyS0", true, 4);
  Tty("ttyS1", true, 0);   // no UART behind it
  Tty("ttyS10", true, 4);  // numeric order, not text order
  Tty("ttyS2", true, 4);
  Tty("ttyUSB1", true);
  Tty("ttyUSB0", true);
  Tty("ttyACM0", true);
  Tty("ttyUSB7", false);  // no hardware
  Tty("tty0", true);      // not a serial port
  // A virtual device does not count.
  fs::create_directories(root / "devices" / "virtual" / "ttyACM1" / "device");
  fs::create_directory_symlink(root / "devices" / "virtual" / "ttyACM1", root / "sys" / "ttyACM1");

  const ComMap map = ComMap::Default((root / "sys").string(), "/dev");
  const auto entries = map.DefaultEntries();
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(map.Path(1), "/dev/ttyS0");
  EXPECT_EQ(map.Path(2), "/dev/ttyS2");
  EXPECT_EQ(map.Path(3), "/dev/ttyS10");
  EXPECT_EQ(map.Path(4), "/dev/ttyUSB0");
  EXPECT_EQ(map.Path(5), "/dev/ttyUSB1");
  EXPECT_EQ(map.Path(6), "/dev/ttyACM0");
  EXPECT_EQ(map.Path(7), "");
  EXPECT_EQ(map.Path(0), "");
}

TEST_F(SerialComMap, FolderMapUsesItsComEntriesAndFindsNewOnes) {
  const fs::path folder = root / "ports";
  fs::create_directories(folder);
  fs::create_symlink("/dev/null", folder / "COM12");
  const ComMap map = ComMap::Folder(folder.string());
  EXPECT_EQ(map.Path(12), (folder / "COM12").string());
  EXPECT_EQ(map.Path(1), "");
  EXPECT_EQ(map.Path(257), "");
  fs::create_symlink("/dev/pts/nowhere", folder / "COM200");  // dangling links count: the open tells
  EXPECT_EQ(map.Path(200), (folder / "COM200").string());
  EXPECT_TRUE(map.DefaultEntries().empty());
}

TEST_F(SerialComMap, UucpLocksOfLiveProcessesHoldTheDevice) {
  const fs::path locks = root / "lock";
  fs::create_directories(locks);
  EXPECT_FALSE(platform::posix::HeldByUucpLock("/dev/ttyUSB0", locks.string()));
  std::ofstream(locks / "LCK..ttyUSB0") << "      " << ::getppid() << "\n";
  EXPECT_TRUE(platform::posix::HeldByUucpLock("/dev/ttyUSB0", locks.string()));
  std::ofstream(locks / "LCK..ttyUSB0", std::ios::trunc) << "  " << ::getpid() << "\n";
  EXPECT_FALSE(platform::posix::HeldByUucpLock("/dev/ttyUSB0", locks.string())) << "our own lock";
  std::ofstream(locks / "LCK..ttyUSB0", std::ios::trunc) << "2147483000\n";
  EXPECT_FALSE(platform::posix::HeldByUucpLock("/dev/ttyUSB0", locks.string())) << "stale lock";
  std::ofstream(locks / "LCK..ttyUSB0", std::ios::trunc) << "garbage";
  EXPECT_FALSE(platform::posix::HeldByUucpLock("/dev/ttyUSB0", locks.string()));
}

TEST(SerialTermios, LineSettingsSurviveTheTermiosRoundTrip) {
  const struct {
    uint32_t baud;
    uint8_t bits, parity, stop;
    bool rtsCts, xon;
  } cases[] = {
      {4800, 8, 0, 2, false, false},   {9600, 7, 2, 0, false, true},   {19200, 8, 1, 0, true, false},
      {128000, 8, 3, 0, false, false}, {256000, 8, 4, 2, false, true}, {1200, 5, 0, 0, false, false},
  };
  for (const auto& c : cases) {
    LineSettings s;
    s.baud = c.baud;
    s.dataBits = c.bits;
    s.parity = c.parity;
    s.stopBits = c.stop;
    s.rtsCts = c.rtsCts;
    s.obeyXonXoff = c.xon;
    KernelTermios t;
    t.Apply(s);
    const LineSettings d = t.Decode();
    EXPECT_EQ(d.baud, c.baud);
    EXPECT_EQ(d.dataBits, c.bits);
    EXPECT_EQ(d.parity, c.parity) << c.baud;
    EXPECT_EQ(d.stopBits, c.stop);
    EXPECT_EQ(d.rtsCts, c.rtsCts);
    EXPECT_EQ(d.obeyXonXoff, c.xon);
    EXPECT_EQ(d.xon, 0x11);
    EXPECT_EQ(d.xoff, 0x13);
  }
  LineSettings half;
  half.stopBits = 1;  // 1.5 stop bits go out as 2
  KernelTermios t;
  t.Apply(half);
  EXPECT_EQ(t.Decode().stopBits, 2);
}

}  // namespace
