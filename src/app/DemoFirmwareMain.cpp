// Writes the firmware files of one demo package from its firmware.list
// (the line forms are in DemoFirmware.h).
//   demo-firmware LIST OUTPUT_DIR
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/DemoFirmware.h"

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
  std::set<std::string> written;
  std::string text;
  for (int number = 1; std::getline(list, text); ++number) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::string error;
    const std::optional<demo::FirmwareLine> line = demo::ParseFirmwareLine(text, error);
    if (!error.empty()) {
      std::fprintf(stderr, "%s:%d: %s\n", argv[1], number, error.c_str());
      return 1;
    }
    if (!line) continue;
    // The tool matches file names ignoring case.
    std::string upper = line->file;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!written.insert(upper).second) {
      std::fprintf(stderr, "%s:%d: %s is listed twice\n", argv[1], number, line->file.c_str());
      return 1;
    }
    std::ofstream out(folder / line->file, std::ios::binary);
    out << demo::FirmwareFileBytes(*line);
    if (!out) {
      std::fprintf(stderr, "demo-firmware: cannot write %s\n", (folder / line->file).c_str());
      return 1;
    }
  }
  return 0;
}
