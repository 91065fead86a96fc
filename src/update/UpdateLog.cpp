#include "update/TUpdateForm.h"
#include "update/UpdateTexts.h"

namespace update {

namespace {

// Replaces every occurrence of `marker` by `replacement`, scanning on after
// each replacement, so a replacement that contains the marker again is not
// replaced once more.
void ReplaceEach(std::string& text, std::string_view marker, std::string_view replacement) {
  size_t at = 0;
  while ((at = text.find(marker, at)) != std::string::npos) {
    text.replace(at, marker.size(), replacement);
    at += replacement.size();
  }
}

}  // namespace

std::string TUpdateForm::FillPlaceholders(std::string text) const {
  ReplaceEach(text, "DATEI", m_deviceRecord.MainFile);
  ReplaceEach(text, "NAME",
              m_deviceRecord.DisplayName.empty() ? Text(TextId::DefaultDeviceName, m_settings.Language)
                                                 : m_deviceRecord.DisplayName);
  ReplaceEach(text, "COM X", "COM " + std::to_string(m_deviceComIndex + 1));
  ReplaceEach(text, "\\r", "\r\n");
  return text;
}

void TUpdateForm::LogLine(const std::string& text) {
  if (m_debugMode) m_view.MemoAppend(FillPlaceholders(text));
}

void TUpdateForm::ClearDeviceFields() {
  for (Control field : {Control::NameStaticText, Control::SerStaticText, Control::PCBStaticText,
                        Control::SWStaticText}) {
    m_view.SetCaption(field, "");
  }
}

void TUpdateForm::ShowStartText() {
  m_view.MemoAppend(FillPlaceholders(m_settings.Language == 1 ? m_packageTexts.StarttextE
                                                              : m_packageTexts.StarttextD));
}

}  // namespace update
