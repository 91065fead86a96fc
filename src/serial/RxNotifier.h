#pragma once

#include <cstdint>
#include <mutex>

namespace serial {

// The notification rule of a port's reader (`Aktiv`): one data notification
// per burst until the owner reads (or resets), and while the owner does not
// read, about one repeat every 5 s when data keeps coming.
//
// Thread-safe: rounds come from the reader, ResetAktiv from the owner.
class RxNotifier {
 public:
  static constexpr uint32_t kRepeatMs = 5000;

  // One reader round. Returns true when a data notification is to be posted
  // now (Aktiv has just been set).
  bool OnRound(bool rxArrived, uint32_t nowMs);

  // The owner read (or asked for it): the next data is notified again.
  void ResetAktiv();
  // Posting the notification failed: let the next data try again.
  void PostFailed() { ResetAktiv(); }
  bool Aktiv() const;

  // Whether a round without data can still change anything (a remembered
  // arrival is waiting): the reader then comes back within about a second.
  bool WantsTimedRound() const;

  void SetPauseMs(uint32_t ms);
  uint32_t PauseMs() const;

  // Back to the state of a fresh reader.
  void Reset();

 private:
  mutable std::mutex m_lock;
  bool m_aktiv = false;
  bool m_seen = false;        // data came during the unanswered notification
  bool m_watch = false;       // the 5-second watch runs
  uint32_t m_watchStart = 0;  // ms
  bool m_remembered = false;  // an arrival remembered for a later round
  uint32_t m_pauseMs = 0;
};

}  // namespace serial
