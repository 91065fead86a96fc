#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "programmers/FirmwareImage.h"
#include "programmers/T_BSL430.h"

namespace programmers {

// Programs an MSP430 of the 5xx/6xx families through its UART bootstrap
// loader: the same request half as T_BSL430, then packets 80 NL NH core CRC
// at 9600 8E1: password, version, device ID, optional 38400 baud, segment
// erase from the top down, block writes, read back, Load PC.
class T_BSL_54XX_430 : public T_BSL430 {
 public:
  // The reset vector assumed when the instrument waits in its loader and no
  // reset vector is remembered: the bottom of 5xx/6xx main flash.
  static constexpr const char* kDefaultVector = "0x5C00";
  static constexpr size_t kFileLimit = 1500000;

  T_BSL_54XX_430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                 serial::TComPort& port);
  ~T_BSL_54XX_430() override;

  bool Program(const std::string& fileName) override;
  bool SendCommand(const std::string& text) override;
  void ShowError() override;
  int32_t LastError() const override { return m_errorStepSaved; }

  // The receive path of the loader protocol: what has been read from the port.
  void ReceiveBytes(const uint8_t* bytes, size_t count) override;

  const std::array<uint16_t, 16>& Password() const { return m_password; }
  // Fills the password from a reset-vector answer (tokens of 6 characters,
  // the first for 0xFFFE, the next for 0xFFFC and so on).
  void SetPasswordFromText(const char* text);

 private:
  using Step = void (T_BSL_54XX_430::*)();
  using FrameStep = void (T_BSL_54XX_430::*)(const std::vector<uint8_t>&);

  core::Event EventHandler5xx(core::EventQueue& queue, core::Event event);
  void OnVectorText(const char* text);
  void EnterLoader();
  void RetryRule();
  void Send(const std::vector<uint8_t>& core, int32_t errorStep);
  void EndWithError();

  void StepPassword();
  void StepVersion();
  void OnVersion(const std::vector<uint8_t>& frame);
  void StepDeviceId();
  void OnDeviceId(const std::vector<uint8_t>& frame);
  void StepBaudRate();
  void SwitchTo38400();
  void StepErase();
  void NextSegment();
  void StepVectorErase();
  void VectorSegmentErased();
  void StepWrite();
  void NextBlock();
  void StepReadBack();
  void Compare(const std::vector<uint8_t>& frame);
  void StepStart();
  void Done();
  uint32_t StartAddress() const;

  FirmwareImage32 m_image32;
  std::array<uint16_t, 16> m_password{};
  int32_t m_eraseAddress = 0;
  int32_t m_blockIndex = 0;
  int32_t m_lastBlock = -1;
  bool m_errorShown = false;
  bool m_subscribed5 = false;

  FrameStep m_answerStep = nullptr;
  Step m_messageStep = nullptr;
  Step m_ackStep = nullptr;
  Step m_nakStep = nullptr;
  Step m_tried1 = nullptr;
  Step m_tried2 = nullptr;
};

}  // namespace programmers
