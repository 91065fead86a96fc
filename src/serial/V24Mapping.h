#pragma once

#include <cstdint>

#include "platform/SerialDcb.h"
#include "platform/SerialTimeouts.h"
#include "serial/V24ParameterTag.h"

namespace serial {

using platform::COMMTIMEOUTS;
using platform::DCB;

// How the parameter record maps to the driver records. A value outside its
// enumeration (a damaged settings file) maps like the field's value in a
// fresh parameter set: 8 data bits, no parity, 1 stop bit, 4800 baud, no
// handshake.
uint32_t BaudRateOf(BaudTag baud);
uint8_t ByteSizeOf(DatBitTag bits);
uint8_t ParityOf(ParitaetTag parity);
uint8_t StopBitsOf(StopBitTag stopBits);
HandshakeTag ValidHandshake(HandshakeTag handshake);

// Clears the handshake fields and sets them for `handshake` (fInX untouched).
void ApplyHandshake(DCB& dcb, HandshakeTag handshake);

// The fresh DCB that Open applies.
DCB MakeDcb(const V24ParameterTag& record);

// The time-outs that Open applies: 20 ms interval; a read constant of 1 when
// both read parts are 0 (0/0 would mean no total limit). A negative value
// (only a damaged record holds one) counts as 0.
COMMTIMEOUTS MakeTimeouts(const V24ParameterTag& record);

}  // namespace serial
