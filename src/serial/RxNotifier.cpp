#include "serial/RxNotifier.h"

namespace serial {

bool RxNotifier::OnRound(bool rxArrived, uint32_t nowMs) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!rxArrived && !m_remembered) return false;
  if (!m_aktiv) {
    m_aktiv = true;
    m_remembered = false;
    m_seen = false;
    m_watch = false;
    return true;
  }
  // The owner has not read since the last notification.
  if (m_watch && nowMs - m_watchStart > kRepeatMs) {
    m_aktiv = false;
    m_watch = false;
  }
  if (m_seen && !m_watch) {
    m_watch = true;
    m_watchStart = nowMs;
    // What this round saw: a round without data forgets the arrival.
    m_remembered = rxArrived;
  }
  m_seen = true;
  return false;
}

void RxNotifier::ResetAktiv() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_aktiv = false;
}

bool RxNotifier::Aktiv() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_aktiv;
}

bool RxNotifier::WantsTimedRound() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_remembered;
}

void RxNotifier::SetPauseMs(uint32_t ms) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_pauseMs = ms;
}

uint32_t RxNotifier::PauseMs() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_pauseMs;
}

void RxNotifier::Reset() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_aktiv = m_seen = m_watch = m_remembered = false;
  m_watchStart = 0;
}

}  // namespace serial
