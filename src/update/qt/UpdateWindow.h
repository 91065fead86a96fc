#pragma once

#include <QLabel>
#include <QMainWindow>
#include <array>

#include "ui_UpdateForm.h"
#include "update/UpdateView.h"
#include "update/qt/FormBinding.h"

namespace update {
class TUpdateForm;
}

namespace update::qt {

// The main window: built from UpdateForm.ui, bound by name, and shown to the
// logic as its UpdateView. The timers are not part of the form (a form
// description cannot hold them); the logic takes them from the Host.
class UpdateWindow final : public QMainWindow, public UpdateView {
 public:
  // Throws when the form description lacks a component.
  explicit UpdateWindow(QWidget* parent = nullptr);
  ~UpdateWindow() override;

  // Connects the window's commands to the logic. The form must outlive the
  // window's use of it; pass nullptr to detach.
  void Attach(TUpdateForm* form);

  const FormBinding& Binding() const { return m_binding; }
  QLabel* StatusPanelLabel(int panel) const { return m_panels.at(static_cast<size_t>(panel)); }

  // UpdateView
  void SetCaption(Control control, const std::string& text) override;
  std::string Caption(Control control) const override;
  void SetVisible(Control control, bool visible) override;
  bool Visible(Control control) const override;
  void SetEnabled(Control control, bool enabled) override;
  bool Enabled(Control control) const override;
  void SetChecked(Control control, bool checked) override;
  bool Checked(Control control) const override;
  void Repaint(Control control) override;
  void MemoAppend(const std::string& text) override;
  void MemoClear() override;
  void ListAdd(const std::string& text) override;
  void SetProgress(int position, int maximum) override;
  void SetStatusPanel(int panel, const std::string& text) override;
  std::string StatusPanel(int panel) const override;
  void SetTitle(const std::string& title) override;
  MessageResult MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                           MessageButtons buttons) override;
  void ShowException(const std::string& message) override;
  std::optional<std::string> OpenFileDialog(const std::string& directory) override;
  void TranslateDialog(translation::TLanguage& language) override;
  void CloseWindow() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Ui::UpdateForm m_ui;
  FormBinding m_binding;
  std::array<QLabel*, kStatusPanelCount> m_panels{};
  TUpdateForm* m_form = nullptr;
  QMetaObject::Connection m_okConnection;
  bool m_closed = false;
};

}  // namespace update::qt
