#pragma once

#include <cstdint>

namespace serial {

// Which parameters the settings dialog lets the user change. The 13 flags
// are 13 consecutive bytes in this order, which the dialog relies on.
class TDlgParameter {
 public:
  struct Flags {
    bool DatenBits = false;
    bool Schnittstelle = false;
    bool Paritaet = false;
    bool StopBits = false;
    bool Baudrate = false;
    bool Handshake = false;
    bool RXTimeOut = false;
    bool RXTimeOutproChar = false;
    bool RXNotification = false;
    bool TXTimeOut = false;
    bool TXTimeOutproChar = false;
    bool KeinNullZeichen = false;
    bool KeinString = false;
  };
  static_assert(sizeof(Flags) == 13);

  Flags* GetFlags() { return &m_flags; }
  const Flags* GetFlags() const { return &m_flags; }

 private:
  Flags m_flags;
};

}  // namespace serial
