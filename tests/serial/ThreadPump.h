#pragma once

// A message pump for tests with real threads: the test's thread is the
// owner's thread and pumps; readers and writers post from theirs.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/MessagePump.h"

namespace serialtest {

class ThreadPump final : public platform::MessagePump {
 public:
  using Clock = std::chrono::steady_clock;

  void Post(Message message) override {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_queue.push_back(std::move(message));
    }
    m_cv.notify_all();
  }
  void ProcessMessages() override {
    Message m;
    while (Pop(m, Clock::now())) m();
  }
  void WaitForMessages() override {
    Message m;
    if (Pop(m, Clock::now() + std::chrono::hours(1))) m();
    ProcessMessages();
  }
  void ProcessUntil(uint32_t /*deadline*/) override { ProcessMessages(); }
  void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  // Pumps until `done()` holds or `timeout` has passed; returns done().
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    for (;;) {
      ProcessMessages();
      if (done()) return true;
      Message m;
      if (!Pop(m, end)) return done();
      m();
    }
  }
  // Pumps for `duration`.
  void PumpFor(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
  }

 private:
  bool Pop(Message& out, Clock::time_point until) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_cv.wait_until(lock, until, [this] { return !m_queue.empty(); })) return false;
    out = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
  }

  std::mutex m_lock;
  std::condition_variable m_cv;
  std::deque<Message> m_queue;
};

}  // namespace serialtest
