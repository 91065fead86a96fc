#pragma once

#include <cstdint>
#include <type_traits>

namespace core {

// What an Event's `text` field carries. The program passes a text, a number
// (the COM number of a data notification, a boot-loader byte) or the address
// of a float, never an integer disguised as a pointer.
class EventText {
 public:
  enum class Kind : uint8_t { None, Text, Number, FloatRef };

  constexpr EventText() = default;
  static constexpr EventText Of(const char* text) {
    EventText t;
    if (text) {
      t.m_kind = Kind::Text;
      t.m_text = text;
    }
    return t;
  }
  static constexpr EventText Number(int32_t value) {
    EventText t;
    t.m_kind = Kind::Number;
    t.m_number = value;
    return t;
  }
  static constexpr EventText FloatRef(float* value) {
    EventText t;
    if (value) {
      t.m_kind = Kind::FloatRef;
      t.m_float = value;
    }
    return t;
  }

  constexpr Kind kind() const { return m_kind; }
  constexpr bool IsNull() const { return m_kind == Kind::None; }
  // The text, or null when the field holds no text.
  constexpr const char* Text() const { return m_kind == Kind::Text ? m_text : nullptr; }
  // The number, or 0 when the field holds no number.
  constexpr int32_t Number() const { return m_kind == Kind::Number ? m_number : 0; }
  constexpr float* Float() const { return m_kind == Kind::FloatRef ? m_float : nullptr; }

  friend constexpr bool operator==(const EventText& a, const EventText& b) {
    if (a.m_kind != b.m_kind) return false;
    switch (a.m_kind) {
      case Kind::None: return true;
      case Kind::Text: return a.m_text == b.m_text;
      case Kind::Number: return a.m_number == b.m_number;
      case Kind::FloatRef: return a.m_float == b.m_float;
    }
    return false;
  }

 private:
  Kind m_kind = Kind::None;
  union {
    const char* m_text = nullptr;
    int32_t m_number;
    float* m_float;
  };
};

enum EventKind : int32_t {
  kNoEvent = 0,
  kKeyEvent = 16,
  kCodeEvent = 256,
  kTimerEvent = 512,
};

// One Event, copied by value. The queue keeps the text's address, not the
// text: whoever posts keeps it valid until the Event has been dispatched.
struct Event {
  int32_t kind = kNoEvent;
  uint32_t reserved = 0;
  int32_t code = 0;
  EventText text;

  friend constexpr bool operator==(const Event& a, const Event& b) {
    return a.kind == b.kind && a.reserved == b.reserved && a.code == b.code && a.text == b.text;
  }
};

static_assert(std::is_trivially_copyable_v<Event>, "Events are copied into the ring as bytes");

// The consumed Event: a handler that acts on an Event returns this.
constexpr Event ClearEvent() { return Event{}; }

}  // namespace core
