#include "app/DemoFirmware.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

#include "app/DemoPeImage.h"

namespace demo {
namespace {

// TI-TXT: the block at @FF00 that opens the file carries the version (key
// "@FF00\r\n"), then the code at 0xC000 and the reset vector pointing there.
// S-records: the record S109 4000 carries it (key "S1094000"; the files are
// small enough for it to lie within the last 1000 bytes).
constexpr uint32_t kImageAddress = 0xC000;
constexpr uint32_t kVersionAddressTiTxt = 0xFF00;
constexpr uint32_t kResetVectorAddress = 0xFFFE;
constexpr uint32_t kVersionAddressSRecord = 0x4000;
// S109: 2 address bytes, 6 data bytes, the checksum.
constexpr size_t kSRecordVersionBytes = 6;
// Where the version block of a .BIN image starts, counted from its end.
constexpr size_t kBinVersionBlockFromEnd = 128;
constexpr uint8_t kErasedByte = 0xFF;
constexpr uint8_t kWideGapKeyByte = 0xDD;
static_assert(kBinVersionBlockFromEnd >= 1 + kMaxKeyLength + 4 + kMaxVersionLength + 1);

std::string Extension(std::string_view file) {
  const size_t dot = file.rfind('.');
  std::string ext(dot == std::string_view::npos ? std::string_view() : file.substr(dot));
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

std::vector<uint8_t> ImageData(const std::string& name) {
  const std::string text = name + " demo image";
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  while (data.size() % 16 != 0) data.push_back(kErasedByte);
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
  if (versionBytes.size() % 2) versionBytes.push_back(kErasedByte);
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

// A raw image: deterministic bytes, then near the end a zero, the key, one
// separator byte, the zero-terminated version and erased bytes. The zero
// before the key makes the key's text follow as plain text, not hex pairs.
std::string BinImage(const std::string& name, const std::string& version, const std::string& key) {
  std::string image = DeterministicBytes(name, kBinImageSize - kBinVersionBlockFromEnd);
  // The key must occur once only: where the version block puts it.
  for (size_t n = 0, at = image.find(key); !key.empty() && at != std::string::npos && n < image.size();
       ++n, at = image.find(key)) {
    image[at] = static_cast<char>(image[at] ^ 0x55);
  }
  image.push_back('\0');
  image += key;
  // The version starts one byte after the key, four after a key that opens
  // with 0xDD.
  image.append(static_cast<unsigned char>(key[0]) == kWideGapKeyByte ? 4 : 1, '\0');
  image += version;
  image.push_back('\0');
  image.resize(kBinImageSize, static_cast<char>(kErasedByte));
  return image;
}

bool ReadSize(const std::string& text, uint64_t& size) {
  if (text.empty() || text.size() > 10) return false;
  size = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    size = size * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

}  // namespace

std::string DeterministicBytes(const std::string& seed, uint64_t size) {
  // FNV-1a of the seed starts a xorshift generator.
  uint64_t state = 14695981039346656037ull;
  for (unsigned char c : seed) state = (state ^ c) * 1099511628211ull;
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes.push_back(static_cast<char>(state >> 24));
  }
  return bytes;
}

std::optional<FirmwareLine> ParseFirmwareLine(std::string_view text, std::string& error) {
  error.clear();
  std::istringstream fields{std::string(text)};
  std::vector<std::string> parts;
  for (std::string part; fields >> part;) parts.push_back(part);
  if (parts.empty() || parts[0][0] == '#') return std::nullopt;

  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      error = "a control character in the line";
      return std::nullopt;
    }
  }
  FirmwareLine line;
  line.file = parts[0];
  const std::string ext = Extension(line.file);
  if (parts.size() < 2 || parts.size() > 3) {
    error = "expected \"FILE VERSION\", \"FILE VERSION KEY\" or \"FILE - SIZE\"";
    return std::nullopt;
  }
  if (line.file.find('/') != std::string::npos || line.file.find('\\') != std::string::npos ||
      line.file == "." || line.file == "..") {
    error = "a file name without folders is expected: " + line.file;
    return std::nullopt;
  }
  if (parts[1] == "-") {
    if (parts.size() != 3 || !ReadSize(parts[2], line.size) || line.size > kMaxDataSize) {
      error = "\"FILE - SIZE\" takes a size of at most " + std::to_string(kMaxDataSize) + " bytes";
      return std::nullopt;
    }
    return line;
  }
  line.version = parts[1];
  if (parts.size() == 3) line.key = parts[2];
  if (line.version.size() > kMaxVersionLength || line.key.size() > kMaxKeyLength) {
    error = "the tool reads versions of at most " + std::to_string(kMaxVersionLength) +
            " characters and keys of at most " + std::to_string(kMaxKeyLength);
    return std::nullopt;
  }
  if (ext == ".BIN") {
    if (line.key.empty()) {
      error = "a .BIN image needs its version key: \"FILE VERSION KEY\"";
      return std::nullopt;
    }
  } else if (!line.key.empty()) {
    error = "only .BIN images take a key";
    return std::nullopt;
  } else if (ext != ".TXT" && ext != ".MOT" && ext != ".EXE" && ext != ".DLL") {
    error = "no versioned format for " + line.file + " (.TXT, .MOT, .BIN, .EXE, .DLL)";
    return std::nullopt;
  }
  return line;
}

std::string FirmwareFileBytes(const FirmwareLine& line) {
  if (line.version.empty()) return DeterministicBytes(line.file, line.size);
  const std::string ext = Extension(line.file);
  if (ext == ".BIN") return BinImage(line.file, line.version, line.key);
  if (ext == ".EXE" || ext == ".DLL") return PeProgram(line.file, line.version, ext == ".DLL");
  const std::vector<uint8_t> data = ImageData(line.file);
  return ext == ".MOT" ? Motorola(line.file, line.version, data) : TiTxt(line.version, data);
}

}  // namespace demo
