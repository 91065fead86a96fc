#include "sim/app/RealTimeRunner.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <string>

namespace sim {
namespace {

constexpr uint64_t kOpenCheckMicros = 100'000;

uint64_t MonotonicMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1'000'000 + static_cast<uint64_t>(ts.tv_nsec) / 1000;
}

}  // namespace

RealTimeRunner::RealTimeRunner(std::vector<Port> ports, TrafficLog& log, bool pace)
    : m_log(log), m_pace(pace), m_start(MonotonicMicros()) {
  for (auto& p : ports) {
    Line line;
    line.port = std::move(p);
    m_lines.push_back(std::move(line));
  }
}

uint64_t RealTimeRunner::Now() const {
  return MonotonicMicros() - m_start;
}

void RealTimeRunner::CheckOpen(Line& line, uint64_t now) {
  const bool open = line.port.pty->PeerOpen();
  if (open == line.open) return;
  line.open = open;
  m_log.Event(now, line.port.com, open ? "port opened" : "port closed");
  if (!open) {
    // Nobody listens: what was still to be sent is lost, as on a real line.
    line.pending.clear();
    line.port.pty->Flush();
    line.settingsKnown = false;
  }
  if (line.port.instrument) {
    line.port.instrument->OnPortOpen(open, now);
    Collect(line, now);
  }
}

void RealTimeRunner::ReadFrom(Line& line, uint64_t now) {
  uint8_t buffer[4096];
  const long n = line.port.pty->Read(buffer, sizeof buffer);
  if (n <= 0) return;
  m_log.Bytes(now, line.port.com, "<-", buffer, static_cast<size_t>(n));
  const auto settings = line.port.pty->ToolSettings();
  if (settings && (!line.settingsKnown || !(*settings == line.settings))) {
    line.settings = *settings;
    line.settingsKnown = true;
    m_log.Event(now, line.port.com,
                "tool's settings: " + std::to_string(settings->baud) + " baud, " +
                    (settings->twoStopBits ? "2" : "1") + " stop bits");
  }
  if (!line.port.instrument) return;
  Instrument& instrument = *line.port.instrument;
  for (long i = 0; i < n; ++i) {
    // A pseudo-terminal keeps no parity or word length: only the rate and
    // stop bits are the tool's, the rest is taken as the instrument's own.
    ModelInput in;
    in.byte = buffer[i];
    in.sentAt = instrument.Format(now);
    if (line.settingsKnown) {
      in.sentAt.baud = line.settings.baud;
      in.sentAt.stopBits =
          line.settings.twoStopBits ? platform::sim::StopBits::Two : platform::sim::StopBits::One;
    }
    instrument.Receive(in, now);
    Collect(line, now);
    if (!line.port.pty->Alive()) return;
  }
}

void RealTimeRunner::Collect(Line& line, uint64_t now) {
  Instrument& instrument = *line.port.instrument;
  for (auto& note : instrument.TakeNotes()) m_log.Event(now, line.port.com, note);
  for (auto& e : instrument.TakeEmissions()) {
    if (!line.open) {
      m_log.Event(now, line.port.com, "not sent (port closed): " + std::to_string(e.bytes.size()) + " bytes");
      continue;
    }
    const uint64_t start = std::max(now + e.delayMicros, line.freeAtMicros);
    if (m_pace) {
      const uint64_t perByte = e.format.CharacterMicros();
      for (size_t i = 0; i < e.bytes.size(); ++i) {
        line.pending.push_back(Pending{start + i * perByte, {e.bytes[i]}});
      }
      line.freeAtMicros = start + e.bytes.size() * perByte;
    } else {
      line.pending.push_back(Pending{start, std::move(e.bytes)});
      line.freeAtMicros = start;
    }
  }
  if (instrument.TakeHangUp()) {
    m_log.Event(now, line.port.com, "line dropped");
    line.pending.clear();
    line.port.pty->HangUp();
    line.open = false;
  }
}

void RealTimeRunner::WriteDue(Line& line, uint64_t now) {
  while (!line.pending.empty() && line.pending.front().atMicros <= now) {
    // Bytes due at the same instant go out in one write.
    std::vector<uint8_t> chunk;
    while (!line.pending.empty() && line.pending.front().atMicros <= now) {
      auto& bytes = line.pending.front().bytes;
      chunk.insert(chunk.end(), bytes.begin(), bytes.end());
      line.pending.pop_front();
    }
    if (!line.port.pty->Write(chunk.data(), chunk.size())) {
      m_log.Event(now, line.port.com, "write failed; the tool does not read");
    }
    LogSent(line, now, chunk);
  }
}

void RealTimeRunner::LogSent(Line& line, uint64_t now, const std::vector<uint8_t>& bytes) {
  if (line.logged.empty()) line.loggedAt = now;
  line.logged.insert(line.logged.end(), bytes.begin(), bytes.end());
  // One log line per answer line, or when the line falls quiet.
  if (line.pending.empty() || line.logged.back() == '\n' || line.logged.size() >= 64) {
    m_log.Bytes(line.loggedAt, line.port.com, "->", line.logged.data(), line.logged.size());
    line.logged.clear();
  }
}

void RealTimeRunner::Run(int stopFd) {
  for (;;) {
    uint64_t now = Now();
    bool anyAlive = false, anyClosed = false;
    uint64_t next = UINT64_MAX;
    std::vector<pollfd> fds{{stopFd, POLLIN, 0}};
    std::vector<Line*> polled;
    for (Line& line : m_lines) {
      if (!line.port.pty->Alive()) continue;
      anyAlive = true;
      CheckOpen(line, now);
      if (!line.port.pty->Alive()) continue;
      WriteDue(line, now);
      if (!line.pending.empty()) next = std::min(next, line.pending.front().atMicros);
      if (line.port.instrument) {
        if (const auto tick = line.port.instrument->NextTick()) {
          if (*tick <= now) {
            line.port.instrument->Tick(now);
            Collect(line, now);
            next = now;
          } else {
            next = std::min(next, *tick);
          }
        }
      }
      if (line.open) {
        fds.push_back(pollfd{line.port.pty->Fd(), POLLIN, 0});
        polled.push_back(&line);
      } else {
        anyClosed = true;
      }
    }
    if (!anyAlive) return;
    if (anyClosed) next = std::min(next, now + kOpenCheckMicros);
    int timeoutMs = -1;
    if (next != UINT64_MAX) timeoutMs = next <= now ? 0 : static_cast<int>((next - now + 999) / 1000);
    if (poll(fds.data(), fds.size(), timeoutMs) < 0) continue;
    if (fds[0].revents) return;
    now = Now();
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents & POLLIN) ReadFrom(*polled[i - 1], now);
      // A hang-up is seen by CheckOpen on the next round.
    }
  }
}

void RealTimeRunner::Dump(std::ostream& out) const {
  for (const Line& line : m_lines) {
    out << "== COM" << line.port.com << " ==\n";
    if (line.port.instrument)
      line.port.instrument->Dump(out);
    else
      out << "no instrument (silent port)\n";
  }
}

}  // namespace sim
