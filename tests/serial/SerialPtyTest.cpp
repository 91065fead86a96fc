// The serial component on real pseudo-terminals with its real reader and
// writer threads.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/DebugLog.h"
#include "platform/posix/PosixPortSystem.h"
#include "platform/posix/Termios2.h"
#include "serial/PtyPair.h"
#include "serial/TComPort.h"
#include "serial/ThreadPump.h"

namespace {

using namespace std::chrono_literals;
using platform::posix::ComMap;
using platform::posix::PosixPortSystem;
using serial::TComPort;
using serialtest::PtyPair;
using serialtest::ThreadPump;
using Clock = std::chrono::steady_clock;

// Error totals a test can raise while the reader runs.
struct FakeTotals {
  std::atomic<uint32_t> frame{0}, overrun{0}, parity{0}, brk{0};
};

class FakeCounter final : public platform::posix::LineErrorCounter {
 public:
  explicit FakeCounter(FakeTotals& totals) : m_totals(totals) {}
  bool Sample(platform::posix::LineErrorCounts& c) override {
    c.frame = m_totals.frame;
    c.overrun = m_totals.overrun;
    c.parity = m_totals.parity;
    c.brk = m_totals.brk;
    return true;
  }

 private:
  FakeTotals& m_totals;
};

class SerialPty : public ::testing::Test, public serial::V24Listener {
 protected:
  PtyPair pty{3};
  PosixPortSystem ports{ComMap::Folder(pty.Folder())};
  ThreadPump pump;
  std::vector<uint32_t> messages;  // owner's thread only
  std::vector<std::string> boxes;

  void OnV24Message(uint32_t message, uint32_t com) override {
    EXPECT_EQ(com, 3u);
    messages.push_back(message);
  }
  int Count(uint32_t message) const {
    int n = 0;
    for (uint32_t m : messages) n += m == message ? 1 : 0;
    return n;
  }
  bool WaitCount(uint32_t message, int count, std::chrono::milliseconds timeout = 3000ms) {
    return pump.PumpUntil([&] { return Count(message) >= count; }, timeout);
  }

  std::unique_ptr<TComPort> MakePort(serial::HandshakeTag handshake = serial::NoHandshake) {
    auto port = std::make_unique<TComPort>(ports, pump);
    port->SetErrorBox([this](const std::string& text) { boxes.push_back(text); });
    serial::V24ParameterTag* r = port->GetV24Parameter();
    r->DatenBits = serial::D_8;
    r->StopBits = serial::S_2;
    r->Baudrate = serial::B__4800;
    r->Handshake = handshake;
    r->RXTimeOutproChar = 1;
    r->TXTimeOut = 10000;
    r->TXTimeOutproChar = 1;
    r->KeinNullZeichen = 1;
    return port;
  }
  std::unique_ptr<TComPort> OpenPort(serial::HandshakeTag handshake = serial::NoHandshake) {
    auto port = MakePort(handshake);
    EXPECT_TRUE(port->Open(this, -1 + 3, true)) << (boxes.empty() ? "" : boxes.back());
    return port;
  }
  static std::string ReadText(TComPort& port, uint32_t count = 200) {
    std::vector<char> buffer(count + 1, '\x7f');
    const int32_t n = port.Read(buffer.data(), count);
    return std::string(buffer.data(), n < 0 ? 0 : static_cast<size_t>(n));
  }
};

TEST_F(SerialPty, OneNotificationPerBurstAndAgainAfterRead) {
  auto port = OpenPort();
  pty.Send("A.20!\r\n");
  ASSERT_TRUE(WaitCount(serial::WM_V24_RX, 1));
  pty.Send("A.21!\r\n");
  pump.PumpFor(300ms);
  EXPECT_EQ(Count(serial::WM_V24_RX), 1) << "unanswered: no second message";
  EXPECT_EQ(ReadText(*port), "A.20!\r\nA.21!\r\n");
  pty.Send("B");
  ASSERT_TRUE(WaitCount(serial::WM_V24_RX, 2));
  EXPECT_EQ(ReadText(*port), "B");
  pump.PumpFor(200ms);
  EXPECT_EQ(Count(serial::WM_V24_RX), 2);
}

TEST_F(SerialPty, UnreadDataIsNotifiedAgainOnlyAfterAboutFiveSeconds) {
  auto port = OpenPort();
  const auto start = Clock::now();
  pty.Send("a");
  ASSERT_TRUE(WaitCount(serial::WM_V24_RX, 1));
  // Keep data coming without reading: the second arrival during the
  // notification starts the 5 s watch.
  for (int i = 0; i < 16 && Count(serial::WM_V24_RX) < 2; ++i) {
    pump.PumpFor(500ms);
    pty.Send("x");
  }
  ASSERT_TRUE(WaitCount(serial::WM_V24_RX, 2, 2000ms));
  const auto repeatAfter = Clock::now() - start;
  EXPECT_GE(repeatAfter, 5000ms);
  EXPECT_LE(repeatAfter, 8500ms);
  EXPECT_EQ(Count(serial::WM_V24_RX), 2) << "a repeat, not a flood";
}

TEST_F(SerialPty, NardekHandshakeFramesEveryBlockInXoffAndXon) {
  auto port = OpenPort(serial::Nardek_XonXoff);
  EXPECT_EQ(port->Write("A.1000\r\n", -1, false), 10);
  EXPECT_EQ(pty.Receive(10, 2000ms), std::string("\x13"
                                                 "A.1000\r\n"
                                                 "\x11"));
  auto plain = port.get();
  plain->ChangeHandShake(serial::XonXoff);
  EXPECT_EQ(port->Write("A.1000\r\n", -1, false), 8);
  EXPECT_EQ(pty.Receive(8, 2000ms), "A.1000\r\n");
}

TEST_F(SerialPty, XoffMakesWritesTimeOutAndTheErrorLatchesUntilRead) {
  auto port = OpenPort(serial::XonXoff);
  port->ChangeV24TimeOut(-1, 200, -1, 0);
  pty.Send("\x13");  // XOFF: the port must stop sending
  std::this_thread::sleep_for(50ms);
  const auto start = Clock::now();
  EXPECT_EQ(port->Write("hello", -1, false), TComPort::kWriteFailed);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 190ms);
  EXPECT_LE(took, 2000ms);
  EXPECT_EQ(port->Write("again", -1, false), TComPort::kWriteFailed) << "latched";
  EXPECT_EQ(port->Write("again", -1, true), TComPort::kWriteFailed) << "latched for background writes too";
  EXPECT_EQ(port->GetWriteStatus(), std::optional<bool>(true));
  EXPECT_EQ(port->GetWriteStatus(), std::optional<bool>(false));
  pty.Send("\x11");  // XON
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(port->Write("ok", -1, false), 2);
  EXPECT_EQ(pty.Receive(2, 2000ms), "ok") << "the timed-out block was dropped, not sent late";
  EXPECT_EQ(ReadText(*port), "") << "XON and XOFF are flow control, not data";
}

TEST_F(SerialPty, BackgroundWriteWhileOneRunsIsRefused) {
  auto port = OpenPort(serial::XonXoff);
  pty.Send("\x13");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(port->Write("first", -1, true), 5);
  EXPECT_EQ(port->Write("second", -1, true), TComPort::kWriterBusy);
  EXPECT_EQ(port->Write("third", -1, false), TComPort::kWriterBusy);
  pty.Send("\x11");
  EXPECT_EQ(pty.Receive(5, 3000ms), "first");
  // Accepted again once the writer has parked.
  int32_t result = TComPort::kWriterBusy;
  for (int i = 0; i < 200 && result == TComPort::kWriterBusy; ++i) {
    result = port->Write("next", -1, true);
    if (result == TComPort::kWriterBusy) std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(result, 4);
  EXPECT_EQ(pty.Receive(4, 3000ms), "next");
  EXPECT_EQ(port->GetWriteStatus(), std::optional<bool>(false));
}

TEST_F(SerialPty, ReadAppendsANulUnlessKeinStringAndDropsNulBytes) {
  auto port = OpenPort();
  pty.Send(std::string("A\0B", 3));
  ASSERT_TRUE(WaitCount(serial::WM_V24_RX, 1));
  std::this_thread::sleep_for(50ms);
  char buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), '\x7f');
  ASSERT_EQ(port->Read(buffer, 5), 2) << "the NUL byte is dropped (KeinNullZeichen)";
  EXPECT_EQ(std::string(buffer, 3), std::string("AB\0", 3));
  EXPECT_EQ(buffer[3], '\x7f');

  port->Close();
  port->GetV24Parameter()->KeinString = 1;
  ASSERT_TRUE(port->Open(this, 2, true));
  pty.Send("CD");
  ASSERT_TRUE(WaitCount(serial::WM_V24_RX, 2));
  std::this_thread::sleep_for(50ms);
  std::fill(std::begin(buffer), std::end(buffer), '\x7f');
  ASSERT_EQ(port->Read(buffer, 5), 2);
  EXPECT_EQ(buffer[2], '\x7f') << "nothing after the data";
}

TEST_F(SerialPty, ReadWithoutDataEndsAtItsTotalTimeout) {
  auto port = OpenPort();
  port->ChangeV24TimeOut(100, -1, -1, -1);  // 1 ms per byte + 100 ms
  const auto start = Clock::now();
  EXPECT_EQ(ReadText(*port, 50), "");
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 145ms);
  EXPECT_LE(took, 1500ms);
}

TEST_F(SerialPty, ReadReturnsTheBurstTwentyMillisecondsAfterItsLastByte) {
  auto port = OpenPort();
  port->ChangeV24TimeOut(3000, -1, 0, -1);
  pty.Send("AB");
  const auto start = Clock::now();
  const std::string got = ReadText(*port, 100);
  const auto took = Clock::now() - start;
  EXPECT_EQ(got, "AB");
  EXPECT_GE(took, 19ms);
  EXPECT_LE(took, 1000ms) << "the 20 ms interval ends it, not the 3 s total";
}

TEST_F(SerialPty, SecondOpenOfAHeldPortFailsAndTheBoxNamesCom3) {
  auto first = OpenPort();
  auto second = MakePort();
  EXPECT_FALSE(second->Open(this, 2, true));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("COM3 konnte nicht ge\xF6"
                           "ffnet werden!",
                           0),
            0u)
      << boxes[0];
  second->Check_AllV24();
  EXPECT_EQ(second->GetMaxV24Devices(), 1);
  EXPECT_EQ(second->Get_DeviceV24(0), 2);
  EXPECT_EQ(second->GetMaxV24Useable(), 0) << "held: a device, not useable";
  first->Close();
  second->Check_AllV24();
  EXPECT_EQ(second->GetMaxV24Useable(), 1);
  EXPECT_TRUE(second->Open(this, 2, true));
}

TEST_F(SerialPty, CloseRestoresTheSettingsThePortHadBefore) {
  termios before = pty.Settings();
  before.c_lflag |= ICANON | ECHO;
  cfsetospeed(&before, B19200);
  cfsetispeed(&before, B19200);
  ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &before), 0);
  before = pty.Settings();
  {
    auto port = OpenPort(serial::XonXoff);
    const termios open = pty.Settings();
    EXPECT_EQ(open.c_lflag & (ICANON | ECHO), 0u) << "raw while open";
    EXPECT_NE(open.c_iflag & IXON, 0u);
    EXPECT_EQ(open.c_iflag & (IXOFF | IXANY), 0u) << "XON/XOFF obeyed, never sent";
    EXPECT_EQ(cfgetospeed(&open), B4800);
    const serial::DCB saved = port->LoadV24Parameter();
    EXPECT_EQ(saved.BaudRate, 4800u);
    EXPECT_EQ(saved.fNull, 1u);
    port->Close();
  }
  const termios after = pty.Settings();
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(cfgetospeed(&after), B19200);
}

TEST_F(SerialPty, RatesWithoutAStandardConstantGoThroughBother) {
  auto port = OpenPort();
  port->ChangeBaudrate(serial::B128000);
  platform::posix::KernelTermios t;
  ASSERT_TRUE(t.Read(pty.Master()));
  EXPECT_EQ(t.OutputBaud(), 128000u);
  port->ChangeV24Parameter(serial::B256000, serial::S_1, serial::NoParity, true);
  ASSERT_TRUE(t.Read(pty.Master()));
  EXPECT_EQ(t.OutputBaud(), 256000u);
}

TEST_F(SerialPty, LineErrorsFromTheCounterSourceBecomeNotifications) {
  FakeTotals totals;
  ports.SetCounterFactory([&](int) { return std::make_unique<FakeCounter>(totals); });
  auto port = OpenPort();
  totals.frame = 1;
  ASSERT_TRUE(WaitCount(serial::WM_V24_FRAME, 1));
  totals.parity = 2;
  totals.overrun = 1;
  ASSERT_TRUE(WaitCount(serial::WM_V24_PARITY, 1));
  ASSERT_TRUE(WaitCount(serial::WM_V24_OVERRUN, 1));
  pump.PumpFor(1200ms);
  EXPECT_EQ(Count(serial::WM_V24_FRAME), 1) << "deltas, not totals";
  EXPECT_EQ(Count(serial::WM_V24_PARITY), 1);
}

TEST_F(SerialPty, UnpluggingGivesOneNoticeAndTheReaderStopsPolling) {
  auto port = OpenPort();
  pty.CloseMaster();
  ASSERT_TRUE(WaitCount(serial::WM_V24_HANGUP, 1));
  const uint64_t wakeups = ports.ReaderWakeups();
  pump.PumpFor(1500ms);
  EXPECT_LE(ports.ReaderWakeups() - wakeups, 1u) << "no spinning after a hang-up";
  EXPECT_EQ(Count(serial::WM_V24_HANGUP), 1);
  EXPECT_EQ(ReadText(*port), "");
  EXPECT_EQ(port->Write("A", 1, false), 0) << "the line refuses";
  const auto start = Clock::now();
  port->Close();
  EXPECT_LE(Clock::now() - start, 500ms);
}

TEST_F(SerialPty, IdleReaderWakesAboutOnceASecondAndCloseWakesItAtOnce) {
  auto port = OpenPort();
  const uint64_t wakeups = ports.ReaderWakeups();
  std::this_thread::sleep_for(1500ms);
  EXPECT_LE(ports.ReaderWakeups() - wakeups, 3u);
  const auto start = Clock::now();
  port->Close();
  EXPECT_LE(Clock::now() - start, 300ms) << "Close must not wait for the reader's 1 s poll";
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(port->Read(static_cast<uint8_t*>(nullptr), 1), TComPort::kNotOpen);
  EXPECT_EQ(port->Write("A", 1, false), TComPort::kNotOpen);
  EXPECT_EQ(port->GetWriteStatus(), std::nullopt);
}

TEST_F(SerialPty, ALiveUucpLockHoldsThePort) {
  const std::string locks = pty.Folder() + "/locks";
  std::filesystem::create_directory(locks);
  const std::string lockFile = locks + "/LCK.." + std::filesystem::path(pty.SlavePath()).filename().string();
  std::ofstream(lockFile) << "      " << ::getppid() << "\n";
  PosixPortSystem locked{ComMap::Folder(pty.Folder()), locks};
  EXPECT_EQ(locked.Probe(3), platform::PortStatus::Held);
  TComPort port(locked, pump);
  EXPECT_EQ(port.GetMaxV24Devices(), 1);
  EXPECT_EQ(port.GetMaxV24Useable(), 0);
  EXPECT_FALSE(port.Open(this, 2, false));
  EXPECT_NE(port.LastOpenError().find("anderen Programm"), std::string::npos) << port.LastOpenError();
  std::filesystem::remove(lockFile);
  EXPECT_TRUE(port.Open(this, 2, false));
}

TEST_F(SerialPty, AStuckBackgroundWriteIsAbortedByPurgeAndByClose) {
  auto port = OpenPort(serial::XonXoff);
  port->ChangeV24TimeOut(-1, 0, -1, 0);  // no write time-out at all
  pty.Send("\x13");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(port->Write("stuck", -1, true), 5);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(port->Write("x", -1, true), TComPort::kWriterBusy);
  EXPECT_TRUE(port->ClearBuffer(platform::PURGE_TXABORT | platform::PURGE_TXCLEAR));
  int32_t result = TComPort::kWriterBusy;
  for (int i = 0; i < 100 && result == TComPort::kWriterBusy; ++i) {
    std::this_thread::sleep_for(10ms);
    result = port->Write("again", -1, true);
  }
  EXPECT_EQ(result, 5) << "aborted, not latched as a short write";
  const auto start = Clock::now();
  port->Close();
  EXPECT_LE(Clock::now() - start, 500ms) << "Close does not wait for XON";
}

}  // namespace

// --- the causes of failures reach the messages

// Collects the debug log for one test.
class DebugLines {
 public:
  DebugLines() {
    core::SetDebugLogSink([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(m_lock);
      m_lines.push_back(line);
    });
  }
  ~DebugLines() { core::SetDebugLogSink(nullptr); }
  bool Has(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& line : m_lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

 private:
  std::mutex m_lock;
  std::vector<std::string> m_lines;
};

TEST_F(SerialPty, AVanishedLineKeepsItsErrorAndTheDebugLogNamesIt) {
  DebugLines log;
  auto result = ports.Open(3);
  ASSERT_TRUE(result.line);
  EXPECT_EQ(result.line->LastError(), 0);
  pty.CloseMaster();
  // The hung-up tty reads as its end, at once and not as an error ...
  uint8_t buffer[8];
  const auto start = Clock::now();
  EXPECT_EQ(result.line->Read(buffer, sizeof buffer), 0u);
  EXPECT_LE(Clock::now() - start, 500ms) << "no polling until the 10 s read limit";
  EXPECT_EQ(result.line->LastError(), 0);
  // ... but a write fails with the system's cause, and it stays.
  EXPECT_TRUE(result.line->Write(buffer, 1).refused);
  EXPECT_EQ(result.line->LastError(), EIO);
  EXPECT_EQ(result.line->Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(result.line->LastError(), EIO);
  result.line->Close();

  PtyPair other(3);
  PosixPortSystem otherPorts{ComMap::Folder(other.Folder())};
  TComPort port(otherPorts, pump);
  ASSERT_TRUE(port.Open(this, 2, false));
  other.CloseMaster();
  EXPECT_EQ(port.Write("A", 1, false), 0);
  EXPECT_TRUE(log.Has(std::string("COM3: the line failed: ") + std::strerror(EIO)));
}

TEST_F(SerialPty, AnEntryThatIsNoSerialPortIsNamedSoAndNeverOpened) {
  // A file and a FIFO are not opened at all (a FIFO would block a reader);
  // a device that is no terminal is opened and its cause named.
  const std::string file = pty.Folder() + "/not-a-tty";
  std::ofstream(file) << "x";
  std::filesystem::create_symlink(file, pty.Folder() + "/COM4");
  const std::string fifo = pty.Folder() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, pty.Folder() + "/COM5");
  std::filesystem::create_symlink("/dev/null", pty.Folder() + "/COM6");
  for (const uint32_t com : {4u, 5u, 6u}) {
    auto result = ports.Open(com);
    EXPECT_FALSE(result.line) << com;
    EXPECT_EQ(result.status, platform::PortStatus::NotSerial) << com;
    EXPECT_EQ(ports.Probe(com), platform::PortStatus::NotSerial) << com;
    EXPECT_EQ(result.error, com == 6 ? ENOTTY : 0) << com;
  }
  TComPort port(ports, pump);
  port.SetErrorBox([this](const std::string& text) { boxes.push_back(text); });
  EXPECT_FALSE(port.Open(this, 3, true));
  EXPECT_FALSE(port.Open(this, 5, true));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find("COM4 (" + std::filesystem::canonical(file).string() +
                          ") ist keine serielle Schnittstelle."),
            std::string::npos)
      << boxes[0];
  EXPECT_EQ(boxes[0].find("gibt es nicht"), std::string::npos);
  EXPECT_NE(boxes[1].find("COM6 (/dev/null) ist keine serielle Schnittstelle."), std::string::npos) << boxes[1];
  EXPECT_NE(boxes[1].find(std::string("\nUrsache: ") + std::strerror(ENOTTY)), std::string::npos) << boxes[1];
  // A COM number without an entry is simply absent: no cause to give.
  EXPECT_EQ(ports.Open(9).status, platform::PortStatus::Absent);
  EXPECT_EQ(ports.Open(9).error, 0);
}

TEST_F(SerialPty, AnOpenWithoutDescriptorsForTheReaderFailsCleanly) {
  // Room for the tty and no more: the line's first eventfd fails.
  const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lowest, 0);
  ::close(lowest);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest) + 1;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  auto result = ports.Open(3);
  TComPort port(ports, pump);
  const bool opened = port.Open(this, 2, false);
  ::setrlimit(RLIMIT_NOFILE, &saved);

  EXPECT_FALSE(result.line);
  EXPECT_EQ(result.error, EMFILE);
  EXPECT_FALSE(opened);
  EXPECT_NE(port.LastOpenError().find(std::strerror(EMFILE)), std::string::npos) << port.LastOpenError();
  // The tty was closed and unlocked again: nothing leaked, the port opens.
  const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(next, lowest);
  ::close(next);
  EXPECT_TRUE(port.Open(this, 2, false)) << port.LastOpenError();
}

namespace {

// A change of rate right after a synchronous write must not overtake the
// bytes still on their way out: the other end reads them all while the line
// still runs at the rate they were sent at.
TEST_F(SerialPty, ARateChangeWaitsUntilTheBytesWrittenHaveLeftTheLine) {
  auto port = MakePort();
  port->GetV24Parameter()->Baudrate = serial::B__1200;
  ASSERT_TRUE(port->Open(this, -1 + 3, true));
  // 40 characters at 1200 baud are on the line for about 370 ms.
  const std::string command(40, 'A');
  std::atomic<uint32_t> baudWhenRead{0};
  std::thread other([&] {
    const std::string got = pty.Receive(command.size(), 3000ms);
    platform::posix::KernelTermios t;
    if (got == command && t.Read(pty.Master())) baudWhenRead = t.OutputBaud();
  });
  const auto start = Clock::now();
  EXPECT_EQ(port->Write(command.data(), static_cast<int32_t>(command.size()), false),
            static_cast<int32_t>(command.size()));
  port->ChangeBaudrate(serial::B__9600);
  const auto took = Clock::now() - start;
  other.join();
  EXPECT_EQ(baudWhenRead.load(), 1200u);
  // Never longer than the bytes' own time on the line and some slack.
  EXPECT_LT(took, 2000ms);
  platform::posix::KernelTermios t;
  ASSERT_TRUE(t.Read(pty.Master()));
  EXPECT_EQ(t.OutputBaud(), 9600u);
}

}  // namespace
