#pragma once

#include <QObject>

namespace translation::qt {

// What the translation does with a component of the window, by its exact
// Qt class (a subclass with a meta-object of its own matches none).
enum class ControlClass {
  kCaptioned,   // caption and hint
  kTabSheet,    // a tab widget's page: its tab's text and the page's hint
  kTabControl,  // a bare tab bar: the tab texts as one list, and the hint
  kMainMenu,    // the menu bar: every item below it
  kOther,       // left alone
};

ControlClass ClassifyControl(const QObject& object);

// Whether the components of the window may sit inside `object`: only the
// plain containers do. Composite widgets (tab bars, spin boxes, combo boxes,
// status bars, menus, ...) keep named parts of their own that are no
// components of the window.
bool HoldsComponents(const QObject& object);

}  // namespace translation::qt
