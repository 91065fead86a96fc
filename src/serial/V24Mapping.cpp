#include "serial/V24Mapping.h"

namespace serial {

namespace {

template <typename Tag>
bool InRange(Tag value, int32_t count) {
  const int32_t v = static_cast<int32_t>(value);
  return v >= 0 && v < count;
}

uint32_t NonNegative(int32_t ms) {
  return ms < 0 ? 0u : static_cast<uint32_t>(ms);
}

}  // namespace

uint32_t BaudRateOf(BaudTag baud) {
  static constexpr uint32_t kRates[kBaudCount] = {1200,  2400,  4800,   9600,   19200,
                                                  38400, 57600, 115200, 128000, 256000};
  return kRates[InRange(baud, kBaudCount) ? baud : B__4800];
}

uint8_t ByteSizeOf(DatBitTag bits) {
  return InRange(bits, kDatBitCount) && bits == D_7 ? 7 : 8;
}

uint8_t ParityOf(ParitaetTag parity) {
  static constexpr uint8_t kParity[kParitaetCount] = {platform::NOPARITY, platform::ODDPARITY,
                                                      platform::EVENPARITY, platform::MARKPARITY,
                                                      platform::SPACEPARITY};
  return kParity[InRange(parity, kParitaetCount) ? parity : NoParity];
}

uint8_t StopBitsOf(StopBitTag stopBits) {
  static constexpr uint8_t kStop[kStopBitCount] = {platform::ONESTOPBIT, platform::ONE5STOPBITS,
                                                   platform::TWOSTOPBITS};
  return kStop[InRange(stopBits, kStopBitCount) ? stopBits : S_1];
}

HandshakeTag ValidHandshake(HandshakeTag handshake) {
  return InRange(handshake, kHandshakeCount) ? handshake : NoHandshake;
}

void ApplyHandshake(DCB& dcb, HandshakeTag handshake) {
  dcb.fOutX = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fRtsControl = platform::RTS_CONTROL_ENABLE;
  switch (ValidHandshake(handshake)) {
    case RTS_CTS:
      dcb.fRtsControl = platform::RTS_CONTROL_HANDSHAKE;
      dcb.fOutxCtsFlow = 1;
      break;
    case XonXoff:
    case Nardek_XonXoff:
      dcb.fOutX = 1;
      break;
    case NoHandshake:
      break;
  }
}

DCB MakeDcb(const V24ParameterTag& record) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = BaudRateOf(record.Baudrate);
  dcb.ByteSize = ByteSizeOf(record.DatenBits);
  dcb.Parity = ParityOf(record.Paritaet);
  dcb.StopBits = StopBitsOf(record.StopBits);
  dcb.XonChar = platform::kXon;
  dcb.XoffChar = platform::kXoff;
  dcb.fBinary = 1;
  dcb.fNull = record.KeinNullZeichen != 0 ? 1 : 0;
  dcb.fInX = 0;  // we obey XON/XOFF but never send them
  ApplyHandshake(dcb, record.Handshake);
  return dcb;
}

COMMTIMEOUTS MakeTimeouts(const V24ParameterTag& record) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = 20;
  t.ReadTotalTimeoutMultiplier = NonNegative(record.RXTimeOutproChar);
  t.ReadTotalTimeoutConstant = NonNegative(record.RXTimeOut);
  if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) t.ReadTotalTimeoutConstant = 1;
  t.WriteTotalTimeoutMultiplier = NonNegative(record.TXTimeOutproChar);
  t.WriteTotalTimeoutConstant = NonNegative(record.TXTimeOut);
  return t;
}

}  // namespace serial
