#include "sim/model/FlashMemory.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sim {

void FlashMemory::AddRegion(const Region& region) {
  const uint64_t end = uint64_t{region.start} + region.size;
  if (region.size == 0 || region.segmentSize == 0 || region.size % region.segmentSize != 0 ||
      end > (uint64_t{1} << 32)) {
    throw std::invalid_argument("flash region: size must be a non-zero multiple of the segment size");
  }
  for (const Region& other : m_regions) {
    const uint64_t otherEnd = uint64_t{other.start} + other.size;
    if (region.start < otherEnd && other.start < end) {
      throw std::invalid_argument("flash region overlaps another");
    }
  }
  m_regions.push_back(region);
  m_cells.emplace_back(region.size, kErased);
}

int FlashMemory::RegionOf(uint32_t address, size_t count) const {
  for (size_t i = 0; i < m_regions.size(); ++i) {
    const Region& r = m_regions[i];
    if (address >= r.start && uint64_t{address} + count <= uint64_t{r.start} + r.size) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool FlashMemory::Contains(uint32_t address, size_t count) const {
  // A range may run across adjacent regions.
  uint64_t at = address;
  const uint64_t end = uint64_t{address} + count;
  while (at < end) {
    const int i = RegionOf(static_cast<uint32_t>(at), 1);
    if (i < 0) return false;
    at = uint64_t{m_regions[i].start} + m_regions[i].size;
  }
  return true;
}

uint8_t* FlashMemory::Cell(uint32_t address) {
  const int i = RegionOf(address, 1);
  return i < 0 ? nullptr : &m_cells[i][address - m_regions[i].start];
}

const uint8_t* FlashMemory::Cell(uint32_t address) const {
  const int i = RegionOf(address, 1);
  return i < 0 ? nullptr : &m_cells[i][address - m_regions[i].start];
}

FlashMemory::Result FlashMemory::EraseSegment(uint32_t address) {
  const int i = RegionOf(address, 1);
  if (i < 0) return Result::OutOfRange;
  const Region& r = m_regions[i];
  const uint32_t first = (address - r.start) / r.segmentSize * r.segmentSize;
  std::fill_n(m_cells[i].begin() + first, r.segmentSize, kErased);
  ++m_segmentErases;
  return Result::Ok;
}

FlashMemory::Result FlashMemory::EraseRegion(uint32_t address) {
  const int i = RegionOf(address, 1);
  if (i < 0) return Result::OutOfRange;
  std::fill(m_cells[i].begin(), m_cells[i].end(), kErased);
  return Result::Ok;
}

void FlashMemory::EraseAll() {
  for (auto& cells : m_cells) std::fill(cells.begin(), cells.end(), kErased);
  ++m_fullErases;
}

FlashMemory::Result FlashMemory::Write(uint32_t address, const uint8_t* data, size_t count) {
  if (!Contains(address, count)) return Result::OutOfRange;
  Result result = Result::Ok;
  for (size_t n = 0; n < count; ++n) {
    uint8_t* cell = Cell(static_cast<uint32_t>(address + n));
    const uint8_t written = *cell & data[n];
    if (written != data[n]) result = Result::NotErased;
    *cell = written;
  }
  return result;
}

FlashMemory::Result FlashMemory::Read(uint32_t address, size_t count, std::vector<uint8_t>& out) const {
  out.clear();
  if (!Contains(address, count)) return Result::OutOfRange;
  out.reserve(count);
  for (size_t n = 0; n < count; ++n) out.push_back(*Cell(static_cast<uint32_t>(address + n)));
  return Result::Ok;
}

bool FlashMemory::IsErased(uint32_t address, size_t count) const {
  if (!Contains(address, count)) return false;
  for (size_t n = 0; n < count; ++n) {
    if (*Cell(static_cast<uint32_t>(address + n)) != kErased) return false;
  }
  return true;
}

uint8_t FlashMemory::At(uint32_t address) const {
  const uint8_t* cell = Cell(address);
  return cell ? *cell : kErased;
}

void FlashMemory::Dump(std::ostream& out) const {
  char text[16];
  for (size_t i = 0; i < m_regions.size(); ++i) {
    const auto& cells = m_cells[i];
    size_t at = 0;
    while (at < cells.size()) {
      while (at < cells.size() && cells[at] == kErased) ++at;
      if (at == cells.size()) break;
      // A block runs until 16 erased bytes in a row.
      size_t end = at;
      size_t erasedRun = 0;
      for (size_t k = at; k < cells.size(); ++k) {
        if (cells[k] == kErased) {
          if (++erasedRun == 16) break;
        } else {
          erasedRun = 0;
          end = k + 1;
        }
      }
      std::snprintf(text, sizeof text, "@%04X\n", static_cast<unsigned>(m_regions[i].start + at));
      out << text;
      for (size_t k = at; k < end; ++k) {
        std::snprintf(text, sizeof text, "%02X", cells[k]);
        out << text << (((k - at) % 16 == 15 || k + 1 == end) ? "\n" : " ");
      }
      at = end;
    }
  }
  out << "q\n";
}

}  // namespace sim
