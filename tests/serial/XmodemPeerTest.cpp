// Our XMODEM sender against an independent receiver: lrzsz's rx in CRC mode
// on the slave of a pseudo-terminal, our sender on the master. rx must store
// the padded image (file, fill, trailer) byte for byte.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "programmers/XmodemImage.h"
#include "programmers/XmodemSender.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The program's path when it is on PATH, else empty.
std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= all.size();) {
    const size_t end = std::min(all.find(':', start), all.size());
    const std::string candidate = all.substr(start, end - start) + "/" + name;
    if (!candidate.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

class XmodemPeer : public testing::TestWithParam<size_t> {};

TEST_P(XmodemPeer, LrzszRxStoresThePaddedImage) {
  const std::string rx = OnPath("rx");
  if (rx.empty()) GTEST_SKIP() << "lrzsz's rx is not installed (Debian package lrzsz): no peer check";

  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slavePath = ::ptsname(master);
  const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios raw{};
  ASSERT_EQ(::tcgetattr(slave, &raw), 0);
  ::cfmakeraw(&raw);
  ::cfsetspeed(&raw, B115200);
  ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);

  char folder[] = "/tmp/iu-xmodem-peer-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string out = std::string(folder) + "/image.bin";

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, slave, 0);
  ::posix_spawn_file_actions_adddup2(&actions, slave, 1);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // rx takes only a name in its working folder (restricted mode).
  ::posix_spawn_file_actions_addchdir_np(&actions, folder);
  std::vector<std::string> args{rx, "-c", "-b", "-q", "-y", "image.bin"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, rx.c_str(), &actions, nullptr, argv.data(), environ), 0);
  ::posix_spawn_file_actions_destroy(&actions);
  // Our copy of the slave stays open: rx's last ACK is not lost when it exits.

  const std::string file = Pattern(GetParam());
  const programmers::XmodemImage image(file);
  programmers::XmodemSender sender(image);
  std::vector<uint8_t> answer(256), send;
  std::string trace;  // what rx answered, for a failure
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  int status = 0;
  bool exited = false;
  bool endSent = false;
  while (!sender.Over() && Clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) {
      // rx may flush its last ACK away as it ends.
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        exited = true;
        break;
      }
      continue;
    }
    const ssize_t n = ::read(master, answer.data(), answer.size());
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && trace.size() < 400; ++i) trace += std::to_string(answer[i]) + " ";
    trace += "| ";
    // The first byte of what came counts.
    endSent = sender.OnAnswer(answer[0], send) == programmers::XmodemSender::Step::kEndSent || endSent;
    for (size_t at = 0; at < send.size();) {
      const ssize_t w = ::write(master, send.data() + at, send.size() - at);
      if (w <= 0) break;
      at += static_cast<size_t>(w);
    }
  }
  for (auto until = Clock::now() + std::chrono::seconds(10); !exited && Clock::now() < until;) {
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!exited) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ::close(slave);
  ::close(master);

  EXPECT_TRUE(endSent) << trace;
  EXPECT_TRUE(exited && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "rx status " << status;
  std::ifstream in(out, std::ios::binary);
  const std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stored.size(), image.Bytes().size());
  EXPECT_TRUE(stored == image.Bytes()) << "rx stored other bytes";
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

// One packet with the trailer; many, with block numbers past 255.
INSTANTIATE_TEST_SUITE_P(Sizes, XmodemPeer, testing::Values(size_t{100}, size_t{40000}));

}  // namespace
