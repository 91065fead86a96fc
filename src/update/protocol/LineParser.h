#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/EventQueue.h"

namespace update {

// Turns what an instrument sends into CodeEvents: answer lines ("A.", "B.",
// "C.", "I." with "#" text or "$" value, "!" acknowledgement, "?"
// rejection), boot-loader frames and boot-loader bytes. One parser serves
// all ports; only one instrument is served at a time. GUI thread only.
class LineParser {
 public:
  // Capacities in characters, without a terminating zero.
  static constexpr size_t kAccumulatorCapacity = 1019;
  static constexpr size_t kLineCapacity = 499;
  static constexpr size_t kBodyCapacity = 99;
  static constexpr size_t kParameterCapacity = 255;
  // Texts and values handed out with posted Events stay valid for this many
  // later posts, which is more than the queue can hold.
  static constexpr size_t kKeptTexts = 64;

  using LogFunction = std::function<void(const std::string&)>;

  struct Result {
    bool acknowledged = false;  // a line ended in "!"
  };

  // Appends the bytes read from one port to the accumulator (a NUL becomes a
  // blank) and posts every CodeEvent they complete, in order. Every complete
  // line goes to `log` with " <-" appended.
  Result Feed(const uint8_t* bytes, size_t count, core::EventQueue& queue, const LogFunction& log);

  // The device search drops what was received at the previous baud rate.
  void ClearAccumulator() { m_accumulator.clear(); }
  size_t AccumulatedCount() const { return m_accumulator.size(); }

  // Set once a frame or a boot-loader byte was recognised; the run clears it.
  bool FrameSeen() const { return m_frameSeen; }
  void ClearFrameSeen() { m_frameSeen = false; }

  int32_t LastAnswerNumber() const { return m_lastNumber; }
  float LastAnswerValue() const { return m_lastValue; }
  const std::string& ParameterText() const { return m_parameter; }
  const std::string& CurrentLine() const { return m_line; }
  const std::string& AnswerBody() const { return m_body; }

 private:
  void HandleLine(core::EventQueue& queue);
  // Returns true when a complete frame was taken out of the accumulator.
  bool TakeFrame(core::EventQueue& queue, bool& markerFound);
  void TakeLoaderByte(core::EventQueue& queue);
  const char* KeepText(const std::string& text);
  float* KeepValue(float value);

  std::string m_accumulator;
  std::string m_line;
  std::string m_body;
  std::string m_parameter;
  int32_t m_lastNumber = 0;
  float m_lastValue = 0.0f;
  bool m_frameSeen = false;

  std::array<std::string, kKeptTexts> m_keptTexts;
  size_t m_nextText = 0;
  std::array<float, kKeptTexts> m_keptValues{};
  size_t m_nextValue = 0;
};

}  // namespace update
