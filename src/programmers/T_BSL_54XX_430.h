#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "programmers/FirmwareImage.h"
#include "programmers/T_BSL430.h"

namespace programmers {

// Programs an MSP430 of the 5xx/6xx families through its UART bootstrap
// loader: the same request half and run as T_BSL430, then packets
// 80 NL NH core CRC at 9600 8E1: password, version, device ID, optional
// 38400 baud, segment erase from the top down, block writes, read back,
// Load PC.
class T_BSL_54XX_430 : public T_BSL430 {
 public:
  // The reset vector assumed when the instrument waits in its loader and no
  // reset vector is remembered: the bottom of 5xx/6xx main flash.
  static constexpr const char* kDefaultVector = "0x5C00";
  static constexpr size_t kFileLimit = 1500000;

  T_BSL_54XX_430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                 serial::TComPort& port);

  void ShowError() override;

  const std::array<uint16_t, 16>& Password() const { return m_password; }
  // Fills the password from a reset-vector answer (tokens of 6 characters,
  // the first for 0xFFFE, the next for 0xFFFC and so on).
  void SetPasswordFromText(const char* text);

 protected:
  bool ReadImage(const std::string& fileName) override;
  void StartInLoader() override;
  const char* DefaultVectorText() const override { return kDefaultVector1; }
  bool ChipIdImageSkipsQuestion() const override { return false; }
  void OnVectorText(const char* text) override;
  void StartLoaderProtocol(bool sync) override;
  std::vector<BslReceipt> ScanReceived(std::vector<uint8_t>& buffer) override;
  void OnFrame(const std::vector<uint8_t>& frame) override;
  void OnAck() override;
  void RetryRule(bool timeOut) override;

 private:
  using Step = void (T_BSL_54XX_430::*)();
  using FrameStep = void (T_BSL_54XX_430::*)(const std::vector<uint8_t>&);

  void Send(const std::vector<uint8_t>& core, int32_t errorStep);
  // Tells the record what a message of `status` after the last packet says
  // about the vector table.
  void NoteMessage(uint8_t status);

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
  bool m_errorShown = false;
  // In the loader-only run: a refused password may be retried once with
  // the erased table (the loader erases its flash on a wrong password).
  bool m_mayTryErased = false;
  std::vector<uint8_t> m_sentCore;  // the last packet's core command

  FrameStep m_answerStep = nullptr;
  Step m_messageStep = nullptr;
  Step m_ackStep = nullptr;
  Step m_nakStep = nullptr;
  Step m_tried1 = nullptr;
  Step m_tried2 = nullptr;
};

}  // namespace programmers
