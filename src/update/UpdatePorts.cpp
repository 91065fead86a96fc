#include "update/RunTexts.h"
#include "update/TUpdateForm.h"

namespace update {

void TUpdateForm::EnumeratePorts() {
  m_updateCom.Check_AllV24();
  m_portsInUse = m_updateCom.GetMaxV24Useable();
  m_comNumbers.clear();
  for (int i = 0; i < m_portsInUse; ++i) m_comNumbers.push_back(m_updateCom.Get_UseableV24(i) + 1);
}

void TUpdateForm::OpenPorts() {
  auto prepare = [this](serial::TComPort& port) {
    port.SetLanguage(m_settings.Language);
    port.SetErrorBox([this](const std::string& text) {
      m_view.MessageBox(text, texts::kCaptionError.In(m_settings.Language), MessageIcon::Error,
                        MessageButtons::Ok);
    });
  };
  prepare(m_updateCom);
  m_portTable.assign(1, &m_updateCom);

  if (m_settings.FixedPort) {
    m_portsInUse = 1;
    m_updateCom.Open(this, m_settings.FixedPortNumber, true);
    m_view.SetStatusPanel(0, "Com" + std::to_string(m_settings.FixedPortNumber + 1));
    return;
  }

  if (m_comNumbers.empty()) {
    // No usable port: try the first port that exists (or COM1), so the user
    // learns from its error why it cannot be used (held, no permission, none).
    int32_t port = 0;
    for (uint32_t com = 1; com <= 256; ++com) {
      if (m_ports.Probe(com) != platform::PortStatus::Absent) {
        port = static_cast<int32_t>(com - 1);
        break;
      }
    }
    if (m_updateCom.Open(this, port, true)) {
      m_portsInUse = 1;
      m_comNumbers.push_back(port + 1);
      m_view.SetStatusPanel(0, "[Com" + std::to_string(port + 1) + "]");
    } else {
      m_view.SetStatusPanel(0, "[Com -]");
    }
    return;
  }

  m_updateCom.Open(this, m_updateCom.Get_UseableV24(0), true);
  const serial::DCB dcb = m_updateCom.LoadV24Parameter();
  const serial::COMMTIMEOUTS timeouts = m_updateCom.LoadV24TimeOut();
  std::string panel = "[Com" + std::to_string(m_comNumbers[0]) + "]";
  std::array<platform::PortStatus, 256> status{};
  status.fill(platform::PortStatus::Absent);
  for (int i = 0; i < m_updateCom.GetMaxV24Devices(); ++i) {
    status[static_cast<size_t>(m_updateCom.Get_DeviceV24(i))] = platform::PortStatus::Held;
  }
  for (int i = 0; i < m_portsInUse; ++i) {
    status[static_cast<size_t>(m_updateCom.Get_UseableV24(i))] = platform::PortStatus::Available;
  }
  m_portCache.Remember(status);
  for (int i = 1; i < m_portsInUse; ++i) {
    auto port = std::make_unique<serial::TComPort>(m_portCache, m_host.Pump());
    prepare(*port);
    port->Open(this, m_updateCom.Get_UseableV24(i), true);
    port->SaveV24Parameter(dcb);
    port->SaveV24TimeOut(timeouts);
    m_portTable.push_back(port.get());
    m_ownedPorts.push_back(std::move(port));
    panel += " [" + std::to_string(m_comNumbers[static_cast<size_t>(i)]) + "]";
  }
  m_portCache.Forget();
  m_view.SetStatusPanel(0, panel);
}

void TUpdateForm::ClosePorts() {
  for (serial::TComPort*& port : m_portTable) {
    if (port) port->Close();
    port = nullptr;
  }
  m_ownedPorts.clear();
}

void TUpdateForm::OnV24Message(uint32_t message, uint32_t comNumber) {
  if (message == serial::WM_V24_RX) DataArrived(comNumber);
  if (message == serial::WM_V24_FRAME) PortError(comNumber);
  if (message == serial::WM_V24_HANGUP) PortHungUp(comNumber);
  // Overrun and parity errors are not acted on.
}

void TUpdateForm::PortHungUp(uint32_t comNumber) {
  const int index = PortIndexOf(static_cast<int32_t>(comNumber));
  if (!(m_run.ProgrammerOwnsPort || m_run.ExtraTransferActive) || index < 0 || index != m_run.DevicePort)
    return;
  // The programmer (or the extra-file transfer) ends at once instead of
  // waiting out its time-outs on a line that is gone.
  m_queue.PostCode(codes::kConnectionLost, core::EventText::Number(static_cast<int32_t>(comNumber)));
  DrainEvents();
}

}  // namespace update
