#include "app/DemoPeImage.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/DemoFirmware.h"

namespace demo {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr uint32_t kImageBase = 0x00010000;
constexpr uint32_t kCodeSize = 0x800;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kOptionalHeaderSize = 224;
constexpr uint16_t kPe32Magic = 0x010B;
constexpr uint16_t kSubsystemWindowsCeGui = 9;
constexpr uint16_t kImageExecutable = 0x010F;  // executable, 32 bit, stripped
constexpr uint16_t kImageDll = 0x2000;
constexpr uint32_t kSectionCode = 0x60000020;  // code, execute, read
constexpr uint32_t kSectionData = 0x40000040;  // initialised data, read
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVersionResourceId = 1;
constexpr uint32_t kLanguageEnglishUs = 0x0409;
constexpr uint16_t kCodePageUnicode = 0x04B0;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr uint32_t kFileOsWindows32 = 0x00000004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint32_t kFileTypeDll = 2;
constexpr uint16_t kTypeBinary = 0;
constexpr uint16_t kTypeText = 1;
// The prefix of the version strings, left out by the tool's reader.
constexpr char16_t kVersionPrefix = u'V';

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

class Bytes {
 public:
  void U8(uint8_t v) { m_data.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Text(const std::string& s) { m_data += s; }
  void Wide(const std::u16string& s) {
    for (char16_t c : s) U16(static_cast<uint16_t>(c));
    U16(0);
  }
  void PadTo(size_t alignment) {
    while (m_data.size() % alignment) U8(0);
  }
  void Put16(size_t at, uint16_t v) {
    m_data[at] = static_cast<char>(v);
    m_data[at + 1] = static_cast<char>(v >> 8);
  }
  size_t Size() const { return m_data.size(); }
  const std::string& Data() const { return m_data; }

 private:
  std::string m_data;
};

// Latin-1 to UTF-16, as the tool reads the strings back.
std::u16string Wide(const std::string& s) {
  std::u16string wide;
  for (unsigned char c : s) wide.push_back(c);
  return wide;
}

// One node of a version resource: length, value length, type, key, padding,
// value, padding, children. Children start on 4-byte boundaries.
std::string Node(const std::u16string& key, const std::string& value, uint16_t valueLength, uint16_t type,
                 const std::vector<std::string>& children = {}) {
  Bytes b;
  b.U16(0);
  b.U16(valueLength);
  b.U16(type);
  b.Wide(key);
  b.PadTo(4);
  b.Text(value);
  for (const std::string& child : children) {
    b.PadTo(4);
    b.Text(child);
  }
  b.Put16(0, static_cast<uint16_t>(b.Size()));
  return b.Data();
}

std::string StringNode(const std::u16string& key, const std::u16string& text) {
  Bytes value;
  value.Wide(text);
  return Node(key, value.Data(), static_cast<uint16_t>(text.size() + 1), kTypeText);
}

// Up to four numbers of a version text ("1.10" gives 1, 10, 0, 0).
std::vector<uint16_t> VersionNumbers(const std::string& version) {
  std::vector<uint16_t> numbers;
  const char* p = version.c_str();
  while (numbers.size() < 4 && *p) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(p, &end, 10);
    if (end == p) break;
    numbers.push_back(static_cast<uint16_t>(n));
    p = *end == '.' ? end + 1 : end;
    if (*end != '.') break;
  }
  numbers.resize(4, 0);
  return numbers;
}

std::string VersionInfo(const std::string& name, const std::string& version, bool dll) {
  const std::vector<uint16_t> n = VersionNumbers(version);
  const uint32_t ms = static_cast<uint32_t>(n[0]) << 16 | n[1];
  const uint32_t ls = static_cast<uint32_t>(n[2]) << 16 | n[3];
  Bytes fixed;
  for (uint32_t v : {kFixedInfoSignature, kFixedInfoStructVersion, ms, ls, ms, ls, 0x3Fu, 0u, kFileOsWindows32,
                     dll ? kFileTypeDll : kFileTypeApp, 0u, 0u, 0u}) {
    fixed.U32(v);
  }
  const std::u16string text = kVersionPrefix + Wide(version);
  const std::vector<std::string> strings = {
      // First: the tool takes the first string holding the key, and the
      // file name in the others might hold it too.
      StringNode(u"FileVersion", text),
      StringNode(u"CompanyName", u"Demo Instruments"),
      StringNode(u"FileDescription", Wide(name) + u" demo program"),
      StringNode(u"InternalName", Wide(name)),
      StringNode(u"OriginalFilename", Wide(name)),
      StringNode(u"ProductName", u"Demo instrument software"),
      StringNode(u"ProductVersion", text),
  };
  Bytes translation;
  translation.U16(static_cast<uint16_t>(kLanguageEnglishUs));
  translation.U16(kCodePageUnicode);
  const std::string stringFileInfo =
      Node(u"StringFileInfo", {}, 0, kTypeText, {Node(u"040904B0", {}, 0, kTypeText, strings)});
  const std::string varFileInfo =
      Node(u"VarFileInfo", {}, 0, kTypeText, {Node(u"Translation", translation.Data(), 4, kTypeBinary)});
  return Node(u"VS_VERSION_INFO", fixed.Data(), static_cast<uint16_t>(fixed.Size()), kTypeBinary,
              {stringFileInfo, varFileInfo});
}

void Directory(Bytes& b, uint32_t id, uint32_t target) {
  for (int i = 0; i < 3; ++i) b.U32(0);  // characteristics, time stamp, version
  b.U16(0);                              // named entries
  b.U16(1);                              // entries by number
  b.U32(id);
  b.U32(target);
}

// The resource section at `rva`: type, name and language directories, the
// data entry, the version resource.
std::string ResourceSection(uint32_t rva, const std::string& versionInfo) {
  constexpr uint32_t kDirectorySize = 24;
  constexpr uint32_t kDataEntrySize = 16;
  Bytes b;
  Directory(b, kRtVersion, kSubdirectoryFlag | kDirectorySize);
  Directory(b, kVersionResourceId, kSubdirectoryFlag | 2 * kDirectorySize);
  Directory(b, kLanguageEnglishUs, 3 * kDirectorySize);
  const uint32_t infoOffset = 3 * kDirectorySize + kDataEntrySize;
  b.U32(rva + infoOffset);
  b.U32(static_cast<uint32_t>(versionInfo.size()));
  b.U32(0);
  b.U32(0);
  b.Text(versionInfo);
  return b.Data();
}

void SectionHeader(Bytes& b, const char* name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize,
                   uint32_t rawOffset, uint32_t characteristics) {
  std::string padded(name);
  padded.resize(8, '\0');
  b.Text(padded);
  for (uint32_t v : {virtualSize, rva, rawSize, rawOffset, 0u, 0u}) b.U32(v);
  b.U16(0);
  b.U16(0);
  b.U32(characteristics);
}

}  // namespace

std::string PeProgram(const std::string& name, const std::string& version, bool dll) {
  // Code: "xor eax, eax; ret", then filler.
  std::string code = "\x31\xC0\xC3";
  code += DeterministicBytes(name, kCodeSize - code.size());
  const uint32_t codeRva = kSectionAlignment;
  const uint32_t headersSize = kFileAlignment;
  const uint32_t codeRaw = AlignUp(kCodeSize, kFileAlignment);
  const uint32_t resourceRva = codeRva + AlignUp(kCodeSize, kSectionAlignment);
  const std::string resources = ResourceSection(resourceRva, VersionInfo(name, version, dll));
  const uint32_t resourceSize = static_cast<uint32_t>(resources.size());
  const uint32_t resourceRaw = AlignUp(resourceSize, kFileAlignment);
  const uint32_t imageSize = resourceRva + AlignUp(resourceSize, kSectionAlignment);
  const std::vector<uint16_t> n = VersionNumbers(version);

  Bytes b;
  // MS-DOS header; only its signature and the offset of the PE header matter.
  b.Text("MZ");
  for (uint16_t v : {0x0090, 0x0003, 0x0000, 0x0004, 0x0000, 0xFFFF, 0x0000, 0x00B8, 0x0000, 0x0000,
                     0x0000, 0x0040}) {
    b.U16(static_cast<uint16_t>(v));
  }
  while (b.Size() < 0x3C) b.U8(0);
  b.U32(kPeHeaderOffset);
  while (b.Size() < kPeHeaderOffset) b.U8(0);

  b.Text(std::string("PE\0\0", 4));
  b.U16(kMachineI386);
  b.U16(2);  // sections
  b.U32(0);  // time stamp: none, so every build gives the same bytes
  b.U32(0);
  b.U32(0);
  b.U16(kOptionalHeaderSize);
  b.U16(dll ? kImageExecutable | kImageDll : kImageExecutable);

  b.U16(kPe32Magic);
  b.U8(1);  // linker version
  b.U8(0);
  b.U32(codeRaw);
  b.U32(resourceRaw);
  b.U32(0);
  b.U32(codeRva);  // entry point
  b.U32(codeRva);
  b.U32(resourceRva);
  b.U32(kImageBase);
  b.U32(kSectionAlignment);
  b.U32(kFileAlignment);
  b.U16(4);  // operating system 4.0
  b.U16(0);
  b.U16(n[0]);  // image version
  b.U16(n[1]);
  b.U16(4);  // subsystem 4.0
  b.U16(0);
  b.U32(0);
  b.U32(imageSize);
  b.U32(headersSize);
  b.U32(0);  // checksum
  b.U16(kSubsystemWindowsCeGui);
  b.U16(0);
  for (uint32_t v : {0x10000u, 0x1000u, 0x100000u, 0x1000u, 0u}) b.U32(v);  // stack, heap, loader flags
  b.U32(16);                                                                // data directories
  for (uint32_t i = 0; i < 16; ++i) {
    b.U32(i == kResourceDirectoryIndex ? resourceRva : 0);
    b.U32(i == kResourceDirectoryIndex ? resourceSize : 0);
  }
  SectionHeader(b, ".text", kCodeSize, codeRva, codeRaw, headersSize, kSectionCode);
  SectionHeader(b, ".rsrc", resourceSize, resourceRva, resourceRaw, headersSize + codeRaw, kSectionData);
  b.PadTo(kFileAlignment);
  b.Text(code);
  b.PadTo(kFileAlignment);
  b.Text(resources);
  b.PadTo(kFileAlignment);
  return b.Data();
}

}  // namespace demo
