#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/BilingualText.h"
#include "core/Event.h"
#include "core/EventQueue.h"
#include "programmers/TProgrammerTyp.h"
#include "programmers/XmodemImage.h"
#include "programmers/XmodemSender.h"

namespace programmers {

// Loads a firmware file unchanged into a loader that receives it by
// XMODEM-CRC: the request over the instrument's ASCII line, the switch to the
// loader's rate, then the padded image with its 6-byte trailer, the CRC
// report and the start command. Everything after Program's start runs in
// EventHandler, called from the window's drains on the GUI thread.
class T_EMFLoader : public TProgrammerTyp {
 public:
  static constexpr int32_t kSlotMs = 10000;  // without data the run fails
  // Reads of the XMODEM answers: at most this many bytes at a time, and at
  // most kRxCapacity per notification (RxBuffer).
  static constexpr uint32_t kReadChunk = 250;
  static constexpr size_t kRxCapacity = 1000;
  // Loader versions in thousandths: from 1.06 on the loader wants the code
  // after each command letter.
  static constexpr int32_t kFirstVersionWithCode = 1060;

  static constexpr core::BilingualText kNotAvailableText{
      "Bootloader im Zielger\xE4t nicht verf\xFCgbar!!  Programmierung wurde abgebrochen.",
      "bootloader in target not available!!  Programming abort."};
  // "%1" the instrument's CRC, "%2" the file's, both hexadecimal.
  static constexpr core::BilingualText kCrcMismatchText{
      "Das Ger\xE4t meldet die Pr\xFC"
      "fsumme %1 der empfangenen Daten, die Firmware-Datei hat %2. Die Firmware wurde nicht "
      "gestartet.  Programmierung wurde abgebrochen.",
      "The instrument reports the checksum %1 of what it received, the firmware file's is %2. The "
      "firmware was not started.  Programming abort."};
  // "%1" the packet's number, "%2" how often it was sent.
  static constexpr core::BilingualText kRefusedText{
      "Das Ger\xE4t hat das Datenpaket %1 nach %2 Sendungen nicht angenommen.  Programmierung wurde "
      "abgebrochen.",
      "The instrument did not take data packet %1 after it was sent %2 times.  Programming abort."};

  T_EMFLoader(ProgrammerHost& form, serial::TDelay& delay, ProgrammerRecord& deviceRecord,
              serial::TComPort& port);
  ~T_EMFLoader() override;

  // mode: the loader mode 0, 1 or 2; `sameVersion` is not used. True when
  // the instrument took the image and was told to start it.
  virtual bool Program(int32_t mode, const std::string& fileName, bool sameVersion);

  // The version text of the loader read as thousandths (1.06 gives 1060).
  static int32_t VersionThousandths(const std::string& text);
  // The loader's CRC report, hexadecimal text; false when it starts with no
  // hexadecimal digit or does not fit 16 bits.
  static bool ReadCrcReport(const std::string& text, uint16_t& crc);

  // For tests.
  bool UseCodeSuffix() const { return m_useCodeSuffix; }
  int32_t Mode() const { return m_mode; }
  uint16_t ImageCrc() const { return m_image ? m_image->ImageCrc() : 0; }

 protected:
  void OnConnectionLost() override;

 private:
  // What the run waits for.
  enum class Phase {
    kHello,        // the "!" to A.1000: then the request
    kRequested,    // the answer line to the request: then the switch
    kSensorHello,  // mode 2: the sensor's "!" to its own request
    kVersion,      // the loader's version (251)
    kTransfer,     // XMODEM
    kCrcReport,    // the loader's CRC (1205)
    kOver,
  };

  core::Event EventHandler(core::EventQueue& queue, core::Event event);
  void OnAcknowledged();
  void SwitchToLoader();
  void OnVersion(const std::string& text);
  void OnCrcReport(const std::string& text);
  void ReadXmodemAnswer();
  // One command letter, with the loader's code after it where it wants one.
  void SendLetter(uint8_t letter);
  void Write(const std::string& text);
  void WriteBytes(const uint8_t* bytes, size_t count);
  void Wait(int32_t ms) { m_delay.DelayTime(ms, false); }
  void Fail(std::string text);
  void Finish() { m_finished = true; }

  bool m_failed = false;
  bool m_finished = false;
  int32_t m_language = 0;
  int32_t m_mode = 0;
  int32_t m_timerSlot = 0;
  Phase m_phase = Phase::kHello;
  bool m_xmodemActive = false;
  bool m_useCodeSuffix = false;
  std::unique_ptr<XmodemImage> m_image;
  std::unique_ptr<XmodemSender> m_sender;
  std::string m_failText;
};

}  // namespace programmers
