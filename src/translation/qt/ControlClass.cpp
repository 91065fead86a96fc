#include "translation/qt/ControlClass.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QDockWidget>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace translation::qt {

// The control classes the dictionaries were made for, and the Qt class that
// stands for each:
//
//   TCheckBox     QCheckBox      caption = text()
//   TButton       QPushButton    caption = text()
//   TBitBtn       QPushButton    caption = text()  (the glyph is the icon)
//   TSpeedButton  QToolButton    caption = text()
//   TRadioButton  QRadioButton   caption = text()
//   TLabel        QLabel         caption = text()
//   TStaticText   QLabel         caption = text()  (a framed label)
//   TPanel        QFrame         no caption of its own, only the hint; a panel
//                                that shows a text is a framed QLabel
//   TGroupBox     QGroupBox      caption = title()
//   TRadioGroup   QGroupBox      caption = title()  (its radio buttons are
//                                components of their own)
//   TTabSheet     a plain QWidget that is a page of a QTabWidget;
//                                caption = its tab's text
//   TTabControl   QTabBar that stands alone (not a QTabWidget's own);
//                                the tab texts, each ended by a line break
//   TMainMenu     QMenuBar       its QActions; a submenu's action takes the
//                                name of its QMenu; hint = statusTip()
//   TForm         the window passed to TranslateDialog; caption = windowTitle()
// Every hint is the widget's toolTip().
//
// Anything else (QLineEdit, QListWidget, QTextEdit, QProgressBar, QStatusBar
// and whatever sits inside a status bar, ...) keeps its texts.
ControlClass ClassifyControl(const QObject& object) {
  const QMetaObject* meta = object.metaObject();
  if (meta == &QCheckBox::staticMetaObject || meta == &QPushButton::staticMetaObject ||
      meta == &QToolButton::staticMetaObject || meta == &QRadioButton::staticMetaObject ||
      meta == &QLabel::staticMetaObject || meta == &QFrame::staticMetaObject ||
      meta == &QGroupBox::staticMetaObject) {
    return ControlClass::kCaptioned;
  }
  if (meta == &QWidget::staticMetaObject) {
    const QWidget* stack = static_cast<const QWidget&>(object).parentWidget();
    if (stack && stack->metaObject() == &QStackedWidget::staticMetaObject) {
      const auto* tabs = qobject_cast<const QTabWidget*>(stack->parentWidget());
      if (tabs && tabs->indexOf(const_cast<QWidget*>(static_cast<const QWidget*>(&object))) >= 0) {
        return ControlClass::kTabSheet;
      }
    }
    return ControlClass::kOther;
  }
  if (meta == &QTabBar::staticMetaObject) {
    return qobject_cast<const QTabWidget*>(object.parent()) ? ControlClass::kOther : ControlClass::kTabControl;
  }
  if (meta == &QMenuBar::staticMetaObject) return ControlClass::kMainMenu;
  return ControlClass::kOther;
}

}  // namespace translation::qt

namespace translation::qt {

bool HoldsComponents(const QObject& object) {
  const QMetaObject* meta = object.metaObject();
  return meta == &QWidget::staticMetaObject || meta == &QFrame::staticMetaObject ||
         meta == &QGroupBox::staticMetaObject || meta == &QTabWidget::staticMetaObject ||
         meta == &QStackedWidget::staticMetaObject || meta == &QScrollArea::staticMetaObject ||
         meta == &QSplitter::staticMetaObject || meta == &QDockWidget::staticMetaObject;
}

}  // namespace translation::qt
