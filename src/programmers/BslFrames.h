#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace programmers {

// The bytes of the ROM loader (1xx/2xx/4xx) protocol.
enum class RomBslCode : uint8_t {
  kSync = 0x80,             // synchronisation, sent alone
  kHeader = 0x80,           // start of every frame
  kAck = 0x90,              // command done
  kNak = 0xA0,              // command refused
  kNakOther = 0x70,         // refusal of some loaders
  kRxPassword = 0x10,       // take the password (the vector table)
  kRxDataBlock = 0x12,      // write a block
  kTxDataBlock = 0x14,      // read a block
  kEraseSegment = 0x16,     // erase one segment
  kMassErase = 0x18,        // erase the main flash
  kLoadPc = 0x1A,           // run from an address
  kTxBslVersion = 0x1E,     // send the chip ID and loader version
  kChangeBaudRate = 0x20,   // switch the line rate
  kSetMemoryOffset = 0x21,  // work on the upper 64 KiB or the lower
};

// The bytes of the 5xx/6xx loader protocol: core commands, the answer
// byte, and the first byte of a response core.
enum class Bsl5xxCode : uint8_t {
  kHeader = 0x80,          // start of every frame
  kAck = 0x00,             // packet taken
  kNakBits = 0x50,         // an answer byte with either bit set is an error
  kRxDataBlock = 0x10,     // write a block
  kRxPassword = 0x11,      // take the password
  kEraseSegment = 0x12,    // erase one segment
  kMassErase = 0x15,       // erase the main flash
  kLoadPc = 0x17,          // run from an address
  kTxDataBlock = 0x18,     // read a block
  kTxBslVersion = 0x19,    // send the loader's versions
  kChangeBaudRate = 0x52,  // switch the line rate
  kDataResponse = 0x3A,    // response: data
  kMessage = 0x3B,         // response: a status byte
};

// The status byte of a 5xx message response.
enum class Bsl5xxStatus : uint8_t {
  kOk = 0x00,                // done
  kWriteCheckFailed = 0x01,  // a written cell reads back wrong
  kFlashFailBit = 0x02,      // the flash controller failed
  kVoltageChanged = 0x03,    // the supply changed during a flash operation
  kLocked = 0x04,            // no password taken yet
  kPasswordError = 0x05,     // wrong password: the flash has been erased
};

constexpr uint8_t Byte(RomBslCode code) {
  return static_cast<uint8_t>(code);
}
constexpr uint8_t Byte(Bsl5xxCode code) {
  return static_cast<uint8_t>(code);
}
constexpr uint8_t Byte(Bsl5xxStatus status) {
  return static_cast<uint8_t>(status);
}

// The flash layout the MSP430 loaders work on.
namespace msp430 {
inline constexpr int32_t kSegmentSize = 0x200;
inline constexpr int32_t kVectorSegment = 0xFE00;    // 0xFE00..0xFFFF: the vector table's segment
inline constexpr int32_t kInVectorSegment = 0xFFFF;  // the address a vector erase names
inline constexpr int32_t kResetVectorAddress = 0xFFFE;
inline constexpr int32_t kUpperHalf = 0x10000;
inline constexpr int32_t kDefaultEraseTop = 0xFC00;  // the segment below the vector table's
}  // namespace msp430

// Frames of the MSP430 bootstrap loaders, as the tool sends them.

// ROM loader (1xx/2xx/4xx): XOR of the little-endian 16-bit words of the
// first `count` bytes, inverted. An odd count takes the last byte as a low
// byte.
uint16_t RomBslChecksum(const uint8_t* bytes, size_t count);
// 80 CMD L L payload CKL CKH.
std::vector<uint8_t> RomBslFrame(RomBslCode command, const std::vector<uint8_t>& payload);

// 5xx/6xx loader: CRC-16-CCITT (0x1021, init 0xFFFF, not reflected).
uint16_t Bsl5xxCrc(const uint8_t* bytes, size_t count);
// 80 NL NH core CKL CKH.
std::vector<uint8_t> Bsl5xxFrame(const std::vector<uint8_t>& core);

}  // namespace programmers

namespace programmers {

// What one scan of the receive buffer found, in the order to act on it.
struct BslReceipt {
  enum class Kind { Ack, Nak, Frame, BadFrame };
  Kind kind = Kind::Ack;
  std::vector<uint8_t> frame;  // Frame: the whole frame from its 0x80 on
};

// ROM loader: takes the first complete frame (80 CMD L L ... CKL CKH, L + 6
// bytes) and the last ACK (0x90) and NAK (0xA0, 0x70) before it; a NAK after
// the ACK is dropped. Bytes before the frame start are consumed; an
// incomplete frame stays in `buffer`.
std::vector<BslReceipt> ScanRomBsl(std::vector<uint8_t>& buffer);

// 5xx loader: ACK 0x00 and NAK (bit 0x10 or 0x40 set) bytes before a frame
// start, then frames 80 NL NH core CKL CKH (CRC over the core), repeatedly.
std::vector<BslReceipt> ScanBsl5xx(std::vector<uint8_t>& buffer);

}  // namespace programmers
