#pragma once

#include "core/Event.h"

namespace core {

class EventQueue;

// A subscription is the pair (function, owner). The function is a plain
// trampoline, one per member function, so the pair stays comparable and
// Unsubscribe finds it again:
//   queue.Subscribe(MakeHandler<&TUpdateForm::UpdateStateMachine>(this));
struct EventHandler {
  using Function = Event (*)(void* owner, EventQueue& queue, Event event);

  Function function = nullptr;
  void* owner = nullptr;

  Event operator()(EventQueue& queue, Event event) const { return function(owner, queue, event); }
  friend bool operator==(const EventHandler& a, const EventHandler& b) {
    return a.function == b.function && a.owner == b.owner;
  }
};

namespace detail {
template <auto Method>
struct MethodTraits;
template <class Owner, Event (Owner::*Method)(EventQueue&, Event)>
struct MethodTraits<Method> {
  using OwnerType = Owner;
  static Event Call(void* owner, EventQueue& queue, Event event) {
    return (static_cast<Owner*>(owner)->*Method)(queue, event);
  }
};
}  // namespace detail

template <auto Method>
EventHandler MakeHandler(typename detail::MethodTraits<Method>::OwnerType* owner) {
  return EventHandler{&detail::MethodTraits<Method>::Call, owner};
}

}  // namespace core
