#include <algorithm>
#include <cstdio>

#include "update/RunTexts.h"
#include "update/TUpdateForm.h"

namespace update {

std::string TUpdateForm::ShowPercent(const std::string& prefix, float percent) {
  if (percent > 100) percent = 100;
  // The format ends in a percent sign (written %% for printf).
  char formatted[64];
  std::snprintf(formatted, sizeof formatted, " %3.1f %%", static_cast<double>(percent));
  const std::string text = formatted;

  if (percent > -2 && percent < 0) {
    m_view.SetTitle("Update");
    m_view.SetStatusPanel(4, "");
  } else if (percent < -999) {
    const std::string ready = texts::kUpdateReady.In(m_settings.Language);
    m_view.SetStatusPanel(4, ready);
    m_view.SetTitle(ready);
  } else {
    m_view.SetStatusPanel(4, prefix + text);
    m_view.Repaint(Control::UpdateStatusBar);
    m_view.SetTitle("Update [" + text + "]");
  }
  return text;
}

void TUpdateForm::SetProgressPosition(int position) {
  // The bar holds its position within 0..maximum, as the window's bar does.
  m_progressPosition = std::clamp(position, 0, std::max(m_progressMax, 0));
  m_view.SetProgress(m_progressPosition, m_progressMax);
}

void TUpdateForm::SetProgressMax(int maximum) {
  m_progressMax = std::max(maximum, 0);
  m_progressPosition = std::min(m_progressPosition, m_progressMax);
  m_view.SetProgress(m_progressPosition, m_progressMax);
}

void TUpdateForm::ReportProgress(uint32_t command, int32_t value) {
  if (std::this_thread::get_id() != m_guiThread) {
    // The display belongs to the GUI thread: run the report there, unless the
    // form is gone by then.
    std::weak_ptr<TUpdateForm*> self = m_self;
    m_host.Pump().Post([self, command, value] {
      if (auto form = self.lock()) (*form)->ReportProgress(command, value);
    });
    return;
  }
  switch (command) {
    case programmers::progress::kReset:
    case programmers::progress::kPosition:
    case 21:
      SetProgressPosition(value);
      break;
    case programmers::progress::kMaximum:
      SetProgressMax(value);
      break;
    case programmers::progress::kStep:
      SetProgressPosition(m_progressPosition + value);
      // An empty bar (maximum 0) shows 0 rather than dividing by zero.
      ShowPercent("", m_progressMax > 0 ? static_cast<float>(m_progressPosition) /
                                              static_cast<float>(m_progressMax) * 100.0f
                                        : 0.0f);
      break;
    case programmers::progress::kPercent:
    case 22:
      ShowPercent("", static_cast<float>(value));
      break;
    case programmers::progress::kAdvance:
      SetProgressPosition(m_progressPosition + value);
      break;
    case 23:
      ShowPercent("", static_cast<float>(value) * 0.01f * 95.0f + 5.0f);
      break;
    default:
      break;
  }
}

void TUpdateForm::TitleTimerTimer(platform::Timer&) {
  m_run.TitleTicks = m_run.TitleTicks + 1;
  // A basis of 0 gives +inf, which ShowPercent holds at 100.
  ShowPercent("", m_run.TitleTicks / m_run.TitleTickBasis * 100.0f);
}

void TUpdateForm::SecTimerTimer(platform::Timer&) {
  SetProgressPosition(m_progressPosition + 1);
}

}  // namespace update
