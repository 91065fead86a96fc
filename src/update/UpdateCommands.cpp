#include "update/TUpdateForm.h"

namespace update {

void TUpdateForm::OkBitBtnClick() {
  // The language can only be chosen before the first run.
  m_view.SetEnabled(Control::Sprache, false);
  m_queue.PostKey(keys::kReturn);
  DrainEvents();
}

void TUpdateForm::TranslateWindow() {
  m_sprachDialog.SetDialogfile(InPackage(m_settings.Language == 1 ? "Update.Eng" : "Update.Deu").string());
  m_view.TranslateDialog(m_sprachDialog);
}

void TUpdateForm::LanguageClick(int tag) {
  m_settings.Language = tag == 1 ? 1 : 0;
  m_view.SetChecked(m_settings.Language == 1 ? Control::Englisch : Control::Deutsch, true);
  m_view.SetChecked(m_settings.Language == 1 ? Control::Deutsch : Control::Englisch, false);
  SaveUpdateIni("Update.ini");
  TranslateWindow();
  m_view.MemoClear();
  ShowStartText();
}

}  // namespace update
