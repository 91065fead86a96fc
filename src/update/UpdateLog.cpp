#include "update/TUpdateForm.h"
#include "update/protocol/FillPlaceholders.h"

namespace update {

std::string TUpdateForm::FillPlaceholders(std::string text) const {
  return update::FillPlaceholders(text, PlaceholderValues{m_deviceRecord.MainFile, m_deviceRecord.DisplayName,
                                                          m_settings.Language, m_run.DeviceComIndex});
}

void TUpdateForm::LogLine(const std::string& text) {
  if (m_service.DebugMode) m_view.MemoAppend(FillPlaceholders(text));
}

void TUpdateForm::ClearDeviceFields() {
  for (Control field :
       {Control::NameStaticText, Control::SerStaticText, Control::PCBStaticText, Control::SWStaticText}) {
    m_view.SetCaption(field, "");
  }
}

const std::string& TUpdateForm::AbortText() const {
  return m_settings.Language == 1 ? m_packageTexts.AbbruchtextE : m_packageTexts.AbbruchtextD;
}

void TUpdateForm::ShowStartText() {
  m_view.MemoAppend(
      FillPlaceholders(m_settings.Language == 1 ? m_packageTexts.StarttextE : m_packageTexts.StarttextD));
}

}  // namespace update
