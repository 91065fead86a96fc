#include "programmers/ReadTiTxt.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace programmers {
namespace {

constexpr uint64_t kUpperBase = 0x10000;
constexpr uint64_t kVectorStart = 0xFE00;
constexpr int kLinesPerBlock = 15;
constexpr size_t kMaxAddressChars = 15;

// Like the data-byte reading of the loaders' own tools: no validation, a
// character that is no hex digit still gives some digit value.
int DigitValue(unsigned char c) {
  return c <= '9' ? c - '0' : std::toupper(c) - 55;
}

uint8_t HexByte(char high, char low) {
  return static_cast<uint8_t>(DigitValue(static_cast<unsigned char>(high)) * 16 +
                              DigitValue(static_cast<unsigned char>(low)));
}

// Leading blanks skipped, then hex digits up to the first other character.
// At most 15 digits, so the value fits in 64 bits.
uint64_t AddressValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint64_t value = 0;
  for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 16 + static_cast<uint64_t>(DigitValue(static_cast<unsigned char>(text[i])));
  }
  return value;
}

template <class Block>
class Reader {
  static constexpr bool kWide = std::is_same_v<Block, ImageBlock32>;
  static constexpr uint64_t kAddressLimit = kWide ? 0x100000000ULL : 0x20000ULL;

 public:
  explicit Reader(FirmwareImage<Block>& image) : m_image(image) {}

  void Scan(std::string_view text) {
    bool inAddress = false;
    size_t lineStart = 0;
    size_t addressStart = 0;
    size_t i = 0;
    for (; i < text.size() && Ok(); ++i) {
      const char c = text[i];
      if (c == 'q') break;
      if (c == '@') {
        inAddress = true;
        addressStart = i + 1;
        continue;
      }
      if (c == '\r' || c == '\n') {
        if (inAddress) {
          EndAddressLine(text.substr(addressStart, i - addressStart));
          inAddress = false;
        } else {
          EndDataLine(text, lineStart, i);
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lineStart = i + 1;
        continue;
      }
      if (!inAddress && c == ' ' && i - lineStart >= 2) AppendByte(HexByte(text[i - 2], text[i - 1]));
    }
    // A last data line without its line end still counts.
    if (Ok() && !inAddress && i > lineStart) EndDataLine(text, lineStart, i);
    if (Ok()) Commit();
    if (Ok()) Reorder();
    m_image.LastIndex = static_cast<int>(m_image.blocks.size()) - 1;
  }

 private:
  bool Ok() const { return m_image.fault == ImageFault::kNone; }
  void Fail(ImageFault fault) { m_image.fault = fault; }

  void EndAddressLine(std::string_view address) {
    if (address.size() > kMaxAddressChars) return Fail(ImageFault::kAddressTooLong);
    Commit();
    if (Ok()) Open(AddressValue(address));
  }

  void EndDataLine(std::string_view text, size_t start, size_t end) {
    if (!m_open) return;
    if (end - start >= 2 && text[end - 1] != ' ') AppendByte(HexByte(text[end - 2], text[end - 1]));
    if (Ok() && ++m_lines == kLinesPerBlock) CloseAfterLines();
  }

  void Open(uint64_t address) {
    if (address >= kAddressLimit) return Fail(ImageFault::kAddressOutOfRange);
    m_open = true;
    m_start = address;
    m_data.clear();
    m_lines = 0;
  }

  void AppendByte(uint8_t byte) {
    if (!m_open) return;
    const uint64_t address = m_start + m_data.size();
    // A 16-bit block must not run into the upper 64 KiB, and no block may
    // outgrow its array: go on in a new block at the same address.
    const bool crossesUpper = !kWide && m_start < kUpperBase && address == kUpperBase;
    if (crossesUpper || m_data.size() == Block::kMaxData) {
      Commit();
      if (!Ok()) return;
      Open(address);
      if (!Ok()) return;
    }
    if (address >= kAddressLimit) return Fail(ImageFault::kAddressOutOfRange);
    m_data.push_back(byte);
  }

  // After 15 lines. An odd last byte is carried into the next block rather
  // than padded: a pad would land on the address of the byte that follows.
  void CloseAfterLines() {
    std::vector<uint8_t> carry;
    if (m_data.size() % 2 == 1) {
      carry.push_back(m_data.back());
      m_data.pop_back();
    }
    const uint64_t next = m_start + m_data.size();
    Commit();
    if (!Ok()) return;
    Open(next);
    if (Ok()) m_data = carry;
  }

  void Commit() {
    if (!m_open) return;
    m_open = false;
    if (m_data.empty()) return;
    if (m_data.size() % 2 == 1) {
      if (!kWide && (m_start + m_data.size()) % kUpperBase == 0) return Fail(ImageFault::kOddAtBoundary);
      m_data.push_back(0xFF);
    }
    if (m_image.blocks.size() >= m_image.capacity) return Fail(ImageFault::kTooManyBlocks);
    Block block;
    const bool upper = !kWide && m_start >= kUpperBase;
    block.address = static_cast<decltype(block.address)>(upper ? m_start - kUpperBase : m_start);
    block.length = static_cast<uint16_t>(Block::kHeaderSize + m_data.size());
    std::copy(m_data.begin(), m_data.end(), block.data.begin());
    const int index = static_cast<int>(m_image.blocks.size());
    m_image.blocks.push_back(block);
    if constexpr (kWide) {
      if (IsVectorBlock(block)) {
        if (m_image.FirstVector < 0) m_image.FirstVector = index;
        ++m_image.VectorCount;
      }
    } else if (upper) {
      if (m_image.FirstUpper < 0) m_image.FirstUpper = index;
    } else if (m_image.FirstUpper >= 0) {
      m_image.lowerAfterUpper = true;
    }
  }

  static uint64_t End(const Block& block) { return block.address + block.DataLength(); }
  static bool IsVectorBlock(const Block& block) {
    return block.address < kUpperBase && End(block) >= kVectorStart;
  }

  void Reorder() {
    auto& blocks = m_image.blocks;
    if constexpr (kWide) {
      if (m_image.FirstVector <= 0) return;
      const auto firstMoved = std::stable_partition(blocks.begin(), blocks.end(),
                                                    [](const Block& b) { return !IsVectorBlock(b); });
      m_image.FirstVector = static_cast<int>(firstMoved - blocks.begin());
    } else {
      const int lastIndex = static_cast<int>(blocks.size()) - 1;
      if (m_image.FirstUpper <= 0) {
        m_image.LastUpper = m_image.FirstUpper == 0 ? lastIndex : -1;
        return;
      }
      if (blocks.size() >= m_image.capacity) return Fail(ImageFault::kTooManyBlocks);
      std::vector<Block> order;
      std::vector<Block> moved;
      order.reserve(blocks.size() + 1);
      for (int i = 0; i < m_image.FirstUpper; ++i) {
        (End(blocks[i]) >= kVectorStart ? moved : order).push_back(blocks[i]);
      }
      order.insert(order.end(), blocks.begin() + m_image.FirstUpper, blocks.end());
      Block marker;
      marker.address = 0;
      marker.length = 0;
      order.push_back(marker);
      order.insert(order.end(), moved.begin(), moved.end());
      const int movedCount = static_cast<int>(moved.size());
      m_image.FirstUpper -= movedCount;
      m_image.LastUpper = lastIndex - movedCount;
      blocks = std::move(order);
    }
  }

  FirmwareImage<Block>& m_image;
  bool m_open = false;
  uint64_t m_start = 0;  // real address of the open block
  std::vector<uint8_t> m_data;
  int m_lines = 0;
};

template <class Block>
int Read(std::string_view text, FirmwareImage<Block>& image) {
  image.blocks.clear();
  image.LastIndex = -1;
  image.FirstUpper = -1;
  image.LastUpper = -1;
  image.FirstVector = -1;
  image.VectorCount = 0;
  image.fault = ImageFault::kNone;
  image.lowerAfterUpper = false;
  Reader<Block>(image).Scan(text);
  return image.LastIndex;
}

}  // namespace

int ReadTiTxt(std::string_view text, FirmwareImage16& image) {
  return Read(text, image);
}
int ReadTiTxt(std::string_view text, FirmwareImage32& image) {
  return Read(text, image);
}

}  // namespace programmers
