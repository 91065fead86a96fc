#include "serial/TComPort.h"

#include <cstring>
#include <vector>

#include "core/BilingualText.h"
#include "core/DebugLog.h"
#include "serial/PortName.h"

namespace serial {

namespace {

// The texts of a failed open; %s is the port's name, or the device for
// the permission, or the system's description of the cause.
constexpr core::BilingualText kCannotOpen{
    "%s konnte nicht ge\xF6"
    "ffnet werden!",
    "Cannot open %s! "};
constexpr core::BilingualText kPortHeld{"\n%s wird von einem anderen Programm benutzt.",
                                        "\n%s is in use by another program."};
constexpr core::BilingualText kNoPermission{
    "\nKeine Berechtigung f\xFCr %s: Der Benutzer muss Mitglied der Gruppe dialout sein "
    "(sudo usermod -aG dialout BENUTZERNAME, danach neu anmelden).",
    "\nNo permission for %s: the user must be a member of the group dialout "
    "(sudo usermod -aG dialout USERNAME, then log in again)."};
constexpr core::BilingualText kNoSuchPort{"\nDie Schnittstelle %s gibt es nicht.", "\nThere is no port %s."};
constexpr core::BilingualText kNotSerial{"\n%s ist keine serielle Schnittstelle.", "\n%s is not a serial port."};
constexpr core::BilingualText kSystemCause{"\nUrsache: %s", "\nCause: %s"};

// `text` with its one %s replaced by `value`.
std::string Fill(const char* text, const std::string& value) {
  std::string out = text;
  const size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

// A time-out argument other than -1 for a driver field; negative ones count as 0.
uint32_t DriverMs(int32_t ms) {
  return ms < 0 ? 0u : static_cast<uint32_t>(ms);
}

}  // namespace

TComPort::TComPort(platform::PortSystem& ports, platform::MessagePump& pump) : m_ports(ports), m_pump(pump) {
  Check_AllV24();
}

TComPort::~TComPort() {
  Close();
}

// --- properties

void TComPort::SetV24(TV24Parameter& v) {
  v.GetParameter(false, "0");
  m_v24.GetParameter(false, "0");
  m_v24.Record() = v.Record();
}

void TComPort::SetV24Dlg(const TDlgParameter& d) {
  *m_dialog.GetFlags() = *d.GetFlags();
}

void TComPort::SetNewConfigPath(const std::string& path) {
  if (path.empty()) {
    m_configPath.clear();
  } else if (path.back() != '\\') {
    m_configPath = path + '\\';
  } else {
    m_configPath = path;
  }
}

// --- parameter set and line settings

void TComPort::InitParameter(const V24ParameterTag& p, bool autoSearch) {
  m_v24.PutParameter(p);
  m_autoSearch = autoSearch;
}

V24ParameterTag* TComPort::GetV24Parameter() {
  return m_v24.GetParameter(m_streamOn, "0");
}

void TComPort::ChangeV24Parameter(BaudTag baud, StopBitTag stopBits, ParitaetTag parity,
                                  bool keinNullZeichen) {
  DCB dcb;
  if (m_line && m_line->GetState(dcb)) {
    dcb.BaudRate = BaudRateOf(baud);
    dcb.StopBits = StopBitsOf(stopBits);
    dcb.Parity = ParityOf(parity);
    dcb.fNull = keinNullZeichen ? 1 : 0;
    m_line->SetState(dcb);
  }
  V24ParameterTag& r = m_v24.Record();
  r.Baudrate = baud;
  r.StopBits = stopBits;
  r.Paritaet = parity;
  r.KeinNullZeichen = keinNullZeichen ? 1 : 0;
}

void TComPort::ChangeBaudrate(BaudTag baud) {
  DCB dcb;
  if (m_line && m_line->GetState(dcb)) {
    dcb.BaudRate = BaudRateOf(baud);
    m_line->SetState(dcb);
  }
}

void TComPort::ChangeHandShake(HandshakeTag handshake) {
  m_handshake = handshake;
  DCB dcb;
  if (m_line && m_line->GetState(dcb)) {
    ApplyHandshake(dcb, handshake);
    m_line->SetState(dcb);
  }
}

void TComPort::ChangeV24TimeOut(int32_t rxTimeOut, int32_t txTimeOut, int32_t rxProChar, int32_t txProChar) {
  COMMTIMEOUTS t;
  if (m_line && m_line->GetTimeouts(t)) {
    if (rxTimeOut != -1) t.ReadTotalTimeoutConstant = DriverMs(rxTimeOut);
    if (txTimeOut != -1) t.WriteTotalTimeoutConstant = DriverMs(txTimeOut);
    if (rxProChar != -1) {
      t.ReadTotalTimeoutMultiplier = DriverMs(rxProChar);
      // 0/0 would mean no total limit for the driver.
      if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0)
        t.ReadTotalTimeoutConstant = 1;
    }
    if (txProChar != -1) t.WriteTotalTimeoutMultiplier = DriverMs(txProChar);
    m_line->SetTimeouts(t);
  }
  V24ParameterTag& r = m_v24.Record();
  if (rxTimeOut != -1) r.RXTimeOut = rxTimeOut;
  if (txTimeOut != -1) r.TXTimeOut = txTimeOut;
  if (rxProChar != -1) r.RXTimeOutproChar = rxProChar;
  if (txProChar != -1) r.TXTimeOutproChar = txProChar;
}

DCB TComPort::LoadV24Parameter() {
  DCB dcb{};
  if (m_line) m_line->GetState(dcb);
  return dcb;
}

void TComPort::SaveV24Parameter(const DCB& dcb) {
  if (m_line) m_line->SetState(dcb);
}

COMMTIMEOUTS TComPort::LoadV24TimeOut() {
  COMMTIMEOUTS t{};
  if (m_line) m_line->GetTimeouts(t);
  return t;
}

void TComPort::SaveV24TimeOut(const COMMTIMEOUTS& timeouts) {
  if (m_line) m_line->SetTimeouts(timeouts);
}

void TComPort::SaveLastV24Parameter() {
  if (m_line && m_line->GetState(m_lastDcb)) m_lastDcbValid = true;
}

void TComPort::LoadLastV24Parameter() {
  if (m_lastDcbValid && m_line) m_line->SetState(m_lastDcb);
}

// --- ports

void TComPort::Check_AllV24() {
  std::memset(m_deviceList, 0, sizeof m_deviceList);
  std::memset(m_useableList, 0, sizeof m_useableList);
  m_deviceCount = 0;
  m_useableCount = 0;
  for (int32_t i = 0; i < kComCount; ++i) {
    switch (m_ports.Probe(static_cast<uint32_t>(i) + 1)) {
      case platform::PortStatus::Available:
        m_useableList[m_useableCount++] = i;
        m_deviceList[m_deviceCount++] = i;
        break;
      case platform::PortStatus::Held:
        m_deviceList[m_deviceCount++] = i;
        break;
      case platform::PortStatus::NoPermission:  // cannot be used: in neither list
      case platform::PortStatus::NotSerial:
      case platform::PortStatus::Absent:
        break;
    }
  }
}

int32_t TComPort::Get_DeviceV24(int32_t i) const {
  return i >= 0 && i < kListSize ? m_deviceList[i] : 0;
}

int32_t TComPort::Get_UseableV24(int32_t i) const {
  return i >= 0 && i < kListSize ? m_useableList[i] : 0;
}

// --- open and close

std::string TComPort::OpenErrorText(uint32_t com, const platform::PortOpenResult& result) const {
  const std::string name = PortName(com, true);
  const std::string device = result.device.empty() ? name : result.device;
  std::string text = Fill(kCannotOpen.In(m_language), name);
  switch (result.status) {
    case platform::PortStatus::Held:
      text += Fill(kPortHeld.In(m_language), name);
      break;
    case platform::PortStatus::NoPermission:
      text += Fill(kNoPermission.In(m_language), device);
      break;
    case platform::PortStatus::Absent:
      text += Fill(kNoSuchPort.In(m_language), name);
      break;
    case platform::PortStatus::NotSerial:
      text += Fill(kNotSerial.In(m_language), name + (result.device.empty() ? "" : " (" + result.device + ")"));
      break;
    case platform::PortStatus::Available:
      break;
  }
  if (result.error != 0) text += Fill(kSystemCause.In(m_language), std::strerror(result.error));
  return text;
}


void TComPort::NoteLineError() {
  const int error = m_line->LastError();
  if (error == 0 || error == m_lineError) return;
  m_lineError = error;
  core::DebugLog(std::string(PortName(m_com, true)) + ": the line failed: " + std::strerror(error));
}

bool TComPort::Open(V24Listener* listener, int32_t port, bool showError) {
  if (m_line) return true;
  V24ParameterTag local = *m_v24.GetParameter(m_streamOn, m_configPath + m_datei);
  if (port != -1) local.Schnittstelle = static_cast<ComTag>(port);
  if (m_autoSearch) local.Schnittstelle = Com__1;

  auto openPort = [this](int32_t p) {
    if (p < 0 || p >= kComCount) return platform::PortOpenResult{};
    return m_ports.Open(static_cast<uint32_t>(p) + 1);
  };
  platform::PortOpenResult result = openPort(local.Schnittstelle);
  // Auto-search tries every known port after COM1.
  for (int32_t i = 0; m_autoSearch && !result.line && i < m_deviceCount; ++i) {
    if (m_deviceList[i] == Com__1) continue;
    local.Schnittstelle = static_cast<ComTag>(m_deviceList[i]);
    result = openPort(local.Schnittstelle);
  }
  const uint32_t com = static_cast<uint32_t>(local.Schnittstelle) + 1;
  if (!result.line) {
    m_lastOpenError = OpenErrorText(com, result);
    core::DebugLog(m_lastOpenError);
    if (showError && m_errorBox) m_errorBox(m_lastOpenError);
    return false;
  }

  m_v24.PutParameter(local);
  m_line = std::move(result.line);
  m_com = com;
  m_delivery = std::make_shared<Delivery>(Delivery{listener, com});
  m_handshake = local.Handshake;
  m_keinString = local.KeinString != 0;
  m_writeError = false;
  m_hungUp = false;
  m_lineError = 0;
  m_notifier.Reset();

  if (!m_line->GetState(m_savedDcb)) m_savedDcb = DCB{};
  m_line->SetState(MakeDcb(local));
  if (!m_line->GetTimeouts(m_savedTimeouts)) m_savedTimeouts = COMMTIMEOUTS{};
  m_line->SetTimeouts(MakeTimeouts(local));

  m_notifier.SetPauseMs(local.RXNotification < 0 ? 0u : static_cast<uint32_t>(local.RXNotification));
  m_line->StartReader(*this);
  return true;
}

void TComPort::Close() {
  if (!m_line) return;
  DCB saved = m_savedDcb;
  saved.fNull = 0;
  m_line->SetState(saved);
  m_line->SetTimeouts(m_savedTimeouts);
  m_line->Close();
  m_line.reset();
  m_notifier.Reset();
}

// --- reading and writing

int32_t TComPort::Read(uint8_t* buffer, uint32_t count) {
  if (!m_line) return kNotOpen;
  m_notifier.ResetAktiv();
  const uint32_t n = m_line->Read(buffer, count);
  NoteLineError();
  if (!m_keinString) buffer[n] = 0;
  return static_cast<int32_t>(n);
}

int32_t TComPort::Write(const uint8_t* bytes, int32_t length, bool background) {
  if (!m_line) return kNotOpen;
  size_t n = 0;
  if (length == -1) {
    n = bytes ? std::strlen(reinterpret_cast<const char*>(bytes)) : 0;
  } else if (length > 0 && bytes) {
    n = static_cast<size_t>(length);
  }
  std::vector<uint8_t> block;
  const bool framed = ValidHandshake(m_handshake) == Nardek_XonXoff;
  block.reserve(n + 2);
  if (framed) block.push_back(static_cast<uint8_t>(platform::kXoff));
  block.insert(block.end(), bytes, bytes + n);
  if (framed) block.push_back(static_cast<uint8_t>(platform::kXon));

  if (m_line->WriterBusy()) return kWriterBusy;
  if (m_writeError) return kWriteFailed;
  // Longer blocks than the writer's buffer are refused whole, never cut.
  if (block.size() > kMaxBlock) {
    m_writeError = true;
    return kWriteFailed;
  }
  const auto size = static_cast<uint32_t>(block.size());
  if (background) {
    const bool started =
        m_line->WriteInBackground(block.data(), size, [this, size](const platform::WriteResult& r) {
          if (!r.refused && r.written < size) m_writeError = true;
        });
    return started ? static_cast<int32_t>(size) : kWriterBusy;
  }
  const platform::WriteResult r = m_line->Write(block.data(), size);
  NoteLineError();
  if (r.refused) return 0;
  if (r.written < size) {
    m_writeError = true;
    return kWriteFailed;
  }
  return static_cast<int32_t>(r.written);
}

std::optional<bool> TComPort::GetWriteStatus() {
  if (!m_line) return std::nullopt;
  return m_writeError.exchange(false);
}

bool TComPort::ClearBuffer(uint32_t purgeFlags) {
  return m_line ? m_line->Purge(purgeFlags) : false;
}

void TComPort::ChangeRXNotifyDelay(uint32_t ms) {
  if (m_line) m_notifier.SetPauseMs(ms);
}

uint32_t TComPort::GetRXNotificationTime() const {
  return m_line ? m_notifier.PauseMs() : 0;
}

void TComPort::Reset_SetAktiv() {
  if (m_line) m_notifier.ResetAktiv();
}

// --- the reader's side

uint32_t TComPort::OnReaderRound(bool rxArrived, uint32_t nowMs) {
  if (!m_notifier.OnRound(rxArrived, nowMs)) return 0;
  Post(WM_V24_RX);
  return m_notifier.PauseMs();
}

void TComPort::OnLineErrors(const platform::LineErrors& errors) {
  if (errors.frame || !errors.Any()) Post(WM_V24_FRAME);
  if (errors.overrun) Post(WM_V24_OVERRUN);
  if (errors.parity) Post(WM_V24_PARITY);
  if (errors.brk) m_line->ClearBreak();
}

void TComPort::OnHangUp() {
  if (m_hungUp.exchange(true)) return;
  // Reader context: no PortName here, its buffer belongs to the owner's thread.
  core::DebugLog("COM" + std::to_string(m_com) + ": the line has gone (unplugged or hung up)");
  Post(WM_V24_HANGUP);
}

void TComPort::Post(uint32_t message) {
  std::weak_ptr<Delivery> weak = m_delivery;
  m_pump.Post([weak, message] {
    auto delivery = weak.lock();
    if (delivery && delivery->listener) delivery->listener->OnV24Message(message, delivery->com);
  });
}

}  // namespace serial
