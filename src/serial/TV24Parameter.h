#pragma once

#include <cstdint>
#include <string>

#include "serial/V24ParameterTag.h"

namespace serial {

// The parameter set of a port and its settings file. The file is used only
// while streaming is on: the flag given to the last GetParameter was true
// and the file name given with it is longer than 3 characters.
// Owner's thread only.
class TV24Parameter {
 public:
  static constexpr int32_t kFileError = -10;

  // Copies p; writes the settings file when streaming (result dropped).
  void PutParameter(const V24ParameterTag& p);
  // Takes over the streaming flag and file name; reads the file when
  // streaming. Returns the record, which the caller may change.
  V24ParameterTag* GetParameter(bool streamOn, const std::string& fileName);

  // Reads up to 48 bytes of `fileName` over `record` (RXNotification is set
  // to 0 first). A missing file is created from `record`; then -10.
  static int32_t LoadFromFile(const std::string& fileName, V24ParameterTag& record);
  // Writes the 48 bytes at the start of the file (created, never truncated).
  static int32_t SaveToFile(const std::string& fileName, const V24ParameterTag& record);

  bool Streaming() const { return m_streamOn && m_fileName.size() > 3; }
  const std::string& FileName() const { return m_fileName; }
  V24ParameterTag& Record() { return m_record; }
  const V24ParameterTag& Record() const { return m_record; }

  // The published properties; each reads and writes its field directly.
  ComTag Schnittstelle() const { return m_record.Schnittstelle; }
  void SetSchnittstelle(ComTag v) { m_record.Schnittstelle = v; }
  DatBitTag DatenBits() const { return m_record.DatenBits; }
  void SetDatenBits(DatBitTag v) { m_record.DatenBits = v; }
  StopBitTag StopBits() const { return m_record.StopBits; }
  void SetStopBits(StopBitTag v) { m_record.StopBits = v; }
  ParitaetTag Paritaet() const { return m_record.Paritaet; }
  void SetParitaet(ParitaetTag v) { m_record.Paritaet = v; }
  BaudTag Baudrate() const { return m_record.Baudrate; }
  void SetBaudrate(BaudTag v) { m_record.Baudrate = v; }
  HandshakeTag Handshake() const { return m_record.Handshake; }
  void SetHandshake(HandshakeTag v) { m_record.Handshake = v; }
  int32_t RXTimeOut() const { return m_record.RXTimeOut; }
  void SetRXTimeOut(int32_t v) { m_record.RXTimeOut = v; }
  int32_t RXTimeOutproChar() const { return m_record.RXTimeOutproChar; }
  void SetRXTimeOutproChar(int32_t v) { m_record.RXTimeOutproChar = v; }
  int32_t RXNotification() const { return m_record.RXNotification; }
  void SetRXNotification(int32_t v) { m_record.RXNotification = v; }
  int32_t TXTimeOut() const { return m_record.TXTimeOut; }
  void SetTXTimeOut(int32_t v) { m_record.TXTimeOut = v; }
  int32_t TXTimeOutproChar() const { return m_record.TXTimeOutproChar; }
  void SetTXTimeOutproChar(int32_t v) { m_record.TXTimeOutproChar = v; }
  bool KeinNullZeichen() const { return m_record.KeinNullZeichen != 0; }
  void SetKeinNullZeichen(bool v) { m_record.KeinNullZeichen = v ? 1 : 0; }
  bool KeinString() const { return m_record.KeinString != 0; }
  void SetKeinString(bool v) { m_record.KeinString = v ? 1 : 0; }

 private:
  V24ParameterTag m_record;
  bool m_streamOn = false;
  std::string m_fileName;
};

}  // namespace serial
