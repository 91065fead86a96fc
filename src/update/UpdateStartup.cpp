#include "core/DrainEvents.h"
#include "update/TUpdateForm.h"

namespace update {

namespace {

// UpdateCom's write time-out, 10 s (plus 1 ms per byte).
constexpr int32_t kWriteTimeOutMs = 10 * 1000;

}  // namespace

TUpdateForm::TUpdateForm(platform::Host& host, platform::PortSystem& ports, UpdateView& view,
                         UpdateEnvironment environment)
    : m_host(host),
      m_view(view),
      m_environment(std::move(environment)),
      m_guiThread(std::this_thread::get_id()),
      m_self(std::make_shared<TUpdateForm*>(this)),
      m_timerSlots(m_queue, [this] { DrainEvents(); }),
      m_wait(host.GetClock(), host.Pump()),
      m_ports(ports),
      m_portCache(ports),
      m_updateCom(ports, host.Pump()) {
  // UpdateCom: 8 data bits, 2 stop bits, no parity, 4800 baud, no handshake;
  // read time-out 0 ms + 1 ms per byte, write 10 s + 1 ms per byte; NUL
  // bytes discarded; no settings file (StreamOn stays off).
  serial::TV24Parameter& v24 = m_updateCom.V24();
  v24.SetDatenBits(serial::D_8);
  v24.SetStopBits(serial::S_2);
  v24.SetParitaet(serial::NoParity);
  v24.SetBaudrate(serial::B__4800);
  v24.SetHandshake(serial::NoHandshake);
  v24.SetRXTimeOut(0);
  v24.SetRXTimeOutproChar(1);
  v24.SetTXTimeOut(kWriteTimeOutMs);
  v24.SetTXTimeOutproChar(1);
  v24.SetKeinNullZeichen(true);
  m_updateCom.SetDatei("ComData.cfg");

  for (int i = 0; i < kTimerCount; ++i) {
    m_timers[static_cast<size_t>(i)] = host.CreateTimer();
    m_timers[static_cast<size_t>(i)]->SetTag(i + 1);
  }
  m_secTimer = host.CreateTimer();
  m_secTimer->SetInterval(kSecTimerMs);
  m_secTimer->SetOnTick([this](platform::Timer& timer) { SecTimerTimer(timer); });
  m_titleTimer = host.CreateTimer();
  m_titleTimer->SetInterval(kTitleTimerMs);
  m_titleTimer->SetOnTick([this](platform::Timer& timer) { TitleTimerTimer(timer); });
  m_wait.SetEnable(true);
  m_wait.SetDividend(1);
}

TUpdateForm::~TUpdateForm() {
  ClosePorts();
}

void TUpdateForm::DrainEvents() {
  core::DrainEvents(m_queue, m_guiBusy, m_host.Pump());
}

bool TUpdateForm::FormCreate() {
  std::vector<platform::Timer*> timers;
  for (auto& timer : m_timers) timers.push_back(timer.get());
  m_timerSlots.RegisterTimers(timers);

  if (ReadUpdateIni("Update.ini") == -1) return false;
  m_view.SetChecked(Control::Deutsch, m_settings.Language == 0);
  m_view.SetChecked(Control::Englisch, m_settings.Language == 1);

  if (ReadProgDeviceIni("ProgDevice.ini") == -1) return false;

  m_run.DevicePort = -1;
  m_run.AirPressureIndex = -1;
  m_service.VersionCheck = 1;

  // The update run's state machine: the first handler, for the program's life.
  m_queue.Subscribe(core::MakeHandler<&TUpdateForm::UpdateStateMachine>(this));

  EnumeratePorts();

  m_packageFiles.clear();
  m_run.BslHintShown = false;
  m_parser.ClearFrameSeen();
  m_run.SensorIdModule = false;
  m_guiBusy = 0;

  ScanPackageFiles();
  ShowStartText();
  TranslateWindow();
  OpenPorts();
  return true;
}

void TUpdateForm::FormClose() {
  m_view.SetVisible(Control::StopPanel, true);
  m_view.Repaint(Control::StopPanel);
  ClosePorts();
}

}  // namespace update
