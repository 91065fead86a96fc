#include "programmers/ReadTiTxt.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace programmers {
namespace {

constexpr uint64_t kUpperBase = 0x10000;
constexpr uint64_t kVectorStart = 0xFE00;
constexpr uint64_t kResetVector = 0xFFFE;
constexpr int kLinesPerBlock = 15;
constexpr size_t kMaxAddressChars = 15;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// -1 for a character that is no hex digit.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Bytes the file gives at consecutive addresses; `offset` indexes the bytes
// kept beside the runs.
struct GivenRun {
  uint64_t start = 0;
  uint64_t end = 0;
  size_t offset = 0;
  int line = 0;
};

// A 0xFF appended to make a block even, at real address `address`.
struct Pad {
  size_t block = 0;
  size_t index = 0;
  uint64_t address = 0;
};

template <class Block>
class Reader {
  static constexpr bool kWide = std::is_same_v<Block, ImageBlock32>;
  static constexpr uint64_t kAddressLimit = kWide ? 0x100000000ULL : 0x20000ULL;

 public:
  explicit Reader(FirmwareImage<Block>& image) : m_image(image) {}

  void Scan(std::string_view text) {
    size_t i = 0;
    bool ended = false;
    while (i < text.size() && Ok() && !ended) {
      ++m_line;
      size_t end = i;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      std::string_view line = text.substr(i, end - i);
      // "q" ends the file wherever it stands.
      if (const size_t q = line.find('q'); q != std::string_view::npos) {
        line = line.substr(0, q);
        ended = true;
      }
      ReadLine(line);
      i = end;
      // CR LF, LF or CR end a line.
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n' && (i == end || i == end + 1)) ++i;
    }
    m_line = 0;
    if (Ok()) Commit();
    if (Ok()) SettlePads();
    if (Ok()) FindResetVector();
    if (Ok()) Reorder();
    m_image.LastIndex = static_cast<int>(m_image.blocks.size()) - 1;
  }

 private:
  bool Ok() const { return m_image.fault == ImageFault::kNone; }
  void Fail(ImageFault fault, int line) {
    m_image.fault = fault;
    m_image.faultLine = line;
  }
  void Fail(ImageFault fault) { Fail(fault, m_line); }

  void ReadLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (!line.empty() && line.front() == '@') return AddressLine(raw.substr(raw.find('@') + 1));
    if (m_open) return DataLine(line);
    if (!line.empty() && m_textBeforeAddress == 0) m_textBeforeAddress = m_line;
  }

  void AddressLine(std::string_view raw) {
    if (raw.size() > kMaxAddressChars) return Fail(ImageFault::kAddressTooLong);
    const std::string_view digits = Trim(raw);
    if (digits.empty()) return Fail(ImageFault::kMalformedLine);
    uint64_t address = 0;
    for (char c : digits) {
      if (IsBlank(c)) return Fail(ImageFault::kMalformedLine);
      const int digit = DigitValue(c);
      if (digit < 0) return Fail(ImageFault::kBadDigit);
      address = address * 16 + static_cast<uint64_t>(digit);
    }
    // Text before the first address line would be lost.
    if (m_textBeforeAddress > 0 && !m_seenAddress)
      return Fail(ImageFault::kMalformedLine, m_textBeforeAddress);
    m_seenAddress = true;
    // A section that goes on where an odd one ends continues its block: a
    // pad byte between them would overwrite its first byte.
    if (m_open && m_data.size() % 2 == 1 && address == m_start + m_data.size()) return;
    Commit();
    if (Ok()) Open(address);
  }

  // Pairs of hex digits separated by blanks.
  void DataLine(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && Ok()) {
      if (IsBlank(line[i])) {
        ++i;
        continue;
      }
      size_t end = i;
      for (; end < line.size() && !IsBlank(line[end]); ++end) {
        if (DigitValue(line[end]) < 0) return Fail(ImageFault::kBadDigit);
      }
      if ((end - i) % 2 == 1) return Fail(ImageFault::kOddDigits);
      if (end - i != 2) return Fail(ImageFault::kMalformedLine);
      AppendByte(static_cast<uint8_t>(DigitValue(line[i]) * 16 + DigitValue(line[i + 1])));
      i = end;
    }
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
    if (m_runs.empty() || m_runs.back().end != address) {
      m_runs.push_back(GivenRun{address, address, m_given.size(), m_line});
    }
    ++m_runs.back().end;
    m_given.push_back(byte);
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
      const uint64_t padAddress = m_start + m_data.size();
      if (!kWide && padAddress % kUpperBase == 0) return Fail(ImageFault::kOddAtBoundary);
      m_pads.push_back(Pad{m_image.blocks.size(), m_data.size(), padAddress});
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

  // The run holding `address`, or null. Needs the runs sorted.
  const GivenRun* RunAt(uint64_t address) const {
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), address,
                               [](uint64_t a, const GivenRun& run) { return a < run.start; });
    if (it == m_runs.begin()) return nullptr;
    --it;
    return address < it->end ? &*it : nullptr;
  }
  uint8_t GivenAt(const GivenRun& run, uint64_t address) const {
    return m_given[run.offset + static_cast<size_t>(address - run.start)];
  }

  // No address may be given twice. A pad on an address that a section
  // elsewhere in the file gives (sections out of address order) takes that
  // byte, so padding never changes what the file says.
  void SettlePads() {
    std::sort(m_runs.begin(), m_runs.end(),
              [](const GivenRun& a, const GivenRun& b) { return a.start < b.start; });
    for (size_t i = 1; i < m_runs.size(); ++i) {
      if (m_runs[i].start < m_runs[i - 1].end) {
        return Fail(ImageFault::kOverlap, std::max(m_runs[i].line, m_runs[i - 1].line));
      }
    }
    for (const Pad& pad : m_pads) {
      if (const GivenRun* run = RunAt(pad.address))
        m_image.blocks[pad.block].data[pad.index] = GivenAt(*run, pad.address);
    }
  }

  void FindResetVector() {
    const GivenRun* low = RunAt(kResetVector);
    const GivenRun* high = RunAt(kResetVector + 1);
    m_image.hasResetVector = low && high;
    if (m_image.hasResetVector) {
      m_image.resetVector =
          static_cast<uint16_t>(GivenAt(*low, kResetVector) | GivenAt(*high, kResetVector + 1) << 8);
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
  int m_line = 0;  // 1-based line being read
  bool m_seenAddress = false;
  int m_textBeforeAddress = 0;  // first line of text before any address line
  bool m_open = false;
  uint64_t m_start = 0;  // real address of the open block
  std::vector<uint8_t> m_data;
  int m_lines = 0;
  std::vector<GivenRun> m_runs;
  std::vector<uint8_t> m_given;
  std::vector<Pad> m_pads;
};

template <class Block>
int Read(std::string_view text, FirmwareImage<Block>& image) {
  const size_t capacity = image.capacity;
  image = FirmwareImage<Block>(capacity);
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
