#include "update/TUpdateForm.h"

namespace update {

void TUpdateForm::OkBitBtnClick() {
  // The language can only be chosen before the first run.
  m_view.SetEnabled(Control::Sprache, false);
  m_queue.PostKey(13);
  DrainEvents();
}

}  // namespace update
