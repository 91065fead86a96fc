// A whole download in real time: the real window (run-screenshot, offscreen)
// in a copy of a demo package presses OK against instrument-sim pacing an
// instrument on a pty, one of each programmer. The run must reach the
// success text, move the progress bar and the title's percentage on the
// way, and leave the instrument holding the package's file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <set>
#include <sstream>

#include "SimProcess.h"

namespace {

// How the instrument's dump shows what it took.
enum class Held {
  kFlashTiTxt,  // the flash holds the TI-TXT file's code block
  kXmodemImage,  // the XMODEM loader's image, in hexadecimal, starts with the file
  kWinCeFile,    // the Windows CE receiver stored the file whole
  kEfmImage,     // the EFM loader's image, in hexadecimal, starts with the file
};

struct Download {
  const char* package;   // the demo package (demo/NAME)
  const char* profile;
  const char* firmware;  // the package's file for it
  Held held;
  // Distinct bar positions and title percentages the run must show (a
  // Windows CE file of 4500 bytes is three blocks).
  size_t steps = 5;
};

// run-screenshot as a child process; returns what it printed.
std::string RunWindow(const std::string& folder, const std::string& ports, const std::string& picture,
                      int runMs) {
  const std::string command = "cd '" + folder + "' && QT_QPA_PLATFORM=offscreen INSTRUMENT_UPDATE_PORTS='" +
                              ports + "' HOME='" + folder + "' '" IU_RUN_SCREENSHOT "' '" + picture + "' " +
                              std::to_string(runMs) + " 'Download erfolgreich' 2>/dev/null";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// The numbers a traced quantity took, in order: the first group of
// `pattern` in each "trace T s ..." line run-screenshot printed.
std::vector<double> Traced(const std::string& out, const char* pattern) {
  std::vector<double> values;
  const std::regex line(pattern);
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
    values.push_back(std::stod((*it)[1]));
  return values;
}

// The data lines of a TI-TXT section as the dump writes them.
std::string SectionOf(const std::string& titxt, const std::string& address) {
  const size_t at = titxt.find(address);
  if (at == std::string::npos) return {};
  const size_t end = titxt.find_first_of("@q", at + 1);
  return titxt.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The file's bytes as upper-case hexadecimal, 32 to a line, as the loader
// models dump an image; the last, shorter line is left out, since the image
// goes on with its fill there.
std::string HexLines(const std::string& bytes) {
  std::string text;
  char hex[4];
  for (size_t i = 0; i + 32 <= bytes.size(); i += 32) {
    for (size_t j = i; j < i + 32; ++j) {
      std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[j]));
      text += hex;
    }
    text += '\n';
  }
  return text;
}

// The same as the EFM loader dumps it: 16 bytes a line after their offset.
std::string OffsetHexLines(const std::string& bytes) {
  std::string text;
  char hex[16];
  for (size_t i = 0; i + 16 <= bytes.size(); i += 16) {
    std::snprintf(hex, sizeof hex, "%06zX:", i);
    text += hex;
    for (size_t j = i; j < i + 16; ++j) {
      std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(bytes[j]));
      text += hex;
    }
    text += '\n';
  }
  return text;
}

class DownloadE2eTest : public ::testing::TestWithParam<Download> {};

TEST_P(DownloadE2eTest, ReachesTheSuccessTextWithProgress) {
  const Download& download = GetParam();
  simtest::TempDir dir;
  const std::string package = dir / "package";
  for (const std::string root : {IU_DEMO_ROOT, IU_DEMO_BUILD_ROOT}) {
    std::filesystem::copy(root + "/" + download.package, package,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  }
  std::string out;
  {
    simtest::SimProcess sim({"--ports", dir / "ports", "--log", dir / "log", "--dump", dir / "dump", "--pace",
                             "--com", "1", "--profile", download.profile},
                            {dir / "ports/COM1"});
    // The loader waits 8 s before its first frame; the whole run takes
    // about 25 s and ends early at the success text.
    out = RunWindow(package, dir / "ports", dir / "window.png", 60000);
    EXPECT_EQ(sim.Stop(), 0);
  }
  EXPECT_NE(out.find("Download erfolgreich ausgeführt !"), std::string::npos) << out;
  EXPECT_NE(out.find("panel 4: Update [beendet]"), std::string::npos) << out;
  EXPECT_NE(out.find("OK enabled: 0"), std::string::npos);
  EXPECT_EQ(out.find("box: "), std::string::npos) << out;

  const std::vector<double> percent = Traced(out, R"(trace [0-9.]+ s title: Update \[ ([0-9.]+) %\])");
  ASSERT_GE(percent.size(), download.steps) << out;
  // It climbs to 100 (it may dip once, when the loader learns how many
  // segments it will erase and the bar's end moves out; the Windows CE
  // transfer starts again for every file).
  EXPECT_LT(*std::min_element(percent.begin(), percent.end()), 50.0) << out;
  EXPECT_EQ(percent.back(), 100.0) << out;
  EXPECT_GE(std::set<double>(percent.begin(), percent.end()).size(), download.steps) << out;
  const std::vector<double> positions = Traced(out, R"(trace [0-9.]+ s progress: ([0-9]+) of [0-9]+)");
  EXPECT_GE(std::set<double>(positions.begin(), positions.end()).size(), download.steps) << out;

  const std::string dump = simtest::ReadText(dir / "dump");
  std::string file = simtest::ReadText(package + "/" + download.firmware);
  ASSERT_FALSE(file.empty());
  switch (download.held) {
    case Held::kFlashTiTxt: {
      // The package's code block (at 0xC000) is in the flash.
      std::erase(file, '\r');  // the dump ends its lines with LF alone
      const std::string code = SectionOf(file, "@C000");
      ASSERT_FALSE(code.empty());
      EXPECT_NE(dump.find(code.substr(code.find('\n') + 1)), std::string::npos) << dump;
      break;
    }
    case Held::kXmodemImage:
      EXPECT_NE(dump.find("trailer matches, firmware started"), std::string::npos) << dump;
      EXPECT_NE(dump.find(HexLines(file)), std::string::npos) << dump;
      break;
    case Held::kEfmImage:
      EXPECT_NE(dump.find("stage: image programmed"), std::string::npos) << dump;
      EXPECT_NE(dump.find(OffsetHexLines(file)), std::string::npos) << dump;
      break;
    case Held::kWinCeFile:
      EXPECT_NE(dump.find("file " + std::string(download.firmware) + ": " + std::to_string(file.size()) +
                          " bytes, announced " + std::to_string(file.size())),
                std::string::npos)
          << dump;
      EXPECT_NE(dump.find("end of transfer: yes"), std::string::npos) << dump;
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(DemoInstruments, DownloadE2eTest,
                         ::testing::Values(Download{"msp430", "msp430-2xx-meter", "MSP2XX.TXT", Held::kFlashTiTxt},
                                           Download{"msp430", "msp430-5xx-meter", "MSP5XX.TXT", Held::kFlashTiTxt},
                                           Download{"xmodem", "xmodem-meter", "XMETER.BIN", Held::kXmodemImage},
                                           Download{"efm", "efm-meter", "EFM_METER.BIN", Held::kEfmImage},
                                           Download{"wince", "wince-logger", "CELOGGER.DAT", Held::kWinCeFile, 3}),
                         [](const auto& info) {
                           std::string name = info.param.profile;
                           for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
