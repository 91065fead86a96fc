#include "update/qt/UpdateWindow.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>

#include "translation/qt/TranslateDialog.h"
#include "update/TUpdateForm.h"
#include "update/qt/QtText.h"

namespace update::qt {

namespace {

// Binds after setupUi; a member initialiser cannot, since the form's
// children exist only then.
FormBinding SetUpAndBind(Ui::UpdateForm& ui, QMainWindow& window) {
  ui.setupUi(&window);
  return FormBinding::Bind(window);
}

}  // namespace

UpdateWindow::UpdateWindow(QWidget* parent) : QMainWindow(parent), m_binding(SetUpAndBind(m_ui, *this)) {
  // A status bar's panels cannot be laid out in the form description.
  for (int i = 0; i < kStatusPanelCount; ++i) {
    auto* panel = new QLabel(m_ui.UpdateStatusBar);
    panel->setObjectName(QStringLiteral("UpdateStatusBarPanel%1").arg(i));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setFixedWidth(kStatusPanelWidths[static_cast<size_t>(i)]);
    m_ui.UpdateStatusBar->addWidget(panel);
    m_panels[static_cast<size_t>(i)] = panel;
  }
  m_panels[0]->setText(QStringLiteral("Com X"));
  // Nor can the visibility of a submenu.
  m_binding.MenuAction(Control::VE720dProgramming)->setVisible(false);

  // The client area is 547 x 494 below the menu.
  resize(547, 494 + m_ui.MainMenu->sizeHint().height());
  // Centred on the desktop.
  if (QScreen* desktop = screen()) move(desktop->availableGeometry().center() - rect().center());
  setFocusProxy(m_ui.OkBitBtn);
  m_ui.OkBitBtn->setFocus(Qt::OtherFocusReason);

  connect(m_ui.UpdateEnd, &QAction::triggered, this, [this] { close(); });
  for (QAction* item : {m_ui.Deutsch, m_ui.Englisch}) {
    connect(item, &QAction::triggered, this, [this, item] {
      if (m_form) m_form->LanguageClick(item->property("Tag").toInt());
    });
  }
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::Attach(TUpdateForm* form) {
  m_form = form;
  if (m_okConnection) disconnect(m_okConnection);
  if (!form) return;
  m_okConnection = connect(m_ui.OkBitBtn, &QPushButton::clicked, this, [this] {
    if (m_form) m_form->OkBitBtnClick();
  });
}

void UpdateWindow::SetCaption(Control control, const std::string& text) {
  const QString caption = ToQt(text);
  if (QMenu* menu = m_binding.Menu(control)) {
    menu->setTitle(caption);
  } else if (QAction* action = m_binding.Action(control)) {
    action->setText(caption);
  } else if (QWidget* widget = m_binding.Widget(control)) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      label->setText(caption);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      button->setText(caption);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      group->setTitle(caption);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
      memo->setPlainText(caption);
    }
  }
}

std::string UpdateWindow::Caption(Control control) const {
  if (QMenu* menu = m_binding.Menu(control)) return FromQt(menu->title());
  if (QAction* action = m_binding.Action(control)) return FromQt(action->text());
  QWidget* widget = m_binding.Widget(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) return FromQt(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return FromQt(button->text());
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return FromQt(group->title());
  if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) return FromQt(memo->toPlainText());
  return {};
}

void UpdateWindow::SetVisible(Control control, bool visible) {
  if (QAction* action = m_binding.MenuAction(control)) {
    action->setVisible(visible);
  } else if (QWidget* widget = m_binding.Widget(control)) {
    widget->setVisible(visible);
  }
}

bool UpdateWindow::Visible(Control control) const {
  if (QAction* action = m_binding.MenuAction(control)) return action->isVisible();
  QWidget* widget = m_binding.Widget(control);
  return widget && !widget->isHidden();
}

void UpdateWindow::SetEnabled(Control control, bool enabled) {
  if (QAction* action = m_binding.MenuAction(control)) {
    action->setEnabled(enabled);
  } else if (QWidget* widget = m_binding.Widget(control)) {
    widget->setEnabled(enabled);
  }
}

bool UpdateWindow::Enabled(Control control) const {
  if (QAction* action = m_binding.MenuAction(control)) return action->isEnabled();
  QWidget* widget = m_binding.Widget(control);
  return widget && widget->isEnabled();
}

void UpdateWindow::SetChecked(Control control, bool checked) {
  if (QAction* action = m_binding.MenuAction(control)) action->setChecked(checked);
}

bool UpdateWindow::Checked(Control control) const {
  QAction* action = m_binding.MenuAction(control);
  return action && action->isChecked();
}

void UpdateWindow::Repaint(Control control) {
  if (QWidget* widget = m_binding.Widget(control)) widget->repaint();
}

void UpdateWindow::MemoAppend(const std::string& text) {
  m_ui.UpdateMemo->appendPlainText(ToQt(text));
  m_ui.UpdateMemo->verticalScrollBar()->setValue(m_ui.UpdateMemo->verticalScrollBar()->maximum());
}

void UpdateWindow::MemoClear() {
  m_ui.UpdateMemo->clear();
}

void UpdateWindow::ListAdd(const std::string& text) {
  m_ui.DLListBox->addItem(ToQt(text));
}

void UpdateWindow::SetProgress(int position, int maximum) {
  m_ui.WaitProgressBar->setMaximum(maximum);
  m_ui.WaitProgressBar->setValue(position);
}

void UpdateWindow::SetStatusPanel(int panel, const std::string& text) {
  if (panel < 0 || panel >= kStatusPanelCount) return;
  m_panels[static_cast<size_t>(panel)]->setText(ToQt(text));
}

std::string UpdateWindow::StatusPanel(int panel) const {
  if (panel < 0 || panel >= kStatusPanelCount) return {};
  return FromQt(m_panels[static_cast<size_t>(panel)]->text());
}

void UpdateWindow::SetTitle(const std::string& title) {
  setWindowTitle(ToQt(title));
}

MessageResult UpdateWindow::MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                                       MessageButtons buttons) {
  QMessageBox box(isVisible() ? this : nullptr);
  box.setWindowTitle(ToQt(caption));
  box.setText(ToQt(text));
  switch (icon) {
    case MessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MessageResult::Yes;
    case QMessageBox::No:
      return MessageResult::No;
    case QMessageBox::Cancel:
      return MessageResult::Cancel;
    default:
      return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
  }
}

void UpdateWindow::ShowException(const std::string& message) {
  MessageBox(message, FromQt(windowTitle()), MessageIcon::Error, MessageButtons::Ok);
}

std::optional<std::string> UpdateWindow::OpenFileDialog(const std::string& directory) {
  const QString chosen = QFileDialog::getOpenFileName(this, QString(), ToQt(directory));
  if (chosen.isEmpty()) return std::nullopt;
  return FromQt(chosen);
}

void UpdateWindow::TranslateDialog(translation::TLanguage& language) {
  if (!translation::qt::TranslateDialog(language, *this, false)) ShowException(language.LastError());
}

void UpdateWindow::CloseWindow() {
  close();
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
  if (!m_closed && m_form) {
    m_closed = true;
    m_form->FormClose();
  }
  event->accept();
}

void UpdateWindow::keyPressEvent(QKeyEvent* event) {
  // OK is the window's default button: Return that no control took starts
  // a run, wherever the focus is.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_ui.OkBitBtn->isEnabled() &&
      m_ui.OkBitBtn->isVisible()) {
    m_ui.OkBitBtn->click();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace update::qt
