// instrument-sim on real pseudo-terminals, talked to as a plain program would.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "SimProcess.h"

namespace {

using simtest::ReadText;
using simtest::SimProcess;
using simtest::TempDir;

uint64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1'000'000;
}

// A raw serial client over the COMn link.
class Client {
 public:
  Client(const std::string& path, speed_t speed) {
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) throw std::runtime_error("cannot open " + path);
    termios t{};
    tcgetattr(m_fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(m_fd, TCSANOW, &t);
  }
  ~Client() {
    if (m_fd >= 0) close(m_fd);
  }
  void Write(const std::string& text) {
    ASSERT_EQ(write(m_fd, text.data(), text.size()), (ssize_t)text.size());
  }
  // Reads until `count` bytes have come or `ms` have passed; hungUp tells whether the line went dead.
  std::string Read(size_t count, int ms, bool* hungUp = nullptr) {
    std::string got;
    const uint64_t end = NowMs() + ms;
    while (got.size() < count) {
      const uint64_t now = NowMs();
      if (now >= end) break;
      pollfd p{m_fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(end - now)) <= 0) break;
      char buffer[256];
      const ssize_t n = read(m_fd, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
      if (n == 0 || (n < 0 && errno == EIO) || (p.revents & POLLHUP)) {
        if (hungUp) *hungUp = true;
        break;
      }
    }
    return got;
  }

 private:
  int m_fd = -1;
};

TEST(SimPty, AnswersTheIdentificationAtItsSettingsOnly) {
  TempDir dir;
  SimProcess sim(
      {"--ports", dir / "ports", "--log", dir / "traffic.log", "--dump", dir / "dump.txt", "--com", "2",
       "--profile", "baro-meter", "--com", "4", "--profile", "none", "--com", "5", "--profile", "lab-meter"},
      {dir / "ports/COM2", dir / "ports/COM4", dir / "ports/COM5"});
  {
    Client wrong(dir / "ports/COM2", B9600);
    wrong.Write("\r\n\r\nA.1111\r\n");
    EXPECT_EQ(wrong.Read(1, 300), "");
  }
  {
    Client silent(dir / "ports/COM4", B4800);
    silent.Write("\r\n\r\nA.1111\r\n");
    EXPECT_EQ(silent.Read(1, 300), "");
  }
  {
    Client port(dir / "ports/COM2", B4800);
    port.Write("\r\n\r\nA.1111\r\n");
    const std::string expected = "A.1111!\r\n";
    EXPECT_EQ(port.Read(expected.size(), 2000), expected);
    const std::string exchange =
        "A.1000!\r\nI.23#22090.001\r\nI.20#28101.000\r\nI.21#1.02\r\nI.25#14111108\r\n";
    port.Write("A.1000\r\nA.2003\r\nA.2000\r\nA.2001\r\nA.4001\r\n");
    EXPECT_EQ(port.Read(exchange.size(), 3000), exchange);
    port.Write("A.1000\r\nA.6162#961.7\r\nA.1111\r\n");
    const std::string closing = "A.1000!\r\nA.6162!\r\nA.1111!\r\n";
    EXPECT_EQ(port.Read(closing.size(), 2000), closing);
  }
  {
    Client lab(dir / "ports/COM5", B9600);
    lab.Write("A.1000\r\nA.2001\r\n");
    const std::string expected = "A.1000!\r\nI.21#2.10,1.05\r\n";
    EXPECT_EQ(lab.Read(expected.size(), 2000), expected);
  }
  EXPECT_EQ(sim.Stop(), 0);
  const std::string dump = ReadText(dir / "dump.txt");
  EXPECT_NE(dump.find("== COM2 ==\ninstrument baro-meter"), std::string::npos) << dump;
  EXPECT_NE(dump.find("air-pressure reference: 961.7 hPa"), std::string::npos) << dump;
  EXPECT_NE(dump.find("== COM4 ==\nno instrument (silent port)"), std::string::npos) << dump;
  const std::string log = ReadText(dir / "traffic.log");
  EXPECT_NE(log.find("COM2   tool's settings: 9600 baud"), std::string::npos) << log;
  EXPECT_NE(log.find("COM2   tool's settings: 4800 baud"), std::string::npos) << log;
  EXPECT_NE(log.find("|A.1000..A.6162#9|"), std::string::npos) << log;
  // The links go when the simulator ends.
  EXPECT_FALSE(std::filesystem::exists(dir / "ports/COM2"));
}

TEST(SimPty, PacesAnswersAtTheLineRate) {
  TempDir dir;
  SimProcess sim({"--ports", dir / "ports", "--pace", "--com", "1", "--profile", "meter-f5"},
                 {dir / "ports/COM1"});
  Client port(dir / "ports/COM1", B2400);
  // 2400 baud 8N1: 4.17 ms a character; the 27 characters below take 112 ms
  // after the 10 ms reply delay.
  const std::string expected = "I.23#22120.002\r\nI.21#X.XX\r\n";
  const uint64_t start = NowMs();
  port.Write("A.2003\r\nA.2001\r\n");
  EXPECT_EQ(port.Read(expected.size(), 3000), expected);
  const uint64_t took = NowMs() - start;
  EXPECT_GE(took, 110u);
  EXPECT_LT(took, 1500u);
}

TEST(SimPty, DropsTheLineOnTheFaultCommand) {
  TempDir dir;
  SimProcess sim({"--ports", dir / "ports", "--com", "3", "--drop-at", "2001", "--garbage", "2000:4"},
                 {dir / "ports/COM3"});
  Client port(dir / "ports/COM3", B4800);
  port.Write("A.2000\r\n");
  const std::string answer = port.Read(4 + 16, 2000);
  ASSERT_EQ(answer.size(), 20u);
  EXPECT_EQ(answer.substr(4), "I.20#23010.000\r\n");
  port.Write("A.2001\r\n");
  bool hungUp = false;
  EXPECT_EQ(port.Read(1, 2000, &hungUp), "");
  EXPECT_TRUE(hungUp);
  EXPECT_FALSE(std::filesystem::exists(dir / "ports/COM3"));
}

TEST(SimPty, RefusesABadCommandLineAndBadProfiles) {
  TempDir dir;
  const std::string bad = dir / "bad.profile";
  std::ofstream(bad) << "name = bad\nline = 4800 8Q1\n";
  const std::string sim = IU_INSTRUMENT_SIM;
  auto run = [&](const std::string& args) {
    const std::string command = sim + " " + args + " >" + (dir / "out") + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("--com 1"), 2);
  EXPECT_EQ(ReadText(dir / "out"), "instrument-sim: --ports DIR is needed (the folder for the COMn links)\n");
  EXPECT_EQ(run("--ports x --profile ph-meter"), 2);
  EXPECT_EQ(ReadText(dir / "out"), "instrument-sim: --profile belongs to a port: give --com N before it\n");
  EXPECT_EQ(run("--ports " + (dir / "p") + " --com 1 --profile " + bad), 1);
  EXPECT_EQ(ReadText(dir / "out"), "instrument-sim: profile for COM1:\n" + bad +
                                       ":2: line: parity 'Q' must be one of N O E M S\n" + bad +
                                       ": missing key 'pcb'\n" + bad + ": missing key 'device'\n" + bad +
                                       ": missing key 'version'\n" + bad + ": missing key 'serial'\n");
  EXPECT_EQ(run("--help"), 0);
  EXPECT_NE(ReadText(dir / "out").find("usage: instrument-sim --ports DIR"), std::string::npos);
}

}  // namespace
