#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/Event.h"
#include "core/EventHandler.h"
#include "core/RingBuffer.h"

namespace core {

// The program's one queue of Events and the chain of handlers they are
// handed to. GUI thread only; no locks.
class EventQueue {
 public:
  static constexpr int kCapacity = 50;
  static constexpr int32_t kStoreBytes = kCapacity * static_cast<int32_t>(sizeof(Event));

  EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // Appends the pair at the tail unless it is subscribed already. Always 1.
  int Subscribe(EventHandler handler);
  // 1 when the pair was found and removed, 0 otherwise.
  int Unsubscribe(EventHandler handler);
  size_t HandlerCount() const { return m_chain.size(); }

  void PostKey(int32_t key);
  // Nothing is posted for code 0 (or slot 0).
  void PostCode(int32_t code, EventText text = {});
  void PostCode(int32_t code, const char* text) { PostCode(code, EventText::Of(text)); }
  void PostTimer(int32_t slot);

  // The oldest Event, or an all-zero Event when the queue is empty.
  Event FetchEvent();

  // Hands the Event to the newest handler first; each older handler gets
  // what the one before it returned. Handlers subscribed during the
  // dispatch first see the next Event; handlers unsubscribed during it are
  // still called for this one if their turn has not come.
  Event DispatchEvent(Event event);

  // Posts refused because 50 Events were waiting. The program never comes
  // near the limit; a refused post is logged and counted so it cannot go
  // unnoticed.
  uint64_t RejectedPosts() const { return m_rejected; }
  const RingBuffer& Ring() const { return m_ring; }

 private:
  void Post(const Event& event);

  std::vector<EventHandler> m_chain;  // head first = oldest subscription
  alignas(Event) std::array<uint8_t, kStoreBytes> m_store{};
  RingBuffer m_ring;
  uint64_t m_rejected = 0;
};

}  // namespace core
