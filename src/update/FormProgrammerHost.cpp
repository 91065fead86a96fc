#include "update/FormProgrammerHost.h"

#include "update/TUpdateForm.h"

namespace update {

void FormProgrammerHost::ReportProgress(uint32_t command, int32_t value) {
  m_form.ReportProgress(command, value);
}
void FormProgrammerHost::LogLine(const std::string& text) {
  m_form.LogLine(text);
}
void FormProgrammerHost::DrainEvents() {
  m_form.DrainEvents();
}
core::EventQueue& FormProgrammerHost::Events() {
  return m_form.Queue();
}
core::TimerSlots& FormProgrammerHost::Slots() {
  return m_form.Slots();
}
platform::MessagePump& FormProgrammerHost::Pump() {
  return m_form.Host().Pump();
}

std::string FormProgrammerHost::FindProgDefFile(int32_t prozTyp) {
  return m_form.FindProgDefFile(prozTyp).value_or(std::string());
}

std::string FormProgrammerHost::ErrorText(int32_t errorStep) {
  return m_form.ErrorTextProvider(errorStep);
}

void FormProgrammerHost::ShowErrorBox(const std::string& text, const std::string& caption) {
  m_form.View().MessageBox(text, caption, MessageIcon::Error, MessageButtons::Ok);
}

std::string FormProgrammerHost::PackageFolder() {
  return m_form.PackageDirectory().string();
}
int32_t FormProgrammerHost::Language() {
  return m_form.Language();
}

void FormProgrammerHost::AppendToVersionField(const std::string& text) {
  UpdateView& view = m_form.View();
  view.SetCaption(Control::SWStaticText, view.Caption(Control::SWStaticText) + text);
}

double FormProgrammerHost::LocalDayNumber() {
  return m_form.LocalDayNumber();
}

}  // namespace update
