#include "update/protocol/LineParser.h"

#include <algorithm>

#include "core/EventCodes.h"
#include "update/protocol/AsciiNumbers.h"

namespace update {

namespace {

struct FrameMarker {
  const char* start;
  char bodyStart;
  char bodyEnd;
};

// Tried in this order; the first that occurs anywhere is used.
constexpr FrameMarker kFrameMarkers[] = {
    {"h00h", '\x1D', '\x0C'},
    {"h11h", '\x1E', '\x0A'},
    {"h,,h", '\x19', '\x0C'},
};
constexpr char kFrameStop = '\x16';
constexpr std::string_view kLineEnd = "\r\n";

// 1-based position of the first occurrence, 0 when absent.
size_t PositionOf(const std::string& line, std::string_view pattern) {
  const size_t found = line.find(pattern);
  return found == std::string::npos ? 0 : found + 1;
}

// The line from a 0-based offset on; empty past its end.
std::string_view From(const std::string& line, size_t offset) {
  return offset <= line.size() ? std::string_view(line).substr(offset) : std::string_view();
}

}  // namespace

const char* LineParser::KeepText(const std::string& text) {
  std::string& slot = m_keptTexts[m_nextText];
  m_nextText = (m_nextText + 1) % kKeptTexts;
  slot = text;
  return slot.c_str();
}

float* LineParser::KeepValue(float value) {
  float& slot = m_keptValues[m_nextValue];
  m_nextValue = (m_nextValue + 1) % kKeptTexts;
  slot = value;
  return &slot;
}

LineParser::Result LineParser::Feed(const uint8_t* bytes, size_t count, core::EventQueue& queue,
                                    const LogFunction& log) {
  for (size_t i = 0; i < count; ++i) m_accumulator.push_back(bytes[i] == 0 ? ' ' : static_cast<char>(bytes[i]));
  // Never hold more than the accumulator's room: what no line, frame or
  // loader byte has claimed by then is the oldest noise, and goes first.
  if (m_accumulator.size() > kAccumulatorCapacity) {
    m_accumulator.erase(0, m_accumulator.size() - kAccumulatorCapacity);
  }

  Result result;
  for (;;) {
    const size_t lineEnd = m_accumulator.find(kLineEnd);
    if (lineEnd != std::string::npos) {
      m_line.assign(m_accumulator, 0, std::min(lineEnd, kLineCapacity));
      m_accumulator.erase(0, lineEnd + kLineEnd.size());
      if (log) log(m_line + " <-");
      const bool acknowledged = !m_line.empty() && m_line.back() == '!';
      HandleLine(queue);
      result.acknowledged = result.acknowledged || acknowledged;
    }
    bool again = m_accumulator.find(kLineEnd) != std::string::npos;

    bool markerFound = false;
    if (TakeFrame(queue, markerFound)) again = true;
    // A loader byte is looked for only once no complete line is waiting, so
    // that a later line of the same chunk that merely contains a "Q" is not
    // thrown away with the accumulator.
    if (!markerFound && !again) TakeLoaderByte(queue);
    if (!again) break;
  }
  return result;
}

void LineParser::HandleLine(core::EventQueue& queue) {
  const size_t a = PositionOf(m_line, "A.");
  const size_t c = PositionOf(m_line, "C.");
  const size_t i = PositionOf(m_line, "I.");
  const size_t h = PositionOf(m_line, "#");
  const size_t d = PositionOf(m_line, "$");
  const size_t b = PositionOf(m_line, "B.");
  // "!" and "?" count only as the line's last character.
  const bool x = !m_line.empty() && m_line.back() == '!';
  const bool q = !m_line.empty() && m_line.back() == '?';
  if (!(a || c || i || b || x || q)) return;

  // The class letter's position; the number starts after its ".".
  const size_t s = a + c + i + b;
  if (i || b) {
    m_lastNumber = AsciiToLong(From(m_line, s + 1));
    m_parameter = h ? std::string(From(m_line, h).substr(0, kParameterCapacity)) : std::string();
    queue.PostCode(m_lastNumber, core::EventText::Of(KeepText(m_parameter)));
  }
  if (d) {
    m_lastNumber = AsciiToLong(From(m_line, s + 1));
    m_lastValue = AsciiToFloat(From(m_line, d));
    queue.PostCode(m_lastNumber, core::EventText::FloatRef(KeepValue(m_lastValue)));
  }
  if (x) queue.PostCode(core::codes::kAcknowledged);
  if (a || c) queue.PostCode(core::codes::kAnswerLine);
  if (q) queue.PostCode(core::codes::kRejected);
}

bool LineParser::TakeFrame(core::EventQueue& queue, bool& markerFound) {
  for (const FrameMarker& marker : kFrameMarkers) {
    const size_t start = m_accumulator.find(marker.start);
    if (start == std::string::npos) continue;
    markerFound = true;
    const size_t stop = m_accumulator.find(kFrameStop, start);
    if (stop == std::string::npos) return false;  // wait for the rest

    // The body lies between its start and end bytes, within the frame.
    m_body.clear();
    const size_t bodyStart = m_accumulator.find(marker.bodyStart, start);
    if (bodyStart != std::string::npos && bodyStart < stop) {
      size_t bodyEnd = m_accumulator.find(marker.bodyEnd, bodyStart + 1);
      if (bodyEnd == std::string::npos || bodyEnd > stop) bodyEnd = stop;
      m_body.assign(m_accumulator, bodyStart + 1, std::min(bodyEnd - bodyStart - 1, kBodyCapacity));
    }
    queue.PostCode(core::codes::kLoaderFrame, core::EventText::Of(KeepText(m_body)));
    m_accumulator.erase(start, stop - start + 1);
    m_frameSeen = true;
    return true;
  }
  return false;
}

void LineParser::TakeLoaderByte(core::EventQueue& queue) {
  size_t at = m_accumulator.find('\x90');
  if (at == std::string::npos) at = m_accumulator.find('Q');
  if (at == std::string::npos) return;
  const int8_t byte = static_cast<int8_t>(m_accumulator[at]);
  m_accumulator.clear();
  queue.PostCode(core::codes::kLoaderByte, core::EventText::Number(byte));
  m_frameSeen = true;
}

}  // namespace update
