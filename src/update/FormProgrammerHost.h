#pragma once

#include <cstdint>
#include <string>

#include "programmers/ProgrammerHost.h"

namespace update {

class TUpdateForm;

// The window as the programmers see it: forwards each request to the form.
// Owned by the form; lives as long as it.
class FormProgrammerHost final : public programmers::ProgrammerHost {
 public:
  explicit FormProgrammerHost(TUpdateForm& form) : m_form(form) {}

  void ReportProgress(uint32_t command, int32_t value) override;
  void LogLine(const std::string& text) override;
  void DrainEvents() override;
  core::EventQueue& Events() override;
  core::TimerSlots& Slots() override;
  platform::MessagePump& Pump() override;
  std::string FindProgDefFile(int32_t prozTyp) override;
  std::string ErrorText(int32_t errorStep) override;
  void ShowErrorBox(const std::string& text, const std::string& caption) override;
  std::string PackageFolder() override;
  int32_t Language() override;
  void AppendToVersionField(const std::string& text) override;
  double LocalDayNumber() override;

 private:
  TUpdateForm& m_form;
};

}  // namespace update
