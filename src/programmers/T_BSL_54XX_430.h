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
// Load PC. Its protocol state is its own; of the ROM loader it uses the
// run, the hand-over and the receive path.
class T_BSL_54XX_430 : public T_BSL430 {
 public:
  // The reset vector assumed when the instrument waits in its loader and no
  // reset vector is remembered: the bottom of 5xx/6xx main flash.
  static constexpr const char* kDefaultVector = "0x5C00";
  static constexpr size_t kFileLimit5xx = 1500000;

  // The 16 words of the password: word 15 belongs to 0xFFFE, word 0 to 0xFFE0.
  using PasswordWords = std::array<uint16_t, 16>;

  T_BSL_54XX_430(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
                 serial::TComPort& port);

  void ShowError() override;

  const PasswordWords& Password() const { return m_passwordWords; }
  // Fills the password from a reset-vector answer (tokens of 6 characters,
  // the first for 0xFFFE, the next for 0xFFFC and so on).
  void SetPasswordFromText(const char* text);

 protected:
  bool ReadImage(const std::string& fileName) override;
  void StartInLoader() override;
  const char* DefaultVectorText() const override { return kDefaultVector1; }
  bool ChipIdImageSkipsQuestion() const override { return false; }
  int32_t TakeVectorText(const char* text) override;
  void StartLoaderProtocol(bool sync) override;
  std::vector<BslReceipt> ScanReceived(std::vector<uint8_t>& buffer) override;
  void OnFrame(const std::vector<uint8_t>& frame) override;
  void OnAck() override;
  void RetryRule(bool timeOut) override;

 private:
  using PacketSteps = LoaderSteps<T_BSL_54XX_430, Bsl5xxCode>;
  struct PacketProtocol;
  static const PacketProtocol kPacketProtocol;

  // Arms the step and sends its core command with `data`.
  void SendPacket(const PacketSteps::Step& step, const std::vector<uint8_t>& data = {});
  // Tells the record what a message of `status` after the last packet says
  // about the vector table.
  void NoteMessage(uint8_t status);

  void SendPassword();
  void SendVersionQuery();
  void OnVersion(const std::vector<uint8_t>& frame);
  void SendDeviceIdQuery();
  void OnDeviceId(const std::vector<uint8_t>& frame);
  void SendBaudRate();
  void FollowTo38400();
  void SendErase();
  void NextEraseSegment();
  void SendVectorErase();
  void VectorEraseDone();
  void SendBlock();
  void NextWriteBlock();
  void SendReadBack();
  void CompareBlock(const std::vector<uint8_t>& frame);
  void SendStart();
  uint32_t StartAddress() const;
  int32_t SecondBlockStart() const;

  FirmwareImage32 m_image32;
  PasswordWords m_passwordWords{};
  bool m_errorShown = false;
  // In the loader-only run: a refused password may be retried once with
  // the erased table (the loader erases its flash on a wrong password).
  bool m_mayTryErased = false;
  std::vector<uint8_t> m_sentCore;  // the last packet's core command
  PacketSteps m_packetSteps;
};

}  // namespace programmers
