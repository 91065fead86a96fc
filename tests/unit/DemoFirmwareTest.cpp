// The demo packages' firmware generator: each line form, and the .BIN and
// .EXE/.DLL files read back by the tool's own version reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/DemoFirmware.h"
#include "update/versions/ReadFileVersion.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using demo::FirmwareFileBytes;
using demo::FirmwareLine;
using demo::ParseFirmwareLine;

std::optional<FirmwareLine> Parse(const std::string& text, std::string* errorOut = nullptr) {
  std::string error;
  std::optional<FirmwareLine> line = ParseFirmwareLine(text, error);
  if (errorOut) *errorOut = error;
  EXPECT_TRUE(!line || error.empty()) << text;
  return line;
}

std::string ErrorOf(const std::string& text) {
  std::string error;
  EXPECT_FALSE(Parse(text, &error)) << text;
  return error;
}

uint32_t U32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                               static_cast<uint8_t>(bytes[at + 2]) << 16 |
                               static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
}
uint16_t U16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

class DemoFirmwareFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    // Digits only: a name holding "BIN" or "EXE" would change the reader's kind.
    m_dir = fs::temp_directory_path() / ("iu-demofw-" + std::to_string(getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Generates the line's file into the folder; returns its path and bytes.
  std::string Generate(const std::string& text, std::string* bytes = nullptr) {
    const std::optional<FirmwareLine> line = Parse(text);
    if (!line) {
      ADD_FAILURE() << "not a file line: " << text;
      return {};
    }
    const std::string data = FirmwareFileBytes(*line);
    if (bytes) *bytes = data;
    const fs::path path = m_dir / line->file;
    std::ofstream(path, std::ios::binary) << data;
    return path.string();
  }

  fs::path m_dir;
};

TEST(DemoFirmwareList, LineForms) {
  EXPECT_FALSE(Parse(""));
  EXPECT_FALSE(Parse("   \t"));
  EXPECT_FALSE(Parse("# MAIN.TXT 1.00"));
  EXPECT_FALSE(Parse("#"));

  std::optional<FirmwareLine> line = Parse("  MSP2XX.TXT   1.01 ");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->file, "MSP2XX.TXT");
  EXPECT_EQ(line->version, "1.01");
  EXPECT_EQ(line->key, "");

  line = Parse("XMODEM.BIN 1.10 VERSION=");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->version, "1.10");
  EXPECT_EQ(line->key, "VERSION=");

  line = Parse("TABLE.DAT - 3000000");
  ASSERT_TRUE(line);
  EXPECT_EQ(line->version, "");
  EXPECT_EQ(line->size, 3000000u);
}

TEST(DemoFirmwareList, LinesTheGeneratorCannotWriteAreRefused) {
  EXPECT_NE(ErrorOf("MAIN.TXT").find("FILE VERSION"), std::string::npos);
  EXPECT_NE(ErrorOf("MAIN.TXT 1.00 KEY EXTRA").find("FILE VERSION"), std::string::npos);
  EXPECT_NE(ErrorOf("SENSOR.BIN 1.00").find("key"), std::string::npos);
  EXPECT_NE(ErrorOf("MAIN.TXT 1.00 KEY").find("key"), std::string::npos);
  EXPECT_NE(ErrorOf("TOOL.EXE 1.00 FileVersion").find("key"), std::string::npos);
  EXPECT_NE(ErrorOf("MAIN.HEX 1.00").find("MAIN.HEX"), std::string::npos);
  EXPECT_NE(ErrorOf("DATA.DAT -").find("SIZE"), std::string::npos);
  EXPECT_NE(ErrorOf("DATA.DAT - 12k").find("SIZE"), std::string::npos);
  EXPECT_NE(ErrorOf("DATA.DAT - -5").find("SIZE"), std::string::npos);
  EXPECT_NE(ErrorOf("DATA.DAT - 3000001").find("SIZE"), std::string::npos);
  EXPECT_NE(ErrorOf("DATA.DAT - 99999999999999999999").find("SIZE"), std::string::npos);
  // What the tool could not read back as listed.
  EXPECT_NE(ErrorOf("MAIN.TXT 1.234567890123456").find("15"), std::string::npos);
  EXPECT_NE(ErrorOf("S.BIN 1.0 " + std::string(64, 'K')).find("63"), std::string::npos);
  EXPECT_NE(ErrorOf("MAIN.TXT 1.0\x01").find("control"), std::string::npos);
  EXPECT_NE(ErrorOf("S.BIN 1.0 K\0EY"s).find("control"), std::string::npos);
  // The file lands in the package folder, never elsewhere.
  EXPECT_NE(ErrorOf("../MAIN.TXT 1.00").find("folders"), std::string::npos);
  EXPECT_NE(ErrorOf("sub\\MAIN.TXT 1.00").find("folders"), std::string::npos);
  EXPECT_NE(ErrorOf(".. - 10").find("folders"), std::string::npos);
}

TEST_F(DemoFirmwareFiles, BinImageCarriesItsVersionForTheBinScan) {
  std::string bytes;
  const update::FileVersionResult r = update::ReadFileVersion("VERSION=", Generate("XMODEM.BIN 1.10 VERSION=", &bytes));
  EXPECT_TRUE(r.readable) << r.error;
  EXPECT_EQ(r.kind, update::FileKind::kBin);
  EXPECT_EQ(r.text, "1.10");
  EXPECT_EQ(r.thousandths, 1100);
  EXPECT_EQ(bytes.size(), demo::kBinImageSize);
  EXPECT_EQ(bytes.find("VERSION="), bytes.rfind("VERSION=")) << "the key occurs once";
  EXPECT_EQ(bytes.substr(bytes.find("VERSION=") - 1, 15), "\0VERSION=\0001.10\0"s.substr(0, 15));
  EXPECT_EQ(static_cast<uint8_t>(bytes.back()), 0xFF);

  // Same line, same bytes; another name, other data.
  std::string again;
  Generate("XMODEM.BIN 1.10 VERSION=", &again);
  EXPECT_EQ(again, bytes);
  std::string other;
  Generate("EFM.BIN 1.10 VERSION=", &other);
  EXPECT_NE(other, bytes);
  // A one-letter key that the filler would otherwise hold many times.
  EXPECT_EQ(update::ReadFileVersion("K", Generate("ONE.BIN 3.21 K")).text, "3.21");
  // A key opening with 0xDD has its version four bytes after it.
  EXPECT_EQ(update::ReadFileVersion("\xDDSW", Generate("DD.BIN 4.56 \xDDSW")).text, "4.56");
  // The longest version and key there is room for.
  const std::string key(63, 'K');
  EXPECT_EQ(update::ReadFileVersion(key, Generate("LONG.BIN 1.234567890123 " + key)).text, "1.234567890123");
}

TEST_F(DemoFirmwareFiles, PeProgramCarriesItsVersionResource) {
  std::string bytes;
  const std::string path = Generate("WINCE.EXE 2.34", &bytes);
  update::FileVersionResult r = update::ReadFileVersion("FileVersion", path);
  EXPECT_TRUE(r.readable) << r.error;
  EXPECT_EQ(r.kind, update::FileKind::kPe);
  EXPECT_EQ(r.text, "2.34");
  EXPECT_EQ(r.thousandths, 2340);

  // The headers: MZ, the PE signature where the MS-DOS header points, an
  // i386 image for Windows CE, its resource directory holding a version
  // resource whose fixed part says 2.34.0.0.
  ASSERT_GT(bytes.size(), 0x400u);
  EXPECT_EQ(bytes.size() % 0x200, 0u);
  EXPECT_EQ(bytes.substr(0, 2), "MZ");
  const uint32_t pe = U32(bytes, 0x3C);
  EXPECT_EQ(bytes.substr(pe, 4), "PE\0\0"s);
  EXPECT_EQ(U16(bytes, pe + 4), 0x014C);
  EXPECT_EQ(U16(bytes, pe + 6), 2u);
  const size_t optional = pe + 24;
  EXPECT_EQ(U16(bytes, optional), 0x010B);
  EXPECT_EQ(U16(bytes, optional + 68), 9u) << "Windows CE subsystem";
  const uint32_t resourceRva = U32(bytes, optional + 96 + 2 * 8);
  const size_t sections = optional + U16(bytes, pe + 20);
  ASSERT_EQ(bytes.substr(sections + 40, 5), ".rsrc");
  ASSERT_EQ(U32(bytes, sections + 40 + 12), resourceRva);
  const uint32_t rsrc = U32(bytes, sections + 40 + 20);
  auto at = [&](uint32_t rva) { return rsrc + (rva - resourceRva); };
  // Type 16 (version), name 1, language 0x409, then the data entry.
  EXPECT_EQ(U16(bytes, rsrc + 14), 1u);
  EXPECT_EQ(U32(bytes, rsrc + 16), 16u);
  const uint32_t names = rsrc + (U32(bytes, rsrc + 20) & 0x7FFFFFFF);
  EXPECT_EQ(U32(bytes, names + 16), 1u);
  const uint32_t languages = rsrc + (U32(bytes, names + 20) & 0x7FFFFFFF);
  EXPECT_EQ(U32(bytes, languages + 16), 0x409u);
  const uint32_t entry = rsrc + U32(bytes, languages + 20);
  const uint32_t info = at(U32(bytes, entry));
  EXPECT_EQ(U16(bytes, info), U32(bytes, entry + 4)) << "the resource's length";
  EXPECT_EQ(U16(bytes, info + 2), 52u);
  const std::u16string key = u"VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i) EXPECT_EQ(U16(bytes, info + 6 + 2 * i), key[i]);
  EXPECT_EQ(U32(bytes, info + 40), 0xFEEF04BDu);
  EXPECT_EQ(U32(bytes, info + 48), 0x00020022u) << "file version 2.34";
  EXPECT_EQ(U32(bytes, info + 52), 0u);
  EXPECT_EQ(U32(bytes, info + 76), 1u) << "an application";
}

TEST_F(DemoFirmwareFiles, Dll) {
  std::string bytes;
  const std::string path = Generate("HELPER.DLL 1.05", &bytes);
  EXPECT_EQ(update::ReadFileVersion("FileVersion", path).text, "1.05");
  // A name holding the key, and a version beyond ASCII (Latin-1).
  EXPECT_EQ(update::ReadFileVersion("FileVersion", Generate("FileVersion.DLL 1.0\xE9")).text, "1.0\xE9");
  const uint32_t pe = U32(bytes, 0x3C);
  EXPECT_NE(U16(bytes, pe + 22) & 0x2000, 0) << "marked as a DLL";
}

TEST_F(DemoFirmwareFiles, DataFileOfTheGivenSize) {
  std::string bytes;
  Generate("TABLE.DAT - 5000", &bytes);
  EXPECT_EQ(bytes.size(), 5000u);
  EXPECT_EQ(fs::file_size(m_dir / "TABLE.DAT"), 5000u);
  std::string again;
  Generate("TABLE.DAT - 5000", &again);
  EXPECT_EQ(again, bytes);
  // Not one repeated byte: a transfer that drops or repeats a block shows.
  EXPECT_NE(bytes.find_first_not_of(bytes[0]), std::string::npos);
  std::string empty;
  Generate("EMPTY.DAT - 0", &empty);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(fs::file_size(m_dir / "EMPTY.DAT"), 0u);
}

}  // namespace
