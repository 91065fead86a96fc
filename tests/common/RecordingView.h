#pragma once

#include <array>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "translation/TLanguage.h"
#include "update/UpdateView.h"

namespace testing_support {

// A window for the update logic that records what it is told. Controls start
// in the state the form description gives them; message boxes answer from a
// script (and fail the test when the script has run out).
class RecordingView : public update::UpdateView {
 public:
  struct ControlState {
    std::string caption;
    bool visible = true;
    bool enabled = true;
    bool checked = false;
  };
  struct Box {
    std::string text;
    std::string caption;
    update::MessageIcon icon;
    update::MessageButtons buttons;
  };

  RecordingView() {
    using update::Control;
    for (Control hidden :
         {Control::DLListBox, Control::DLLabel, Control::InfoStaticText, Control::SpeedButton1,
          Control::WaitPanel, Control::StopPanel, Control::VE720dProgramming, Control::LoadProgFile}) {
      State(hidden).visible = false;
    }
    for (Control disabled :
         {Control::DevMulti720q, Control::DevpH720q, Control::DevOxi720q, Control::DevCond720q}) {
      State(disabled).enabled = false;
    }
    panels[0] = "Com X";
  }

  ControlState& State(update::Control c) { return controls[static_cast<size_t>(c)]; }
  const ControlState& State(update::Control c) const { return controls[static_cast<size_t>(c)]; }

  void SetCaption(update::Control c, const std::string& text) override { State(c).caption = text; }
  std::string Caption(update::Control c) const override { return State(c).caption; }
  void SetVisible(update::Control c, bool v) override { State(c).visible = v; }
  bool Visible(update::Control c) const override { return State(c).visible; }
  void SetEnabled(update::Control c, bool e) override {
    if (c == update::Control::OkBitBtn && e && !State(c).enabled) ++okEnabled;
    State(c).enabled = e;
  }
  bool Enabled(update::Control c) const override { return State(c).enabled; }
  void SetChecked(update::Control c, bool v) override { State(c).checked = v; }
  bool Checked(update::Control c) const override { return State(c).checked; }
  void Repaint(update::Control c) override { repaints.push_back(c); }

  void MemoAppend(const std::string& text) override { memo.push_back(text); }
  void MemoClear() override { memo.clear(); }
  void ListAdd(const std::string& text) override { list.push_back(text); }
  void SetProgress(int position, int maximum) override {
    progressPosition = position;
    progressMax = maximum;
  }
  void SetStatusPanel(int panel, const std::string& text) override {
    panels.at(static_cast<size_t>(panel)) = text;
  }
  std::string StatusPanel(int panel) const override { return panels.at(static_cast<size_t>(panel)); }
  void SetTitle(const std::string& t) override {
    title = t;
    titles.push_back(t);
  }

  update::MessageResult MessageBox(const std::string& text, const std::string& caption,
                                   update::MessageIcon icon, update::MessageButtons buttons) override {
    boxes.push_back(Box{text, caption, icon, buttons});
    if (answers.empty()) {
      if (buttons == update::MessageButtons::Ok) return update::MessageResult::Ok;
      throw std::logic_error("unscripted message box: " + text);
    }
    const update::MessageResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowException(const std::string& message) override { exceptions.push_back(message); }
  std::optional<std::string> OpenFileDialog(const std::string& directory) override {
    fileDialogs.push_back(directory);
    std::optional<std::string> answer = fileAnswers.empty() ? std::nullopt : fileAnswers.front();
    if (!fileAnswers.empty()) fileAnswers.pop_front();
    return answer;
  }
  // Records the dictionary the window would be translated with.
  void TranslateDialog(translation::TLanguage& language) override {
    translations.push_back(language.Dialogfile());
  }
  void CloseWindow() override { closed = true; }

  std::array<ControlState, static_cast<size_t>(update::Control::kCount)> controls{};
  std::vector<update::Control> repaints;
  std::vector<std::string> memo;
  std::vector<std::string> list;
  int progressPosition = 0;
  int progressMax = 40;
  std::array<std::string, update::kStatusPanelCount> panels{};
  std::string title;
  std::vector<std::string> titles;
  std::vector<Box> boxes;
  std::deque<update::MessageResult> answers;  // for boxes with more than OK
  std::vector<std::string> exceptions;
  std::vector<std::string> fileDialogs;
  std::deque<std::optional<std::string>> fileAnswers;
  std::vector<std::string> translations;
  bool closed = false;
  int okEnabled = 0;  // times OK went from disabled to enabled
};

}  // namespace testing_support
