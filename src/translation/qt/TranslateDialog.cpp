#include "translation/qt/TranslateDialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>

#include "translation/DictionaryFile.h"
#include "translation/qt/ControlClass.h"
#include "translation/qt/QtText.h"
#include "translation/Windows1252.h"

namespace translation::qt {

namespace {

// Passes `current` through `translate`; a text that comes back unchanged
// keeps its QString, so characters that 1252 cannot hold are not lost.
template <typename Translate>
QString Through(const QString& current, Translate translate) {
  const std::string narrow = FromQString(current);
  const std::string result = translate(narrow);
  return result == narrow ? current : ToQString(result);
}

QString Text(TLanguage& language, const std::string& name, const QString& current) {
  return Through(current, [&](const std::string& t) { return language.TranslateText(name, t); });
}

QString Hint(TLanguage& language, const std::string& name, const QString& current) {
  return Through(current, [&](const std::string& h) { return language.TranslateHintText(name, h); });
}

void TranslateCaptioned(TLanguage& language, const std::string& name, QWidget& widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    button->setText(Text(language, name, button->text()));
  } else if (auto* label = qobject_cast<QLabel*>(&widget)) {
    label->setText(Text(language, name, label->text()));
  } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
    group->setTitle(Text(language, name, group->title()));
  }
  widget.setToolTip(Hint(language, name, widget.toolTip()));
}

void TranslateTabSheet(TLanguage& language, const std::string& name, QWidget& page) {
  auto* tabs = qobject_cast<QTabWidget*>(page.parentWidget()->parentWidget());
  const int index = tabs->indexOf(&page);
  tabs->setTabText(index, Text(language, name, tabs->tabText(index)));
  page.setToolTip(Hint(language, name, page.toolTip()));
}

// The tab list as one text, every tab followed by a line break; the result is
// split again and may change the number of tabs.
void TranslateTabControl(TLanguage& language, const std::string& name, QTabBar& bar) {
  std::string joined;
  for (int i = 0; i < bar.count(); ++i) joined += FromQString(bar.tabText(i)) + "\r\n";
  const std::string result = language.TranslateText(name, joined);
  if (result != joined) {
    const std::u16string wide = Cp1252ToUtf16(result);
    const auto items = DictionaryFile::SplitLines(wide);
    for (size_t i = 0; i < items.size(); ++i) {
      const QString item = ToQString(Utf16ToCp1252(items[i]));
      if (static_cast<int>(i) < bar.count()) {
        bar.setTabText(static_cast<int>(i), item);
      } else {
        bar.addTab(item);
      }
    }
    while (bar.count() > static_cast<int>(items.size())) bar.removeTab(bar.count() - 1);
  }
  bar.setToolTip(Hint(language, name, bar.toolTip()));
}

bool IsComponentName(const QString& name) { return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")); }

int TagOf(const QObject& object) {
  const QVariant tag = object.property(kTagProperty);
  bool ok = false;
  const int value = tag.toInt(&ok);
  return ok ? value : 0;
}

void TranslateComponent(TLanguage& language, QObject& object) {
  if (!IsComponentName(object.objectName()) || TagOf(object) == language.TagNoTranslate()) return;
  const std::string name = FromQString(object.objectName());
  switch (ClassifyControl(object)) {
    case ControlClass::kCaptioned:
      TranslateCaptioned(language, name, static_cast<QWidget&>(object));
      break;
    case ControlClass::kTabSheet:
      TranslateTabSheet(language, name, static_cast<QWidget&>(object));
      break;
    case ControlClass::kTabControl:
      TranslateTabControl(language, name, static_cast<QTabBar&>(object));
      break;
    case ControlClass::kMainMenu:
      TranslateMenuItems(language, static_cast<QWidget&>(object));
      break;
    case ControlClass::kOther:
      break;
  }
}

// Parents first, in creation order, as the components stand in the form.
void Walk(TLanguage& language, QObject& parent) {
  for (QObject* child : parent.children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget || widget->isWindow()) continue;  // no widget, or a window of its own
    TranslateComponent(language, *child);
    if (HoldsComponents(*child)) Walk(language, *child);
  }
}

void TranslateActions(TLanguage& language, QWidget& menu, QSet<QWidget*>& seen) {
  if (seen.contains(&menu)) return;
  seen.insert(&menu);
  for (QAction* action : menu.actions()) {
    QString name = action->objectName();
    if (name.isEmpty() && action->menu()) name = action->menu()->objectName();
    if (IsComponentName(name)) {
      const std::string narrow = FromQString(name);
      action->setText(Text(language, narrow, action->text()));
      action->setStatusTip(Hint(language, narrow, action->statusTip()));
    }
    if (QMenu* submenu = action->menu()) TranslateActions(language, *submenu, seen);
  }
}

}  // namespace

void TranslateMenuItems(TLanguage& language, QWidget& menu) {
  QSet<QWidget*> seen;
  TranslateActions(language, menu, seen);
}

bool TranslateDialog(TLanguage& language, QWidget& form, bool /*flag*/) {
  if (!language.Enabled()) return true;
  language.LoadTranslateText();
  form.setWindowTitle(Text(language, FromQString(form.objectName()), form.windowTitle()));
  Walk(language, form);
  return language.SaveTranslateText();
}

}  // namespace translation::qt
