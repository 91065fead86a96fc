#include "platform/sim/VirtualTime.h"

#include <utility>

namespace platform::sim {

VirtualTime::VirtualTime(uint32_t startTick) : m_startTick(startTick) {}

uint32_t VirtualTime::TickCount() const {
  return m_startTick + static_cast<uint32_t>(m_now / 1000);
}

VirtualTime::ActionId VirtualTime::ScheduleAt(uint64_t atMicros, Action action) {
  const Key key{atMicros < m_now ? m_now : atMicros, ++m_seq};
  m_actions.emplace(key, std::move(action));
  m_index.emplace(key.seq, key);
  return key.seq;
}

VirtualTime::ActionId VirtualTime::ScheduleAfter(uint64_t delayMicros, Action action) {
  return ScheduleAt(m_now + delayMicros, std::move(action));
}

bool VirtualTime::Cancel(ActionId id) {
  auto it = m_index.find(id);
  if (it == m_index.end()) return false;
  m_actions.erase(it->second);
  m_index.erase(it);
  return true;
}

bool VirtualTime::NextActionTime(uint64_t& at) const {
  if (m_actions.empty()) return false;
  at = m_actions.begin()->first.at;
  return true;
}

void VirtualTime::RunDueActions() {
  while (!m_actions.empty() && m_actions.begin()->first.at <= m_now) {
    auto node = m_actions.extract(m_actions.begin());
    m_index.erase(node.key().seq);
    node.mapped()();
  }
}

void VirtualTime::AdvanceTo(uint64_t micros) {
  if (micros > m_limit) {
    Hang("virtual time would pass its limit of " + std::to_string(m_limit / 1000) +
         " ms; a wait in the code under test never ends");
  }
  uint64_t at = 0;
  while (NextActionTime(at) && at <= micros) {
    if (at > m_now) m_now = at;
    RunDueActions();
  }
  if (micros > m_now) m_now = micros;
}

bool VirtualTime::PopMessage(Message& out) {
  std::lock_guard<std::mutex> lock(m_messagesLock);
  if (m_messages.empty()) return false;
  out = std::move(m_messages.front());
  m_messages.pop_front();
  return true;
}

size_t VirtualTime::PendingMessages() const {
  std::lock_guard<std::mutex> lock(m_messagesLock);
  return m_messages.size();
}

void VirtualTime::Post(Message message) {
  std::lock_guard<std::mutex> lock(m_messagesLock);
  m_messages.push_back(std::move(message));
}

void VirtualTime::ProcessMessages() {
  RunDueActions();
  Message message;
  while (PopMessage(message)) {
    ++m_delivered;
    message();
    RunDueActions();
  }
}

void VirtualTime::WaitForMessages() {
  RunDueActions();
  while (PendingMessages() == 0) {
    uint64_t at = 0;
    if (!NextActionTime(at)) {
      Hang("WaitForMessages with nothing scheduled: no message is pending and no timer, "
           "line or model will ever post one");
    }
    AdvanceTo(at);
  }
  ProcessMessages();
}

uint64_t VirtualTime::TargetFor(uint32_t deadline) const {
  const int32_t ahead = static_cast<int32_t>(deadline - TickCount());
  if (ahead <= 0) return m_now;
  return (m_now / 1000 + static_cast<uint64_t>(ahead)) * 1000;
}

void VirtualTime::ProcessUntil(uint32_t deadline) {
  for (;;) {
    ProcessMessages();
    if (TickReached(TickCount(), deadline)) return;
    const uint64_t target = TargetFor(deadline);
    uint64_t at = 0;
    AdvanceTo(NextActionTime(at) && at < target ? at : target);
  }
}

void VirtualTime::Sleep(uint32_t ms) {
  AdvanceTo(m_now + static_cast<uint64_t>(ms) * 1000);
}

void VirtualTime::Hang(const std::string& why) const {
  throw HangError("virtual time " + std::to_string(m_now / 1000) + " ms: " + why);
}

}  // namespace platform::sim
