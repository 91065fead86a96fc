#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "serial/V24Types.h"

namespace serial {

// The parameter record of one port: 48 bytes, little-endian; the settings
// file holds exactly these bytes. Time-outs are signed milliseconds.
struct V24ParameterTag {
  DatBitTag DatenBits = D_8;
  ParitaetTag Paritaet = NoParity;
  StopBitTag StopBits = S_1;
  BaudTag Baudrate = B__4800;
  HandshakeTag Handshake = NoHandshake;
  int32_t RXTimeOut = 0;          // constant part of the read time-out
  int32_t TXTimeOut = 1000;       // constant part of the write time-out
  ComTag Schnittstelle = Com__1;  // 0-based port number
  uint8_t KeinNullZeichen = 0;    // 0/1: received NUL bytes are dropped
  uint8_t KeinString = 0;         // 0/1: Read appends no terminating NUL
  uint8_t padding[2] = {0, 0};    // kept as read and written
  int32_t RXNotification = 0;     // pause of the reader after each notification
  int32_t RXTimeOutproChar = 0;   // read time-out per requested byte
  int32_t TXTimeOutproChar = 0;   // write time-out per written byte

  friend bool operator==(const V24ParameterTag&, const V24ParameterTag&) = default;
};

static_assert(std::endian::native == std::endian::little, "the record is stored in host order");
static_assert(std::is_trivially_copyable_v<V24ParameterTag>);
static_assert(sizeof(V24ParameterTag) == 48);
static_assert(offsetof(V24ParameterTag, DatenBits) == 0);
static_assert(offsetof(V24ParameterTag, Paritaet) == 4);
static_assert(offsetof(V24ParameterTag, StopBits) == 8);
static_assert(offsetof(V24ParameterTag, Baudrate) == 12);
static_assert(offsetof(V24ParameterTag, Handshake) == 16);
static_assert(offsetof(V24ParameterTag, RXTimeOut) == 20);
static_assert(offsetof(V24ParameterTag, TXTimeOut) == 24);
static_assert(offsetof(V24ParameterTag, Schnittstelle) == 28);
static_assert(offsetof(V24ParameterTag, KeinNullZeichen) == 32);
static_assert(offsetof(V24ParameterTag, KeinString) == 33);
static_assert(offsetof(V24ParameterTag, padding) == 34);
static_assert(offsetof(V24ParameterTag, RXNotification) == 36);
static_assert(offsetof(V24ParameterTag, RXTimeOutproChar) == 40);
static_assert(offsetof(V24ParameterTag, TXTimeOutproChar) == 44);

}  // namespace serial
