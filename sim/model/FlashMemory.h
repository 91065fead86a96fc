#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

namespace sim {

// The flash of a simulated instrument, for the loader models. Flash
// semantics: erasing sets a whole segment to the erased value (0xFF), a write
// can only clear bits (the cell becomes old AND new), so writing over data
// that was not erased leaves the AND of both and reports it.
class FlashMemory {
 public:
  struct Region {
    uint32_t start = 0;
    uint32_t size = 0;
    uint32_t segmentSize = 0;  // divides size
  };

  enum class Result {
    Ok,
    OutOfRange,  // some address is not flash; nothing was changed
    NotErased,   // a bit that should be 1 is 0; the cells hold old AND new
  };

  static constexpr uint8_t kErased = 0xFF;

  FlashMemory() = default;
  // Throws std::invalid_argument for an empty region, a segment size that
  // does not divide it, or an overlap with another region.
  void AddRegion(const Region& region);
  const std::vector<Region>& Regions() const { return m_regions; }

  // Erases the segment that holds `address`.
  Result EraseSegment(uint32_t address);
  // Erases the whole region that holds `address`.
  Result EraseRegion(uint32_t address);
  void EraseAll();

  Result Write(uint32_t address, const uint8_t* data, size_t count);
  Result Write(uint32_t address, const std::vector<uint8_t>& data) {
    return Write(address, data.data(), data.size());
  }
  // Reads `count` bytes; OutOfRange leaves `out` empty.
  Result Read(uint32_t address, size_t count, std::vector<uint8_t>& out) const;
  // Whether [address, address + count) is flash and erased.
  bool IsErased(uint32_t address, size_t count) const;
  uint8_t At(uint32_t address) const;  // kErased outside flash

  uint32_t SegmentEraseCount() const { return m_segmentErases; }
  uint32_t FullEraseCount() const { return m_fullErases; }

  // The bytes that are not erased, as TI-TXT ("@ADDR" lines, 16 bytes a
  // line, "q" at the end). Runs of erased bytes of 16 or more split a block.
  void Dump(std::ostream& out) const;

 private:
  // Index of the region holding the whole range, or -1.
  int RegionOf(uint32_t address, size_t count) const;
  bool Contains(uint32_t address, size_t count) const;
  uint8_t* Cell(uint32_t address);
  const uint8_t* Cell(uint32_t address) const;

  std::vector<Region> m_regions;
  std::vector<std::vector<uint8_t>> m_cells;
  uint32_t m_segmentErases = 0;
  uint32_t m_fullErases = 0;
};

}  // namespace sim
