// Our XMODEM sending against lrzsz's sx, both to the same receiver (lrzsz's
// rx in CRC mode) over the same pair of pseudo-terminals, with a relay
// between them that paces each direction at 115200 baud 8N1 (a byte reaches
// the other side one character time after the line was free). The same
// padded image goes both ways; the figure is our time over sx's, measured in
// this run.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
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
constexpr double kCharacterSeconds = 10.0 / 115200.0;

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no pty");
    slave = ::ptsname(master);
  }
  ~Pty() { ::close(master); }
};

int OpenRaw(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::cfsetspeed(&t, B115200);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// Copies `from` to `to` until told to stop, at the line rate.
void Pace(int from, int to, const std::atomic<bool>& stop) {
  std::vector<uint8_t> chunk(16);
  auto freeAt = Clock::now();
  while (!stop) {
    pollfd p{from, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = ::read(from, chunk.data(), chunk.size());
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    freeAt = std::max(freeAt, Clock::now()) + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(n * kCharacterSeconds));
    std::this_thread::sleep_until(freeAt);
    for (ssize_t at = 0; at < n;) {
      const ssize_t w = ::write(to, chunk.data() + at, static_cast<size_t>(n - at));
      if (w <= 0) break;
      at += w;
    }
  }
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& tty, const std::string& folder) {
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, tty.c_str(), O_RDWR | O_NOCTTY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, 0, 1);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  ::posix_spawn_file_actions_destroy(&actions);
  return pid;
}

bool WaitFor(pid_t pid, int seconds) {
  int status = 0;
  for (auto until = Clock::now() + std::chrono::seconds(seconds); Clock::now() < until;) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return false;
}

// Our side of the transfer on the sender's tty: what the loader does on
// each answer (the first byte of what has come counts).
void SendOurs(int fd, const programmers::XmodemImage& image, const std::atomic<bool>& stop) {
  programmers::XmodemSender sender(image);
  std::vector<uint8_t> answer(250), out;
  while (!sender.Over() && !stop) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const ssize_t n = ::read(fd, answer.data(), answer.size());
    if (n <= 0) break;
    sender.OnAnswer(answer[0], out);
    for (size_t at = 0; at < out.size();) {
      const ssize_t w = ::write(fd, out.data() + at, out.size() - at);
      if (w <= 0) break;
      at += static_cast<size_t>(w);
    }
  }
}

// One transfer: rx on one pty, the sender on the other; seconds until rx
// has the image, or a negative value when it did not get it whole.
double Transfer(bool ours, const programmers::XmodemImage& image, const std::string& folder) {
  const std::string rxFolder = folder + (ours ? "/rx-ours" : "/rx-sx");
  std::filesystem::create_directories(rxFolder);
  Pty receiver, sender;
  const int rxHold = OpenRaw(receiver.slave);  // keeps the slave up when rx ends
  const int senderTty = OpenRaw(sender.slave);
  std::atomic<bool> stop{false};
  std::thread toRx(Pace, sender.master, receiver.master, std::cref(stop));
  std::thread toSender(Pace, receiver.master, sender.master, std::cref(stop));

  const auto start = Clock::now();
  const pid_t rx = Spawn({"rx", "-c", "-b", "-q", "-y", "image.bin"}, receiver.slave, rxFolder);
  pid_t sx = -1;
  std::thread ourSide;
  if (ours)
    ourSide = std::thread(SendOurs, senderTty, std::cref(image), std::cref(stop));
  else
    sx = Spawn({"sx", "-b", "-q", "image.bin"}, sender.slave, folder);
  const bool received = rx > 0 && WaitFor(rx, 120);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  stop = true;
  if (sx > 0) WaitFor(sx, 5);
  if (ourSide.joinable()) ourSide.join();
  toRx.join();
  toSender.join();
  ::close(senderTty);
  ::close(rxHold);

  std::ifstream in(rxFolder + "/image.bin", std::ios::binary);
  const std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return received && stored == image.Bytes() ? seconds : -1.0;
}

}  // namespace

int main() {
  std::string file(32 * 1024, '\0');
  uint32_t x = 1;
  for (auto& c : file) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  const programmers::XmodemImage image(file);
  char folder[] = "/tmp/iu-xmodem-bench-XXXXXX";
  if (!::mkdtemp(folder)) return 1;
  {
    std::ofstream out(std::string(folder) + "/image.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.Bytes().data()),
              static_cast<std::streamsize>(image.Bytes().size()));
  }
  const double theirs = Transfer(false, image, folder);
  const double ours = Transfer(true, image, folder);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  if (theirs <= 0 || ours <= 0) {
    std::printf("xmodem_vs_lrzsz: failed (sx %.2f s, ours %.2f s; rx and sx from lrzsz needed)\n", theirs,
                ours);
    return 1;
  }
  std::fprintf(stderr, "%zu bytes at 115200 baud: ours %.2f s, sx %.2f s\n", image.Bytes().size(), ours,
               theirs);
  std::printf("xmodem_vs_lrzsz: %.3f ratio (goal <= 1.1)\n", ours / theirs);
  return 0;
}
