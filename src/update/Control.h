#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace update {

// The components of the main window that the logic addresses. Their names
// are the object names in the form description; the Qt window binds each
// one by that name and refuses to start when one is missing.
enum class Control {
  // form
  UpdateMemo,
  UpdateGroupBox,
  NameStaticText,
  SerStaticText,
  PCBStaticText,
  SWStaticText,
  NameLabel,
  SerLabel,
  PCBLabel,
  SWLabel,
  DLListBox,
  DLLabel,
  OkBitBtn,
  InfoStaticText,
  SpeedButton1,
  UpdateStatusBar,
  WaitPanel,
  StopPanel,
  WaitProgressBar,
  // menu tree
  Bearbeiten,
  VE720dProgramming,
  DevMulti720q,
  DevpH720q,
  DevOxi720q,
  DevCond720q,
  LabXXX,
  LoadProgFile,
  UpdateEnd,
  Sprache,
  Deutsch,
  Englisch,
  Help,
  Readme,
  SWVersion,
  kCount
};

// What a component is, for binding: a widget, a submenu or a menu command.
enum class ControlKind { Widget, Menu, Action };

struct ControlInfo {
  Control control;
  std::string_view name;
  ControlKind kind;
};

inline constexpr std::array<ControlInfo, static_cast<size_t>(Control::kCount)> kControls{{
    {Control::UpdateMemo, "UpdateMemo", ControlKind::Widget},
    {Control::UpdateGroupBox, "UpdateGroupBox", ControlKind::Widget},
    {Control::NameStaticText, "NameStaticText", ControlKind::Widget},
    {Control::SerStaticText, "SerStaticText", ControlKind::Widget},
    {Control::PCBStaticText, "PCBStaticText", ControlKind::Widget},
    {Control::SWStaticText, "SWStaticText", ControlKind::Widget},
    {Control::NameLabel, "NameLabel", ControlKind::Widget},
    {Control::SerLabel, "SerLabel", ControlKind::Widget},
    {Control::PCBLabel, "PCBLabel", ControlKind::Widget},
    {Control::SWLabel, "SWLabel", ControlKind::Widget},
    {Control::DLListBox, "DLListBox", ControlKind::Widget},
    {Control::DLLabel, "DLLabel", ControlKind::Widget},
    {Control::OkBitBtn, "OkBitBtn", ControlKind::Widget},
    {Control::InfoStaticText, "InfoStaticText", ControlKind::Widget},
    {Control::SpeedButton1, "SpeedButton1", ControlKind::Widget},
    {Control::UpdateStatusBar, "UpdateStatusBar", ControlKind::Widget},
    {Control::WaitPanel, "WaitPanel", ControlKind::Widget},
    {Control::StopPanel, "StopPanel", ControlKind::Widget},
    {Control::WaitProgressBar, "WaitProgressBar", ControlKind::Widget},
    {Control::Bearbeiten, "Bearbeiten", ControlKind::Menu},
    {Control::VE720dProgramming, "VE720dProgramming", ControlKind::Menu},
    {Control::DevMulti720q, "DevMulti720q", ControlKind::Action},
    {Control::DevpH720q, "DevpH720q", ControlKind::Action},
    {Control::DevOxi720q, "DevOxi720q", ControlKind::Action},
    {Control::DevCond720q, "DevCond720q", ControlKind::Action},
    {Control::LabXXX, "LabXXX", ControlKind::Action},
    {Control::LoadProgFile, "LoadProgFile", ControlKind::Action},
    {Control::UpdateEnd, "UpdateEnd", ControlKind::Action},
    {Control::Sprache, "Sprache", ControlKind::Menu},
    {Control::Deutsch, "Deutsch", ControlKind::Action},
    {Control::Englisch, "Englisch", ControlKind::Action},
    {Control::Help, "Help", ControlKind::Menu},
    {Control::Readme, "Readme", ControlKind::Action},
    {Control::SWVersion, "SWVersion", ControlKind::Action},
}};

constexpr const ControlInfo& InfoOf(Control control) {
  return kControls[static_cast<size_t>(control)];
}
constexpr std::string_view ControlName(Control control) {
  return InfoOf(control).name;
}

// The table is indexed by the enumerator; keep both in one order.
constexpr bool ControlTableInOrder() {
  for (size_t i = 0; i < kControls.size(); ++i) {
    if (static_cast<size_t>(kControls[i].control) != i) return false;
  }
  return true;
}
static_assert(ControlTableInOrder());

// Status bar panels and their widths in pixels.
inline constexpr int kStatusPanelCount = 5;
inline constexpr std::array<int, kStatusPanelCount> kStatusPanelWidths{200, 50, 50, 120, 80};

}  // namespace update
