#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

// A ring of fixed-length records over a byte store owned by someone else.
// The writer wraps lazily: after the record that fills the store the write
// position stands at `end` and goes back to `start` only when the next
// record comes. `lapped` is set when the writer wraps and cleared when the
// reader follows, which tells a full ring (positions equal, lapped) from an
// empty one (positions equal, not lapped).
//
// Unlike the bare ring the program was designed with, a write that would
// overwrite a record not yet read is refused: the ring never hands out a
// record twice or loses one without telling.
class RingBuffer {
 public:
  RingBuffer(uint8_t* store, int32_t start, int32_t end);

  // Appends one record. False when the ring is full (nothing changes).
  bool RingWrite(const void* record, uint16_t length);
  // Takes the next record into `destination`; returns the number of bytes
  // read, 0 when the ring is empty (nothing changes).
  uint16_t RingRead(void* destination, uint16_t length);

  int32_t WritePosition() const { return m_write; }
  int32_t ReadPosition() const { return m_read; }
  bool Lapped() const { return m_lapped; }
  bool Empty() const { return m_read >= m_write && !m_lapped; }

 private:
  int32_t m_write;
  int32_t m_read;
  int32_t m_start;
  int32_t m_end;
  bool m_lapped = false;
  uint8_t* m_store;
};

}  // namespace core
