#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace programmers {

// Frames of the MSP430 bootstrap loaders, as the tool sends them.

// ROM loader (1xx/2xx/4xx): XOR of the little-endian 16-bit words of the
// first `count` bytes, inverted. An odd count takes the last byte as a low
// byte.
uint16_t RomBslChecksum(const uint8_t* bytes, size_t count);
// 80 CMD L L payload CKL CKH.
std::vector<uint8_t> RomBslFrame(uint8_t command, const std::vector<uint8_t>& payload);

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
