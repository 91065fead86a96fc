#pragma once

#include <optional>
#include <string>

#include "update/Control.h"

namespace translation {
class TLanguage;
}

namespace update {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

// What the update logic needs of its window. Every text is Latin-1; a line
// break inside a text is carriage return + line feed (a lone carriage return
// breaks the line as well). GUI thread only.
class UpdateView {
 public:
  virtual ~UpdateView() = default;

  // Caption of a widget, submenu or menu command (for the read-only fields:
  // their text).
  virtual void SetCaption(Control control, const std::string& text) = 0;
  virtual std::string Caption(Control control) const = 0;
  virtual void SetVisible(Control control, bool visible) = 0;
  virtual bool Visible(Control control) const = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  virtual bool Enabled(Control control) const = 0;
  virtual void SetChecked(Control control, bool checked) = 0;
  virtual bool Checked(Control control) const = 0;
  // Paint the control now, without waiting for the message loop.
  virtual void Repaint(Control control) = 0;

  // UpdateMemo: add the text as new line(s) at the end, or empty it.
  virtual void MemoAppend(const std::string& text) = 0;
  virtual void MemoClear() = 0;
  // DLListBox: add one entry.
  virtual void ListAdd(const std::string& text) = 0;

  // WaitProgressBar. The logic keeps position and maximum itself and only
  // pushes them here.
  virtual void SetProgress(int position, int maximum) = 0;

  // UpdateStatusBar panel 0..4.
  virtual void SetStatusPanel(int panel, const std::string& text) = 0;
  virtual std::string StatusPanel(int panel) const = 0;

  // The application title: window title and task-bar text.
  virtual void SetTitle(const std::string& title) = 0;

  // A modal box; returns the button pressed.
  virtual MessageResult MessageBox(const std::string& text, const std::string& caption, MessageIcon icon,
                                   MessageButtons buttons) = 0;
  // The framework's box for an error that escaped an operation.
  virtual void ShowException(const std::string& message) = 0;
  // The open-file dialog, starting in `directory`; nothing on cancel.
  virtual std::optional<std::string> OpenFileDialog(const std::string& directory) = 0;

  // Translate the whole window through the language's dictionary (its
  // current Dialogfile); the window reports a dictionary it cannot write.
  virtual void TranslateDialog(translation::TLanguage& language) = 0;

  // Close the window; the program ends when the message loop sees it.
  virtual void CloseWindow() = 0;
};

}  // namespace update
