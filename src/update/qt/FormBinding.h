#pragma once

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <array>

#include "update/Control.h"

namespace update::qt {

// Every control of the logic, looked up by its object name in a form built
// from the form description.
class FormBinding {
 public:
  // Throws std::runtime_error naming every component that is missing or of
  // the wrong kind, so a form that lost a name never starts.
  static FormBinding Bind(QWidget& form);

  QWidget* Widget(Control c) const { return m_widgets[Index(c)]; }
  QMenu* Menu(Control c) const { return m_menus[Index(c)]; }
  QAction* Action(Control c) const { return m_actions[Index(c)]; }
  // The menu command of an item: the action itself, or a submenu's action.
  QAction* MenuAction(Control c) const;

 private:
  static size_t Index(Control c) { return static_cast<size_t>(c); }

  std::array<QWidget*, static_cast<size_t>(Control::kCount)> m_widgets{};
  std::array<QMenu*, static_cast<size_t>(Control::kCount)> m_menus{};
  std::array<QAction*, static_cast<size_t>(Control::kCount)> m_actions{};
};

}  // namespace update::qt
