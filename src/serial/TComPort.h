#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/BilingualText.h"
#include "platform/MessagePump.h"
#include "platform/PortSystem.h"
#include "platform/SerialLine.h"
#include "serial/RxNotifier.h"
#include "serial/TDlgParameter.h"
#include "serial/TV24Parameter.h"
#include "serial/V24Listener.h"
#include "serial/V24Mapping.h"

namespace serial {

// The serial component: one port with its parameter set, settings file, line
// settings, reader (data and line-error notifications) and writer
// (background writes).
//
// Every operation belongs to the owner's thread. Notifications reach the
// owner's V24Listener through `pump` (posted from the reader, delivered when
// the owner's thread pumps). Ports come from `ports`: the real machine's or
// simulated lines in virtual time.
class TComPort final : private platform::SerialLineEvents {
 public:
  static constexpr int32_t kNotOpen = -10;
  static constexpr int32_t kWriterBusy = -1;
  static constexpr int32_t kWriteFailed = -100;
  // One Write carries at most this many bytes (XOFF/XON framing included).
  static constexpr uint32_t kMaxBlock = 32768;
  static constexpr int32_t kListSize = 257;  // 256 ports and a spare zero slot

  // Shows Open's error to the user (modal, OK button). Latin-1 text.
  using ErrorBox = std::function<void(const std::string& text)>;

  TComPort(platform::PortSystem& ports, platform::MessagePump& pump);
  ~TComPort() override;
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // --- published properties
  TV24Parameter& V24() { return m_v24; }
  // Stops file use on both sets, then copies v's record.
  void SetV24(TV24Parameter& v);
  TDlgParameter& V24Dialog() { return m_dialog; }
  void SetV24Dlg(const TDlgParameter& d);
  bool StreamOn() const { return m_streamOn; }
  void SetStreamOn(bool on) { m_streamOn = on; }
  bool AutoSearch() const { return m_autoSearch; }
  void SetAutoSearch(bool on) { m_autoSearch = on; }
  const std::string& Datei() const { return m_datei; }
  void SetDatei(const std::string& name) { m_datei = name; }
  const std::string& ConfigPath() const { return m_configPath; }
  // "" clears it; a path without a trailing backslash gets one.
  void SetNewConfigPath(const std::string& path);

  // Without an error box, Open's errors go to the debug log only.
  void SetErrorBox(ErrorBox box) { m_errorBox = std::move(box); }
  // The text of the last failed Open (also when no box was shown).
  const std::string& LastOpenError() const { return m_lastOpenError; }

  // --- parameter set and line settings
  void InitParameter(const V24ParameterTag& p, bool autoSearch);
  // The record itself, for changing fields; stops file use until Open.
  V24ParameterTag* GetV24Parameter();
  void ChangeV24Parameter(BaudTag baud, StopBitTag stopBits, ParitaetTag parity, bool keinNullZeichen);
  void ChangeBaudrate(BaudTag baud);
  void ChangeHandShake(HandshakeTag handshake);
  // -1 leaves a value as it is: read constant, write constant, read per
  // byte, write per byte (ms).
  void ChangeV24TimeOut(int32_t rxTimeOut, int32_t txTimeOut, int32_t rxProChar, int32_t txProChar);
  DCB LoadV24Parameter();
  void SaveV24Parameter(const DCB& dcb);
  COMMTIMEOUTS LoadV24TimeOut();
  void SaveV24TimeOut(const COMMTIMEOUTS& timeouts);
  void SaveLastV24Parameter();
  void LoadLastV24Parameter();
  void SetLanguage(int32_t language) { m_language = language; }
  int32_t Language() const { return m_language; }

  // --- the machine's ports (0-based numbers)
  void Check_AllV24();
  int32_t GetMaxV24Devices() const { return m_deviceCount; }
  int32_t GetMaxV24Useable() const { return m_useableCount; }
  // Entry i of the list; 0 outside the table.
  int32_t Get_DeviceV24(int32_t i) const;
  int32_t Get_UseableV24(int32_t i) const;
  const int32_t* DeviceList() const { return m_deviceList; }

  // --- the open port
  // Opens the record's port, or `port` (0-based) unless it is -1. Returns
  // false when it could not be opened (and shows the error box when
  // `showError`). Already open: true at once.
  bool Open(V24Listener* listener, int32_t port, bool showError);
  void Close();
  bool IsOpen() const { return m_line != nullptr; }
  // The listener given to the last successful Open (for reopening).
  V24Listener* Listener() const { return m_delivery ? m_delivery->listener : nullptr; }
  // 1-based number of the open port, 0 when closed.
  uint32_t ComNumber() const { return m_line ? m_com : 0; }

  // Reads up to `count` bytes within the read time-outs. Unless KeinString,
  // a NUL follows the data: the buffer must hold count + 1 bytes. Returns
  // the count read or -10.
  int32_t Read(uint8_t* buffer, uint32_t count);
  int32_t Read(char* buffer, uint32_t count) { return Read(reinterpret_cast<uint8_t*>(buffer), count); }

  // Writes `length` bytes (-1: up to the NUL). Returns the bytes written
  // (XOFF/XON framing included), -10 closed, -1 background writer busy,
  // -100 short or timed-out write (latched until GetWriteStatus), 0 refused.
  int32_t Write(const uint8_t* bytes, int32_t length, bool background);
  int32_t Write(const char* text, int32_t length, bool background) {
    return Write(reinterpret_cast<const uint8_t*>(text), length, background);
  }
  // Empty when closed; else whether a write error was latched. Clears it.
  std::optional<bool> GetWriteStatus();

  bool ClearBuffer(uint32_t purgeFlags);
  void ChangeRXNotifyDelay(uint32_t ms);
  uint32_t GetRXNotificationTime() const;
  void Reset_SetAktiv();
  void Reset_Events() {}
  void TXSuspend() {}

 private:
  struct Delivery {
    V24Listener* listener = nullptr;
    uint32_t com = 0;
  };

  // SerialLineEvents, on the reader's context.
  uint32_t OnReaderRound(bool rxArrived, uint32_t nowMs) override;
  bool WantsTimedRound() override { return m_notifier.WantsTimedRound(); }
  void OnLineErrors(const platform::LineErrors& errors) override;
  void OnHangUp() override;
  void Post(uint32_t message);

  std::string OpenErrorText(uint32_t com, const platform::PortOpenResult& result) const;
  // Writes the line's last system error to the debug log, once for each new one.
  void NoteLineError();

  platform::PortSystem& m_ports;
  platform::MessagePump& m_pump;

  TV24Parameter m_v24;
  TDlgParameter m_dialog;
  bool m_streamOn = false;
  bool m_autoSearch = false;
  std::string m_datei = "ComData.cfg";
  std::string m_configPath;
  int32_t m_language = 0;
  ErrorBox m_errorBox;
  std::string m_lastOpenError;

  int32_t m_deviceList[kListSize] = {};
  int32_t m_useableList[kListSize] = {};
  int32_t m_deviceCount = 0;
  int32_t m_useableCount = 0;

  DCB m_savedDcb{};
  COMMTIMEOUTS m_savedTimeouts{};
  DCB m_lastDcb{};
  bool m_lastDcbValid = false;

  std::unique_ptr<platform::SerialLine> m_line;
  uint32_t m_com = 0;
  HandshakeTag m_handshake = NoHandshake;
  bool m_keinString = false;
  RxNotifier m_notifier;
  std::atomic<bool> m_writeError{false};
  int m_lineError = 0;  // the line's last error already in the debug log
  // Posted notifications hold it weakly: they are dropped once the
  // component is gone.
  std::shared_ptr<Delivery> m_delivery;
  std::atomic<bool> m_hungUp{false};
};

}  // namespace serial
