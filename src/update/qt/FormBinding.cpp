#include "update/qt/FormBinding.h"

#include <QString>
#include <stdexcept>
#include <string>

namespace update::qt {

FormBinding FormBinding::Bind(QWidget& form) {
  FormBinding binding;
  std::string missing;
  for (const ControlInfo& info : kControls) {
    const QString name = QString::fromLatin1(info.name.data(), static_cast<qsizetype>(info.name.size()));
    const size_t i = Index(info.control);
    bool found = false;
    switch (info.kind) {
      case ControlKind::Widget:
        binding.m_widgets[i] = form.findChild<QWidget*>(name);
        found = binding.m_widgets[i] && !qobject_cast<QMenu*>(binding.m_widgets[i]);
        break;
      case ControlKind::Menu:
        binding.m_menus[i] = form.findChild<QMenu*>(name);
        found = binding.m_menus[i] != nullptr;
        break;
      case ControlKind::Action:
        binding.m_actions[i] = form.findChild<QAction*>(name);
        found = binding.m_actions[i] != nullptr;
        break;
    }
    if (!found) missing += (missing.empty() ? "" : ", ") + std::string(info.name);
  }
  if (!missing.empty()) {
    throw std::runtime_error("the main window's form lacks the component(s) " + missing);
  }
  return binding;
}

QAction* FormBinding::MenuAction(Control c) const {
  if (QMenu* menu = Menu(c)) return menu->menuAction();
  return Action(c);
}

}  // namespace update::qt
