#include "core/RingBuffer.h"

#include <cstring>

namespace core {

RingBuffer::RingBuffer(uint8_t* store, int32_t start, int32_t end)
    : m_write(start), m_read(start), m_start(start), m_end(end), m_store(store) {}

bool RingBuffer::RingWrite(const void* record, uint16_t length) {
  int32_t position = m_write;
  bool lapped = m_lapped;
  if (position + length > m_end) {
    // A writer that has lapped already and reaches the end again would
    // overwrite records the reader has not reached.
    if (lapped) return false;
    position = m_start;
    lapped = true;
  }
  // Once lapped, the free room is what lies before the read position.
  if (lapped && position + length > m_read) return false;
  std::memcpy(m_store + position, record, length);
  m_write = position + length;
  m_lapped = lapped;
  return true;
}

uint16_t RingBuffer::RingRead(void* destination, uint16_t length) {
  if (!(m_read < m_write || m_lapped)) return 0;
  if (m_read + length > m_end) {
    m_read = m_start;
    m_lapped = false;
  }
  std::memcpy(destination, m_store + m_read, length);
  m_read += length;
  return length;
}

}  // namespace core
