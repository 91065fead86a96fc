// Writes the firmware files of the demo package: for every line "NAME VERSION"
// of the list, a small image that carries VERSION (zero-terminated) where the
// package's version keys look for it: as TI-TXT, the block at @FF00 that
// opens the file (key "@FF00\r\n"), then the code at 0xC000 and the reset
// vector at 0xFFFE pointing there; as Motorola S-records (.MOT), the
// record S109 4000 (key "S1094000"; the files are small enough for it to lie
// within the last 1000 bytes, where S-record versions are looked for).
//   demo-firmware LIST OUTPUT_DIR
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kImageAddress = 0xC000;
constexpr uint32_t kVersionAddressTiTxt = 0xFF00;
constexpr uint32_t kResetVectorAddress = 0xFFFE;
constexpr uint32_t kVersionAddressSRecord = 0x4000;
// S109: 2 address bytes, 6 data bytes, the checksum.
constexpr size_t kSRecordVersionBytes = 6;

std::vector<uint8_t> ImageData(const std::string& name) {
  const std::string text = name + " demo image";
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  while (data.size() % 16 != 0) data.push_back(0xFF);
  for (int i = 0; i < 32; ++i) data.push_back(static_cast<uint8_t>(i * 7 + 3));
  return data;
}

std::string HexLines(const std::vector<uint8_t>& data) {
  std::ostringstream out;
  char buffer[8];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02X", data[i]);
    out << buffer << ((i % 16 == 15 || i + 1 == data.size()) ? "\r\n" : " ");
  }
  return out.str();
}

std::string TiTxt(const std::string& version, const std::vector<uint8_t>& data) {
  char address[8];
  std::snprintf(address, sizeof address, "@%04X", kVersionAddressTiTxt);
  std::vector<uint8_t> versionBytes(version.begin(), version.end());
  versionBytes.push_back(0);
  if (versionBytes.size() % 2) versionBytes.push_back(0xFF);
  std::string out = std::string(address) + "\r\n" + HexLines(versionBytes);
  std::snprintf(address, sizeof address, "@%04X", kImageAddress);
  out += std::string(address) + "\r\n" + HexLines(data);
  // The reset vector, so the image is one a bootstrap loader can start.
  const std::vector<uint8_t> resetVector{static_cast<uint8_t>(kImageAddress),
                                         static_cast<uint8_t>(kImageAddress >> 8)};
  std::snprintf(address, sizeof address, "@%04X", kResetVectorAddress);
  return out + address + "\r\n" + HexLines(resetVector) + "q\r\n";
}

std::string SRecord(char type, uint32_t address, int addressBytes, const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes;
  bytes.push_back(static_cast<uint8_t>(addressBytes + size + 1));
  for (int i = addressBytes - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
  bytes.insert(bytes.end(), data, data + size);
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(~sum));
  std::string line = "S";
  line += type;
  char hex[3];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    line += hex;
  }
  return line + "\r\n";
}

std::string Motorola(const std::string& name, const std::string& version, const std::vector<uint8_t>& data) {
  std::string out = SRecord('0', 0, 2, reinterpret_cast<const uint8_t*>(name.data()), name.size());
  uint8_t versionBytes[kSRecordVersionBytes] = {};
  std::copy_n(version.begin(), std::min(version.size(), kSRecordVersionBytes - 1), versionBytes);
  out += SRecord('1', kVersionAddressSRecord, 2, versionBytes, kSRecordVersionBytes);
  for (size_t i = 0; i < data.size(); i += 16) {
    out += SRecord('1', kImageAddress + static_cast<uint32_t>(i), 2, data.data() + i,
                   std::min<size_t>(16, data.size() - i));
  }
  return out + SRecord('9', kImageAddress, 2, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo-firmware LIST OUTPUT_DIR\n");
    return 2;
  }
  std::ifstream list(argv[1]);
  if (!list) {
    std::fprintf(stderr, "demo-firmware: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::filesystem::path folder = argv[2];
  std::filesystem::create_directories(folder);
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, version;
    if (!(fields >> name >> version)) continue;
    const std::vector<uint8_t> data = ImageData(name);
    const bool motorola = name.size() > 4 && name.substr(name.size() - 4) == ".MOT";
    std::ofstream out(folder / name, std::ios::binary);
    out << (motorola ? Motorola(name, version, data) : TiTxt(version, data));
    if (!out) {
      std::fprintf(stderr, "demo-firmware: cannot write %s\n", (folder / name).c_str());
      return 1;
    }
  }
  return 0;
}
