#include "platform/posix/PosixSerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "core/DebugLog.h"
#include "platform/ReadDeadline.h"

namespace platform::posix {

namespace {

uint64_t NowMicros() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

uint32_t NowMs() {
  return static_cast<uint32_t>(NowMicros() / 1000u);
}

// Milliseconds until `deadline` (us) for poll, rounded up; 0 when passed.
int MsUntil(uint64_t deadline) {
  const uint64_t now = NowMicros();
  if (now >= deadline) return 0;
  const uint64_t ms = (deadline - now + 999) / 1000;
  return ms > 1'000'000 ? 1'000'000 : static_cast<int>(ms);
}

void Signal(int eventFd) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(eventFd, &one, sizeof one);
}

void Drain(int eventFd) {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = ::read(eventFd, &value, sizeof value);
}

DCB DcbFrom(const LineSettings& s) {
  DCB dcb{};
  dcb.BaudRate = s.baud;
  dcb.ByteSize = s.dataBits;
  dcb.Parity = s.parity;
  dcb.StopBits = s.stopBits;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = s.rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = s.rtsCts ? 1 : 0;
  dcb.fOutX = s.obeyXonXoff ? 1 : 0;
  dcb.XonChar = s.xon;
  dcb.XoffChar = s.xoff;
  return dcb;
}

}  // namespace

std::unique_ptr<PosixSerialLine> PosixSerialLine::Open(int fd, std::string device,
                                                       std::unique_ptr<LineErrorCounter> counter,
                                                       std::shared_ptr<std::atomic<uint64_t>> wakeups,
                                                       int& error) {
  const int readerWake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int writerWake = readerWake < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (writerWake < 0) {
    error = errno;
    if (readerWake >= 0) ::close(readerWake);
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<PosixSerialLine> line(new PosixSerialLine(fd, readerWake, writerWake, std::move(device),
                                                            std::move(counter), std::move(wakeups)));
  try {
    line->m_writer = std::thread([p = line.get()] { p->WriterLoop(); });
  } catch (const std::system_error& e) {
    error = e.code().value();
    line->Close();  // puts the settings back and closes every descriptor
    return nullptr;
  }
  return line;
}

PosixSerialLine::PosixSerialLine(int fd, int readerWake, int writerWake, std::string device,
                                 std::unique_ptr<LineErrorCounter> counter,
                                 std::shared_ptr<std::atomic<uint64_t>> wakeups)
    : m_fd(fd),
      m_device(std::move(device)),
      m_counter(std::move(counter)),
      m_wakeups(std::move(wakeups)),
      m_readerWake(readerWake),
      m_writerWake(writerWake) {
  m_savedTermios.Read(m_fd);
  m_savedModemValid = ::ioctl(m_fd, TIOCMGET, &m_savedModem) == 0;
  // No modem control: a line without carrier must still read and write.
  KernelTermios local = m_savedTermios;
  local.Apply(m_savedTermios.Decode());
  local.Write(m_fd);
  m_dcb = DcbFrom(m_savedTermios.Decode());
  m_baud = m_dcb.BaudRate ? m_dcb.BaudRate : 9600;
  // Opening raised DTR; the component keeps it down unless told otherwise.
  SetModemLine(TIOCM_DTR, false);
}

void PosixSerialLine::KeepError(int error) {
  m_lastError = error;
}

PosixSerialLine::~PosixSerialLine() {
  Close();
}

void PosixSerialLine::SetModemLine(int bit, bool on) {
  // Pseudo-terminals have no modem lines (ENOTTY): nothing to do there.
  ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void PosixSerialLine::NoteSent(uint32_t written) {
  // What the kernel still queues, and what the UART's FIFO or the adapter's
  // buffer may hold of this write once the kernel has passed it on.
  int queued = 0;
  if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued < 0) queued = 0;
  const uint64_t inFlight = static_cast<uint64_t>(queued) + std::min<uint64_t>(written, kInFlightBytes);
  const uint64_t freeAt = NowMicros() + inFlight * CharacterMicros();
  uint64_t known = m_lineFreeAtMicros.load();
  while (known < freeAt && !m_lineFreeAtMicros.compare_exchange_weak(known, freeAt)) {
  }
}

void PosixSerialLine::WaitForLineFree() {
  const uint64_t now = NowMicros();
  const uint64_t freeAt = m_lineFreeAtMicros.load();
  if (freeAt <= now) return;
  const uint64_t waitMicros = std::min<uint64_t>(freeAt - now, uint64_t{kSettleLimitMs} * 1000);
  std::this_thread::sleep_for(std::chrono::microseconds(waitMicros));
}

uint32_t PosixSerialLine::CharacterMicros() const {
  const uint32_t baud = m_baud.load();
  return 11'000'000u / (baud ? baud : 9600) + 1;
}

// --- settings

bool PosixSerialLine::GetState(DCB& dcb) {
  if (m_closed) return false;
  dcb = m_dcb;
  return true;
}

bool PosixSerialLine::SetState(const DCB& dcb) {
  if (m_closed) return false;
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS) {
    return false;  // the driver refuses; the line keeps its settings
  }
  LineSettings s;
  s.baud = dcb.BaudRate;
  s.dataBits = dcb.ByteSize;
  s.parity = dcb.Parity;
  s.stopBits = dcb.StopBits;
  s.rtsCts = dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
  s.obeyXonXoff = dcb.fOutX != 0;
  s.xon = dcb.XonChar ? dcb.XonChar : kXon;
  s.xoff = dcb.XoffChar ? dcb.XoffChar : kXoff;
  if (dcb.StopBits == ONE5STOPBITS) core::DebugLog(m_device + ": 1.5 stop bits are sent as 2");
  WaitForLineFree();
  KernelTermios t;
  if (!t.Read(m_fd)) return false;
  t.Apply(s);
  if (!t.Write(m_fd)) {
    core::DebugLog(m_device + ": the driver refused " + std::to_string(s.baud) + " baud");
    return false;
  }
  KernelTermios back;
  if (back.Read(m_fd) && back.OutputBaud() != s.baud) {
    core::DebugLog(m_device + ": asked for " + std::to_string(s.baud) + " baud, the driver set " +
                   std::to_string(back.OutputBaud()));
  }
  if (dcb.fDtrControl == DTR_CONTROL_ENABLE) SetModemLine(TIOCM_DTR, true);
  if (dcb.fDtrControl == DTR_CONTROL_DISABLE) SetModemLine(TIOCM_DTR, false);
  if (dcb.fRtsControl == RTS_CONTROL_ENABLE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
    SetModemLine(TIOCM_RTS, true);
  } else if (dcb.fRtsControl == RTS_CONTROL_DISABLE) {
    SetModemLine(TIOCM_RTS, false);
  }
  m_dcb = dcb;
  m_baud = s.baud;
  return true;
}

bool PosixSerialLine::GetTimeouts(COMMTIMEOUTS& timeouts) {
  if (m_closed) return false;
  timeouts = m_timeouts;
  return true;
}

bool PosixSerialLine::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  if (m_closed) return false;
  m_timeouts = timeouts;
  return true;
}

// --- reading

uint32_t PosixSerialLine::Read(uint8_t* buffer, uint32_t count) {
  if (m_closed || count == 0) return 0;
  const ReadDeadline deadline(m_timeouts, count, NowMicros());
  const bool dropNul = m_dcb.fNull != 0;
  uint32_t got = 0;
  uint64_t lastTaken = 0;
  bool hungUp = false;
  uint8_t chunk[4096];
  for (;;) {
    const size_t want = std::min<size_t>(sizeof chunk, count - got);
    const ssize_t n = ::read(m_fd, chunk, want);
    if (n > 0) {
      m_consumed.fetch_add(static_cast<uint64_t>(n));
      bool took = false;
      for (ssize_t i = 0; i < n; ++i) {
        if (dropNul && chunk[i] == 0) continue;
        buffer[got++] = chunk[i];
        took = true;
      }
      if (took) lastTaken = NowMicros();
      if (got >= count) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // With VMIN = VTIME = 0 an empty queue reads as 0, not EAGAIN; a
    // hang-up shows in poll below.
    if (n < 0 && errno != EAGAIN) {  // EIO: the line has gone
      KeepError(errno);
      break;
    }
    const int wait = MsUntil(deadline.Until(got, lastTaken));
    if (wait == 0) break;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, wait) < 0 && errno != EINTR) {
      KeepError(errno);
      break;
    }
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // A hung-up tty stays readable (at its end, read gives 0): take what
      // is left once more instead of polling again until the deadline.
      if (!(p.revents & POLLIN) || hungUp) break;
      hungUp = true;
    }
  }
  // The reader stops watching the line while data it reported waits unread;
  // wake it now, so it watches again at once instead of at its next sample.
  if (got > 0) Signal(m_readerWake);
  return got;
}

// --- writing

WriteResult PosixSerialLine::WriteBlocking(const uint8_t* bytes, uint32_t count, const COMMTIMEOUTS& t,
                                           int abortFd, const std::atomic<bool>& abort) {
  const uint64_t totalMs =
      static_cast<uint64_t>(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
  const bool limited = totalMs > 0;
  const uint64_t deadline = NowMicros() + totalMs * 1000;
  uint32_t written = 0;
  bool timedOut = false;
  while (written < count) {
    if (abort) return WriteResult{written, true};
    const ssize_t n = ::write(m_fd, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {  // EIO: the line has gone
      KeepError(errno);
      return WriteResult{written, written == 0};
    }
    const int wait = limited ? MsUntil(deadline) : -1;
    if (wait == 0) {
      timedOut = true;
      break;
    }
    pollfd p[2] = {{m_fd, POLLOUT, 0}, {abortFd, POLLIN, 0}};
    if (::poll(p, 2, wait) < 0 && errno != EINTR) {
      KeepError(errno);
      return WriteResult{written, written == 0};
    }
    if (p[1].revents) return WriteResult{written, true};
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WriteResult{written, written == 0};
  }
  // The bytes are in the kernel's queue. Like the driver the component was
  // built for, a write with a time-out ends when they are on the line, so
  // that a change of baud rate after it does not catch them (never
  // tcdrain: it has no time-out and hangs on XOFF or CTS low).
  if (limited) {
    for (;;) {
      int queued = 0;
      if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
      const int wait = MsUntil(deadline);
      if (wait == 0 || timedOut) {
        timedOut = true;
        written -= std::min<uint32_t>(written, static_cast<uint32_t>(queued));
        break;
      }
      const uint64_t needMs = (static_cast<uint64_t>(queued) * CharacterMicros() + 999) / 1000;
      pollfd p{abortFd, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<uint64_t>(needMs ? needMs : 1, static_cast<uint64_t>(wait))));
      if (p.revents || abort) return WriteResult{written, true};
    }
  }
  // What did not go out in time is dropped, as a timed-out write is.
  if (timedOut) ::tcflush(m_fd, TCOFLUSH);
  NoteSent(written);
  return WriteResult{written, false};
}

WriteResult PosixSerialLine::Write(const uint8_t* bytes, uint32_t count) {
  if (m_closed) return WriteResult{0, true};
  static const std::atomic<bool> kNever{false};
  return WriteBlocking(bytes, count, m_timeouts, -1, kNever);
}

bool PosixSerialLine::WriteInBackground(const uint8_t* bytes, uint32_t count, WriteDone done) {
  if (m_closed) return false;
  if (m_writerBusy) return false;
  {
    std::lock_guard<std::mutex> lock(m_writerLock);
    m_writerBuffer.assign(bytes, bytes + count);
    m_writerTimeouts = m_timeouts;
    m_writerDone = std::move(done);
    m_writerPending = true;
    m_writerBusy = true;
  }
  m_writerCv.notify_one();
  return true;
}

void PosixSerialLine::WriterLoop() {
  std::unique_lock<std::mutex> lock(m_writerLock);
  for (;;) {
    m_writerCv.wait(lock, [this] { return m_writerPending || m_stopWriter; });
    if (m_stopWriter) {
      // Close while a write was queued: it never started.
      if (m_writerPending && m_writerDone) m_writerDone(WriteResult{0, true});
      m_writerPending = false;
      m_writerBusy = false;
      return;
    }
    std::vector<uint8_t> block = std::move(m_writerBuffer);
    const COMMTIMEOUTS timeouts = m_writerTimeouts;
    WriteDone done = std::move(m_writerDone);
    // An abort meant for an earlier write must not hit this one.
    m_abortWrite = false;
    Drain(m_writerWake);
    lock.unlock();
    const WriteResult result = WriteBlocking(block.data(), static_cast<uint32_t>(block.size()), timeouts,
                                             m_writerWake, m_abortWrite);
    // Report first, then accept the next write: the owner checks busy
    // before the error latch.
    if (done) done(result);
    lock.lock();
    m_writerPending = false;
    m_writerBusy = false;
  }
}

bool PosixSerialLine::Purge(uint32_t flags) {
  if (m_closed) return false;
  bool ok = true;
  if ((flags & PURGE_TXABORT) && m_writerBusy) {
    m_abortWrite = true;
    Signal(m_writerWake);
  }
  if (flags & PURGE_TXCLEAR) ok = ::tcflush(m_fd, TCOFLUSH) == 0 && ok;
  if (flags & PURGE_RXCLEAR) ok = ::tcflush(m_fd, TCIFLUSH) == 0 && ok;
  return ok;
}

void PosixSerialLine::ClearBreak() {
  if (!m_closed) ::ioctl(m_fd, TIOCCBRK);
}

// --- the reader

void PosixSerialLine::StartReader(SerialLineEvents& events) {
  if (m_closed || m_reader.joinable()) return;
  m_events = &events;
  // The totals before the reader runs are the baseline: errors from now on count.
  m_countingErrors = m_counter && m_counter->Sample(m_baseCounts);
  try {
    m_reader = std::thread([this] { ReaderLoop(); });
  } catch (const std::system_error& e) {
    KeepError(e.code().value());
    core::DebugLog(m_device + ": no reader thread: " + e.what());
  }
}

void PosixSerialLine::ReaderLoop() {
  uint64_t maxTotal = 0;
  LineErrorCounts last = m_baseCounts;
  bool counting = m_countingErrors;
  uint32_t lastRound = NowMs();
  while (!m_stopReader) {
    int queued = 0;
    if (::ioctl(m_fd, FIONREAD, &queued) != 0 || queued < 0) queued = 0;
    // The total ever received only grows; a read racing with this sample
    // can make it look smaller for a moment, never larger.
    const uint64_t total = m_consumed.load() + static_cast<uint64_t>(queued);
    const bool rx = total > maxTotal;
    if (rx) maxTotal = total;

    if (counting) {
      LineErrorCounts now;
      if (m_counter->Sample(now)) {
        LineErrors e;
        e.frame = now.frame != last.frame;
        e.overrun = now.overrun != last.overrun;
        e.parity = now.parity != last.parity;
        e.brk = now.brk != last.brk;
        last = now;
        if (e.Any()) m_events->OnLineErrors(e);
      } else {
        counting = false;
      }
    }

    const uint32_t nowMs = NowMs();
    uint32_t pause = 0;
    if (rx || nowMs - lastRound >= kIdleRoundMs) {
      pause = m_events->OnReaderRound(rx, nowMs);
      lastRound = nowMs;
    }
    if (pause > 0) {
      pollfd p{m_readerWake, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(pause, 1'000'000)));
      if (m_wakeups) ++*m_wakeups;
      if (p.revents) Drain(m_readerWake);
      continue;
    }

    // Level-triggered POLLIN would fire again and again while unread data
    // sits in the queue: then only look every 50 ms whether more came.
    const uint32_t sinceRound = NowMs() - lastRound;
    const int timeout = queued > 0 ? static_cast<int>(kSampleMs)
                                   : static_cast<int>(kIdleRoundMs - std::min(sinceRound, kIdleRoundMs - 1));
    pollfd p[2] = {{m_readerWake, POLLIN, 0}, {m_fd, static_cast<short>(queued > 0 ? 0 : POLLIN), 0}};
    if (::poll(p, 2, timeout) < 0 && errno != EINTR) {
      const int error = errno;
      KeepError(error);
      core::DebugLog(m_device + ": the reader stops, its wait failed: " + std::strerror(error));
      break;
    }
    if (m_wakeups) ++*m_wakeups;
    if (p[0].revents) {
      Drain(m_readerWake);
      continue;
    }
    if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      m_events->OnHangUp();
      // The line has gone: no more polling of it, only Close wakes us.
      while (!m_stopReader) {
        pollfd w{m_readerWake, POLLIN, 0};
        ::poll(&w, 1, -1);
        if (m_wakeups) ++*m_wakeups;
        Drain(m_readerWake);
      }
      return;
    }
  }
}

// --- closing

void PosixSerialLine::Close() {
  if (m_closed) return;
  m_closed = true;
  m_stopReader = true;
  Signal(m_readerWake);
  if (m_reader.joinable()) m_reader.join();
  {
    std::lock_guard<std::mutex> lock(m_writerLock);
    m_stopWriter = true;
  }
  m_abortWrite = true;
  Signal(m_writerWake);
  m_writerCv.notify_one();
  if (m_writer.joinable()) m_writer.join();
  // Without the flush, close may wait up to 30 s for output held by flow control.
  ::tcflush(m_fd, TCOFLUSH);
  m_savedTermios.Write(m_fd);
  if (m_savedModemValid) ::ioctl(m_fd, TIOCMSET, &m_savedModem);
  ::close(m_fd);
  ::close(m_readerWake);
  ::close(m_writerWake);
  m_fd = -1;
}

}  // namespace platform::posix
