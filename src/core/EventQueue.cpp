#include "core/EventQueue.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/DebugLog.h"

namespace core {

EventQueue::EventQueue() : m_ring(m_store.data(), 0, kStoreBytes) {}

int EventQueue::Subscribe(EventHandler handler) {
  if (std::find(m_chain.begin(), m_chain.end(), handler) == m_chain.end()) {
    m_chain.push_back(handler);
  }
  return 1;
}

int EventQueue::Unsubscribe(EventHandler handler) {
  auto it = std::find(m_chain.begin(), m_chain.end(), handler);
  if (it == m_chain.end()) return 0;
  m_chain.erase(it);
  return 1;
}

void EventQueue::Post(const Event& event) {
  if (!m_ring.RingWrite(&event, sizeof(Event))) {
    ++m_rejected;
    DebugLog("event queue full (" + std::to_string(kCapacity) + " waiting): event kind " +
             std::to_string(event.kind) + " code " + std::to_string(event.code) + " refused");
  }
}

void EventQueue::PostKey(int32_t key) {
  Event event;
  event.kind = kKeyEvent;
  event.code = key;
  Post(event);
}

void EventQueue::PostCode(int32_t code, EventText text) {
  if (code == 0) return;
  Event event;
  event.kind = kCodeEvent;
  event.code = code;
  event.text = text;
  Post(event);
}

void EventQueue::PostTimer(int32_t slot) {
  if (slot == 0) return;
  Event event;
  event.kind = kTimerEvent;
  event.code = slot;
  Post(event);
}

Event EventQueue::FetchEvent() {
  Event event;
  alignas(Event) uint8_t record[sizeof(Event)];
  if (m_ring.RingRead(record, sizeof(Event)) == sizeof(Event)) std::memcpy(&event, record, sizeof(Event));
  return event;
}

Event EventQueue::DispatchEvent(Event event) {
  // Take the pairs first: the handlers may change the chain while they run.
  constexpr size_t kInline = 8;
  std::array<EventHandler, kInline> inlinePairs;
  std::vector<EventHandler> morePairs;
  const EventHandler* pairs = inlinePairs.data();
  const size_t count = m_chain.size();
  if (count <= kInline) {
    std::copy(m_chain.begin(), m_chain.end(), inlinePairs.begin());
  } else {
    morePairs = m_chain;
    pairs = morePairs.data();
  }
  for (size_t i = count; i-- > 0;) event = pairs[i](*this, event);
  return event;
}

}  // namespace core
