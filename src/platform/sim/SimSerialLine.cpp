#include "platform/sim/SimSerialLine.h"

#include <algorithm>
#include <cmath>

#include "platform/ReadDeadline.h"

namespace platform::sim {

namespace {

uint64_t AtMicros(double t) {
  return t <= 0 ? 0 : static_cast<uint64_t>(std::llround(t));
}

double CharacterTime(const LineFormat& f) {
  return f.BitsPerCharacter() * 1e6 / (f.baud ? f.baud : 1);
}

}  // namespace

SimSerialLine::SimSerialLine(VirtualTime& time, uint32_t comNumber)
    : m_time(time),
      m_com(comNumber),
      m_toPort(
          time, [this] { return PortFormat(); }, [this](const ReceivedCharacter& c) { OnPortCharacter(c); }),
      m_toFar(
          time, [this] { return m_peer ? m_peer->Format() : LineFormat{}; },
          [this](const ReceivedCharacter& c) {
            if (m_peer && m_connected) m_peer->OnCharacter(c);
          }) {
  // A port fresh from the driver: 9600 baud, 8N1, DTR and RTS up.
  m_dcb.BaudRate = 9600;
  m_dcb.ByteSize = 8;
  m_dcb.fBinary = 1;
  m_dcb.fDtrControl = DTR_CONTROL_ENABLE;
  m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
  m_dcb.XonChar = kXon;
  m_dcb.XoffChar = kXoff;
}

SimSerialLine::~SimSerialLine() {
  if (m_round) m_time.Cancel(m_round);
  if (m_txDone) m_time.Cancel(m_txDone);
  if (m_write.deadline) m_time.Cancel(m_write.deadline);
}

LineFormat SimSerialLine::PortFormat() const {
  LineFormat f;
  f.baud = m_dcb.BaudRate ? m_dcb.BaudRate : 9600;
  f.dataBits = m_dcb.ByteSize >= 5 && m_dcb.ByteSize <= 8 ? m_dcb.ByteSize : 8;
  switch (m_dcb.Parity) {
    case ODDPARITY:
      f.parity = Parity::Odd;
      break;
    case EVENPARITY:
      f.parity = Parity::Even;
      break;
    case MARKPARITY:
      f.parity = Parity::Mark;
      break;
    case SPACEPARITY:
      f.parity = Parity::Space;
      break;
    default:
      f.parity = Parity::None;
      break;
  }
  f.stopBits = m_dcb.StopBits == ONE5STOPBITS  ? StopBits::OnePointFive
               : m_dcb.StopBits == TWOSTOPBITS ? StopBits::Two
                                               : StopBits::One;
  return f;
}

// --- the far end

void SimSerialLine::Attach(SimLinePeer* peer) {
  m_peer = peer;
  if (peer) m_connected = true;
}

void SimSerialLine::Send(const uint8_t* bytes, size_t count, uint64_t delayMicros) {
  if (!m_connected || count == 0) return;
  const LineFormat format = m_peer ? m_peer->Format() : LineFormat{};
  const double charTime = CharacterTime(format);
  double start = std::max(static_cast<double>(m_time.NowMicros() + delayMicros), m_farFreeAt);
  for (size_t i = 0; i < count; ++i) {
    m_toPort.Transmit(start, format, bytes[i]);
    start += charTime;
  }
  m_farFreeAt = start;
}

void SimSerialLine::Disconnect() {
  if (!m_connected) return;
  m_connected = false;
  m_toPort.Reset();
  m_toFar.Reset();
  m_tx.clear();
  if (m_write.active && !m_write.finished) FinishWrite(m_write.started, true);
  if (m_open && m_events && !m_hungUp) {
    m_hangUpPending = true;
    ScheduleRound(m_time.NowMicros());
  }
}

void SimSerialLine::SetClearToSend(bool up) {
  m_cts = up;
  TransmitNext();
}

// --- opening and settings

bool SimSerialLine::OpenPort() {
  if (m_open) return false;
  m_open = true;
  m_rx.clear();
  m_xoff = false;
  m_hungUp = false;
  m_hangUpPending = false;
  m_rxArrived = false;
  m_errors = {};
  m_errorPending = false;
  if (m_peer) m_peer->OnPortOpen(true);
  return true;
}

void SimSerialLine::ClosePort() {
  if (!m_open) return;
  if (m_round) m_time.Cancel(m_round);
  m_round = 0;
  m_events = nullptr;
  m_tx.clear();
  if (m_write.active && !m_write.finished) FinishWrite(m_write.started, true);
  m_write = PendingWrite{};
  m_open = false;
  m_rx.clear();
  if (m_peer) m_peer->OnPortOpen(false);
}

bool SimSerialLine::GetState(DCB& dcb) {
  dcb = m_dcb;
  return true;
}

bool SimSerialLine::SetState(const DCB& dcb) {
  m_dcb = dcb;
  if (!m_dcb.fOutX) m_xoff = false;
  TransmitNext();
  return true;
}

bool SimSerialLine::GetTimeouts(COMMTIMEOUTS& timeouts) {
  timeouts = m_timeouts;
  return true;
}

bool SimSerialLine::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  m_timeouts = timeouts;
  return true;
}

// --- reading

uint32_t SimSerialLine::Read(uint8_t* buffer, uint32_t count) {
  if (!m_open || count == 0) return 0;
  const ReadDeadline deadline(m_timeouts, count, m_time.NowMicros());
  uint32_t got = 0;
  uint64_t lastTaken = 0;
  for (;;) {
    bool took = false;
    while (got < count && !m_rx.empty()) {
      const uint8_t b = m_rx.front();
      m_rx.pop_front();
      if (m_dcb.fNull && b == 0) continue;
      buffer[got++] = b;
      took = true;
    }
    const uint64_t now = m_time.NowMicros();
    if (took) lastTaken = now;
    if (got >= count || now >= deadline.Until(got, lastTaken)) break;
    if (m_hungUp || m_hangUpPending || !m_connected) break;
    m_time.Sleep(1);
  }
  return got;
}

// --- writing

bool SimSerialLine::MaySend() const {
  return m_connected && !(m_dcb.fOutX && m_xoff) && !(m_dcb.fOutxCtsFlow && !m_cts);
}

void SimSerialLine::BeginWrite(const uint8_t* bytes, uint32_t count, bool background,
                               SerialLine::WriteDone done) {
  m_write = PendingWrite{};
  m_write.active = true;
  m_write.background = background;
  m_write.total = count;
  m_write.done = std::move(done);
  if (count == 0) {
    FinishWrite(0, false);
    return;
  }
  m_tx.insert(m_tx.end(), bytes, bytes + count);
  const uint64_t totalMs = static_cast<uint64_t>(m_timeouts.WriteTotalTimeoutMultiplier) * count +
                           m_timeouts.WriteTotalTimeoutConstant;
  if (totalMs > 0) {
    m_write.deadline = m_time.ScheduleAfter(totalMs * 1000, [this] {
      m_write.deadline = 0;
      // What has not gone onto the wire yet is dropped, as the driver does
      // with a timed-out write.
      m_tx.clear();
      FinishWrite(m_write.started, false);
    });
  }
  TransmitNext();
}

void SimSerialLine::FinishWrite(uint32_t written, bool refused) {
  if (!m_write.active || m_write.finished) return;
  if (m_write.deadline) m_time.Cancel(m_write.deadline);
  m_write.deadline = 0;
  m_write.finished = true;
  m_write.result = WriteResult{written, refused};
  if (m_write.background) {
    SerialLine::WriteDone done = std::move(m_write.done);
    const WriteResult result = m_write.result;
    m_write = PendingWrite{};
    if (done) done(result);
  }
}

WriteResult SimSerialLine::Write(const uint8_t* bytes, uint32_t count) {
  if (!m_open || !m_connected || m_hungUp) return WriteResult{0, true};
  BeginWrite(bytes, count, false, nullptr);
  while (!m_write.finished) {
    if (m_time.ScheduledActions() == 0) {
      throw HangError("COM" + std::to_string(m_com) +
                      ": a write without time-out waits for a far end that never takes the data");
    }
    m_time.Sleep(1);
  }
  const WriteResult result = m_write.result;
  m_write = PendingWrite{};
  return result;
}

bool SimSerialLine::WriteInBackground(const uint8_t* bytes, uint32_t count, SerialLine::WriteDone done) {
  if (WriterBusy()) return false;
  if (!m_open || !m_connected || m_hungUp) {
    if (done) done(WriteResult{0, true});
    return true;
  }
  BeginWrite(bytes, count, true, std::move(done));
  return true;
}

void SimSerialLine::TransmitNext() {
  if (m_txBusy || m_tx.empty() || !MaySend()) return;
  const uint8_t byte = m_tx.front();
  m_tx.pop_front();
  if (m_write.active && !m_write.finished) ++m_write.started;
  const LineFormat format = PortFormat();
  const double start = std::max(static_cast<double>(m_time.NowMicros()), m_txFreeAt);
  m_toFar.Transmit(start, format, byte);
  m_txBusy = true;
  m_txFreeAt = start + CharacterTime(format);
  m_txDone = m_time.ScheduleAt(AtMicros(m_txFreeAt), [this] { OnTransmitted(); });
}

void SimSerialLine::OnTransmitted() {
  m_txDone = 0;
  m_txBusy = false;
  if (m_write.active && !m_write.finished && m_write.sent < m_write.started) {
    if (++m_write.sent == m_write.total) FinishWrite(m_write.total, false);
  }
  TransmitNext();
}

bool SimSerialLine::Purge(uint32_t flags) {
  if (!m_open) return false;
  if (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) {
    m_tx.clear();
    if (m_write.active && !m_write.finished) FinishWrite(m_write.started, true);
  }
  if (flags & PURGE_RXCLEAR) m_rx.clear();
  return true;
}

// --- the port's reader

void SimSerialLine::StartReader(SerialLineEvents& events) {
  m_events = &events;
  m_lastRound = m_time.NowMicros();
  m_pauseUntil = 0;
  if (!m_connected) {
    m_hangUpPending = true;
    ScheduleRound(m_time.NowMicros());
  }
}

void SimSerialLine::OnPortCharacter(const ReceivedCharacter& c) {
  if (!m_open || m_hungUp) return;
  const uint64_t now = m_time.NowMicros();
  bool urgent = false;
  if (c.framingError || c.parityError) {
    m_errors.frame = m_errors.frame || c.framingError;
    m_errors.parity = m_errors.parity || c.parityError;
    m_errorPending = true;
    urgent = true;
  }
  const bool clean = !c.framingError && !c.parityError;
  if (clean && m_dcb.fOutX &&
      (c.byte == static_cast<uint8_t>(m_dcb.XoffChar) || c.byte == static_cast<uint8_t>(m_dcb.XonChar))) {
    // Flow control characters are the driver's, not data.
    m_xoff = c.byte == static_cast<uint8_t>(m_dcb.XoffChar);
    TransmitNext();
  } else if (m_rx.size() >= kQueueBytes) {
    m_errors.overrun = true;
    m_errorPending = true;
    urgent = true;
  } else {
    urgent = urgent || m_rx.empty();
    m_rx.push_back(c.byte);
    m_rxArrived = true;
  }
  if (!m_events) return;
  if (urgent) {
    ScheduleRound(std::max(now, m_pauseUntil));
  } else if (m_rxArrived) {
    ScheduleRound(std::max<uint64_t>({now, m_pauseUntil, m_lastRound + kSampleMs * 1000ull}));
  }
}

void SimSerialLine::ScheduleRound(uint64_t atMicros) {
  if (m_round) {
    if (m_roundAt <= atMicros) return;
    m_time.Cancel(m_round);
  }
  m_roundAt = atMicros;
  m_round = m_time.ScheduleAt(atMicros, [this] { Round(); });
}

void SimSerialLine::Round() {
  m_round = 0;
  if (!m_events) return;
  ++m_rounds;
  const uint64_t now = m_time.NowMicros();
  m_lastRound = now;
  if (m_hangUpPending) {
    m_hangUpPending = false;
    m_hungUp = true;
    m_events->OnHangUp();
    return;
  }
  const bool rx = m_rxArrived;
  m_rxArrived = false;
  const uint32_t pause = m_events->OnReaderRound(rx, m_time.TickCount());
  if (m_errorPending && m_events) {
    const LineErrors errors = m_errors;
    m_errors = {};
    m_errorPending = false;
    m_events->OnLineErrors(errors);
  }
  m_pauseUntil = now + static_cast<uint64_t>(pause) * 1000;
  if (m_events && m_events->WantsTimedRound()) ScheduleRound(now + kTimedRoundMs * 1000ull);
}

}  // namespace platform::sim
