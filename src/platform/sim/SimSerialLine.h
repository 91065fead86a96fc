#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/SerialLine.h"
#include "platform/sim/LineFormat.h"
#include "platform/sim/SimLinePeer.h"
#include "platform/sim/SimUartReceiver.h"
#include "platform/sim/VirtualTime.h"

namespace platform::sim {

// A serial cable in virtual time between a port (the near end, driven by
// the serial component through SimSerialPort) and a peer at the far end.
//
// Each direction carries a bit stream: a character takes its time at the
// sender's format and the receiver samples it at its own, so a mismatch of
// baud rate, parity or data bits garbles it and raises framing errors both
// ways. The port obeys XON/XOFF (fOutX) and CTS (fOutxCtsFlow) from the far
// end; writes that cannot finish in their time-out come back short. Reads
// wait in virtual time for the 20 ms gap after the last byte or the total
// time-out, as on a real port.
//
// Everything runs on the thread that runs virtual time.
class SimSerialLine final : public SimLineFarEnd {
 public:
  static constexpr size_t kQueueBytes = 32768;
  // The reader looks again this often while unread data sits in the buffer.
  static constexpr uint32_t kSampleMs = 50;
  static constexpr uint32_t kTimedRoundMs = 1000;

  SimSerialLine(VirtualTime& time, uint32_t comNumber);
  ~SimSerialLine() override;
  SimSerialLine(const SimSerialLine&) = delete;
  SimSerialLine& operator=(const SimSerialLine&) = delete;

  uint32_t ComNumber() const { return m_com; }

  // SimLineFarEnd
  void Attach(SimLinePeer* peer) override;
  void Send(const uint8_t* bytes, size_t count, uint64_t delayMicros = 0) override;
  void Disconnect() override;
  void SetClearToSend(bool up) override;

  // What a test may look at.
  bool PortOpen() const { return m_open; }
  bool Connected() const { return m_connected; }
  LineFormat PortFormat() const;
  const DCB& PortState() const { return m_dcb; }
  size_t BufferedForPort() const { return m_rx.size(); }
  // Rounds the port's reader has made (with or without data).
  uint64_t ReaderRounds() const { return m_rounds; }

  // The near end, for SimSerialPort.
  bool OpenPort();
  void ClosePort();
  bool GetState(DCB& dcb);
  bool SetState(const DCB& dcb);
  bool GetTimeouts(COMMTIMEOUTS& timeouts);
  bool SetTimeouts(const COMMTIMEOUTS& timeouts);
  void StartReader(SerialLineEvents& events);
  uint32_t Read(uint8_t* buffer, uint32_t count);
  WriteResult Write(const uint8_t* bytes, uint32_t count);
  bool WriteInBackground(const uint8_t* bytes, uint32_t count, SerialLine::WriteDone done);
  bool WriterBusy() const { return m_write.active && m_write.background; }
  bool Purge(uint32_t flags);

 private:
  struct PendingWrite {
    bool active = false;
    bool background = false;
    bool finished = false;
    uint32_t total = 0;
    uint32_t started = 0;  // bytes that went onto the wire
    uint32_t sent = 0;     // bytes completely on the wire
    WriteResult result;
    SerialLine::WriteDone done;
    VirtualTime::ActionId deadline = 0;
  };

  void BeginWrite(const uint8_t* bytes, uint32_t count, bool background, SerialLine::WriteDone done);
  void FinishWrite(uint32_t written, bool refused);
  void TransmitNext();
  void OnTransmitted();
  bool MaySend() const;

  void OnPortCharacter(const ReceivedCharacter& c);
  void ScheduleRound(uint64_t atMicros);
  void Round();

  VirtualTime& m_time;
  uint32_t m_com;
  SimLinePeer* m_peer = nullptr;
  bool m_connected = true;
  bool m_cts = true;

  // Far end -> port.
  SimUartReceiver m_toPort;
  double m_farFreeAt = 0;  // us: when the far end's transmitter is free

  // Port -> far end.
  SimUartReceiver m_toFar;
  std::deque<uint8_t> m_tx;
  bool m_txBusy = false;
  double m_txFreeAt = 0;
  VirtualTime::ActionId m_txDone = 0;
  bool m_xoff = false;  // the far end sent XOFF
  PendingWrite m_write;

  // The port.
  bool m_open = false;
  DCB m_dcb{};
  COMMTIMEOUTS m_timeouts{};
  std::deque<uint8_t> m_rx;

  // The port's reader.
  SerialLineEvents* m_events = nullptr;
  bool m_rxArrived = false;
  LineErrors m_errors;
  bool m_errorPending = false;
  bool m_hangUpPending = false;
  bool m_hungUp = false;
  uint64_t m_lastRound = 0;
  uint64_t m_pauseUntil = 0;
  VirtualTime::ActionId m_round = 0;
  uint64_t m_roundAt = 0;
  uint64_t m_rounds = 0;
};

}  // namespace platform::sim
