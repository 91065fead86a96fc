#pragma once

#include <cstdint>

// Every CodeEvent number the program posts or acts on, named once. Codes of
// 10000 and above are the program's own results; the smaller ones are the
// numbers of the instrument's answer lines ("I.25#...", "B.920$...") or of
// the terminal's loader messages, posted as they arrive.
namespace core::codes {

// --- the program's own results
inline constexpr int32_t kDataArrived = 10000;        // a port has data; text: its COM number
inline constexpr int32_t kAcknowledged = 10010;       // a line ending in "!"
inline constexpr int32_t kAnswerLine = 10011;         // a line of class "A." or "C."
inline constexpr int32_t kRejected = 10012;           // a line ending in "?"
inline constexpr int32_t kFailedWithRetry = 10021;    // a download failed; OK retries it
inline constexpr int32_t kOutsideLoadDone = 10022;    // an outside loader wrote MainFile
inline constexpr int32_t kOwnDownload = 10023;        // the instrument's own download command
inline constexpr int32_t kSecondStage = 10024;        // second processor, sensor, extra files
inline constexpr int32_t kTerminalProgramming = 10025;  // the terminal's S-record loader
inline constexpr int32_t kOutsideLoader = 10030;      // MainFile through the outside loader
inline constexpr int32_t kBootLoaderCommand = 10040;  // the 720q boot-loader download
inline constexpr int32_t kLoaderFrame = 10042;        // a boot-loader frame; text: its body
inline constexpr int32_t kDownloadTiTxt = 10043;      // a TI-TXT file through the MSP430 loader
inline constexpr int32_t kLoaderByte = 10044;         // a boot-loader byte 0x90 or "Q"; text: the byte
inline constexpr int32_t kLabCommand = 10045;         // the lab instrument's boot-loader download
inline constexpr int32_t kDownloadInLoader = 10046;   // the MSP430 loader, instrument already in it
inline constexpr int32_t kFailedNoRetry = 10047;      // a second stage failed; no retry
inline constexpr int32_t kDownloadWinCe = 10050;      // a Windows CE image
inline constexpr int32_t kDownloadHex = 10051;        // a HEX file, the instrument's own download
inline constexpr int32_t kDownloadBin = 10052;        // a BIN file: EFM or XMODEM loader
inline constexpr int32_t kConnectionLost = 10060;     // the device port's line was lost (adapter unplugged)

// --- the instrument's answers (identification: the main processor, the
// second processor and the sensor each have their own number)
inline constexpr int32_t kAnswerIdentNumber = 20;
inline constexpr int32_t kAnswerSoftwareVersion = 21;
inline constexpr int32_t kAnswerPcbNumber = 23;
inline constexpr int32_t kAnswerSerialNumber = 25;
inline constexpr int32_t kAnswerIdentNumber2 = 200;
inline constexpr int32_t kAnswerSoftwareVersion2 = 201;
inline constexpr int32_t kAnswerPcbNumber2 = 203;
inline constexpr int32_t kAnswerSerialNumber2 = 205;
inline constexpr int32_t kAnswerSensorIdentNumber = 2010;
inline constexpr int32_t kAnswerStartupVersion = 2011;  // the start-up program's version
inline constexpr int32_t kAnswerSensorPcbNumber = 2013;

// --- the instrument's answers during the run
inline constexpr int32_t kAnswerSetClockSeconds = 30;  // the firmware is stored: set the clock
inline constexpr int32_t kAnswerFinished = 31;         // the instrument has finished its download
inline constexpr int32_t kAnswerLoaderHello = 35;      // the EFM loader answers the hello command
inline constexpr int32_t kAnswerResetVector = 80;      // the reset vector, hexadecimal text
inline constexpr int32_t kAnswerResetVector2 = 81;     // the second processor's reset vector
inline constexpr int32_t kAnswerTerminalVariant = 208;
inline constexpr int32_t kAnswerXmodemLoaderVersion = 251;
inline constexpr int32_t kAnswerWinCeNextFile = 260;
inline constexpr int32_t kAnswerWinCeBlockError = 261;  // text: the error number (2: send again)
inline constexpr int32_t kAnswerSensorIdModule = 262;
inline constexpr int32_t kAnswerEfmLineError = 263;     // text: the error number (2: send again)
inline constexpr int32_t kAnswerEfmLoaderText = 264;
inline constexpr int32_t kAnswerAirPressureQuery = 920;
inline constexpr int32_t kAnswerPause = 1131;           // text: the pause in ms
inline constexpr int32_t kAnswerBottlexNotReady = 1132;  // a Bottlex not in update mode
inline constexpr int32_t kAnswerXmodemCrc = 1205;       // the loader's image CRC, hexadecimal text

// --- the terminal's Basic-Loader messages (posted by the terminal programmer)
inline constexpr int32_t kTerminalFirst = 100;
inline constexpr int32_t kTerminalLast = 112;

}  // namespace core::codes

// The key codes of KeyEvents.
namespace core::keys {

inline constexpr int32_t kReturn = 13;  // OK, or Return where nothing takes it
inline constexpr int32_t kEscape = 27;

}  // namespace core::keys
