#include "programmers/LoaderHandOver.h"

#include <algorithm>

#include "core/EventCodes.h"
#include "platform/SerialDcb.h"

namespace programmers {
namespace {

// The request commands, by loader mode.
constexpr const char* kAskVector[3] = {"A.5577\r\n", "A.5555\r\n", "A.5555\r\n"};
constexpr const char* kHandOver[3] = {"A.5588#QT48\r\n", "A.5566#QT48\r\n", "A.5567#QT48\r\n"};
// The instrument's program takes the next command only after a pause.
constexpr int32_t kAfterAcknowledgementMs = 1000;

}  // namespace

void LoaderPort::Switch(serial::BaudTag baud, serial::StopBitTag stopBits, serial::ParitaetTag parity) {
  m_port.ChangeV24Parameter(baud, stopBits, parity, false);
}

void LoaderPort::Enter(serial::BaudTag baud, serial::StopBitTag stopBits, serial::ParitaetTag parity) {
  Switch(baud, stopBits, parity);
  m_port.ChangeHandShake(serial::NoHandshake);
  m_delay.DelayTime(m_waits.entryMs, false);
  m_port.ClearBuffer(platform::PURGE_RXCLEAR);
}

void LoaderPort::Restore(bool slow) {
  if (slow)
    m_port.ChangeV24Parameter(serial::B__9600, serial::S_2, serial::NoParity, true);
  else
    m_port.LoadLastV24Parameter();
  m_delay.DelayTime(m_waits.restoreMs, false);
}

LoaderHandOver::LoaderHandOver(Client& client, ProgrammerRecord& record, serial::TComPort& port,
                               serial::TDelay& delay, LoaderPort::Waits waits)
    : m_client(client), m_record(record), m_delay(delay), m_port(port, delay, waits) {}

void LoaderHandOver::Begin() {
  m_loaderMode = std::clamp(m_record.LoaderMode, 0, 2);
  m_askVector = m_record.AskResetVector;
  m_phase = Phase::kHello;
}

bool LoaderHandOver::OnCode(int32_t code, const char* text, bool loaderActive) {
  namespace codes = core::codes;
  switch (code) {
    case codes::kAnswerResetVector:
    case codes::kAnswerResetVector2:
      if (m_phase == Phase::kQuestion) TakeVector(text);
      return true;
    case codes::kAcknowledged:
      // Only the hello's "!" moves the request on. The one to the hand-over
      // command comes from an instrument in its loader now, where another
      // ask (or hand-over) would only be noise.
      if (m_phase != Phase::kHello) return true;
      if (m_record.ImageByChipId) {
        m_loaderMode = 2;
        if (m_client.ChipIdImageSkipsQuestion()) m_askVector = false;
      }
      m_delay.DelayTime(kAfterAcknowledgementMs, false);
      if (m_askVector) {
        m_phase = Phase::kQuestion;
        m_client.SendCommand(kAskVector[m_loaderMode]);
      } else {
        TakeVector(m_client.DefaultVectorText());
      }
      return true;
    case codes::kAnswerLine:
      if (m_phase == Phase::kHandOver && !loaderActive) m_client.EnterLoader(true);
      return true;
    case codes::kRejected:
      if (m_phase != Phase::kOver) m_client.RequestRefused();
      return true;
    default:
      return false;
  }
}

void LoaderHandOver::TakeVector(const char* text) {
  const int32_t vector = m_client.TakeVectorText(text);
  m_phase = Phase::kHandOver;
  m_record.ResetVector = vector;
  m_record.ResetVectorKnown = true;
  m_client.SendCommand(kHandOver[m_loaderMode]);
}

void LoaderHandOver::EnterLoaderLine() {
  // A loader entered by the hand-over starts at 9600; one that a failed run
  // left behind listens at the rate that run switched it to.
  if (!m_record.AlreadyInLoader) m_record.LoaderState.at38400 = false;
  m_port.Enter(m_record.LoaderState.at38400 ? serial::B_38400 : serial::B__9600, serial::S_1, serial::Even);
}

void LoaderHandOver::SetLoaderRate(bool at38400) {
  m_record.LoaderState.at38400 = at38400;
  m_port.Switch(at38400 ? serial::B_38400 : serial::B__9600, serial::S_1, serial::Even);
}

void LoaderHandOver::Restore(bool failed) {
  m_port.Restore(m_record.RestoreSlowParameters && !failed);
}

}  // namespace programmers
