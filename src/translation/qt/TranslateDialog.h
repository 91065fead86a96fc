#pragma once

#include <QWidget>

#include "translation/TLanguage.h"

namespace translation::qt {

// The dynamic property that holds a component's tag; a missing one reads 0.
inline constexpr const char* kTagProperty = "Tag";

// Translates a whole window: its title, then every named component below it
// in creation order, by exact class (see ControlClass.cpp), skipping those
// whose "Tag" equals the language's TagNoTranslate, then writes the
// dictionary when it is being recorded or has grown. `flag` has no effect.
// Does nothing while the language is not Enabled. false only when the
// dictionary could not be written (language.LastError() says why); the
// window is translated all the same.
//
// Components without an object name, or named "qt_..." (Qt's own parts), are
// not translated; nor is anything inside a status bar or another window.
bool TranslateDialog(TLanguage& language, QWidget& form, bool flag = false);

// Translates text and statusTip of every action below a QMenuBar or QMenu,
// depth first. Tags are not consulted here.
void TranslateMenuItems(TLanguage& language, QWidget& menu);

}  // namespace translation::qt
