// The demo firmware list: any line is refused or gives a file whose version
// the tool reads back as listed.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/DemoFirmware.h"
#include "update/versions/FileVersionScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (int lines = 0; start <= input.size() && lines < 64; ++lines) {
    const size_t end = std::min(input.find('\n', start), input.size());
    std::string error;
    const auto line = demo::ParseFirmwareLine(std::string_view(input).substr(start, end - start), error);
    start = end + 1;
    if (!line) continue;
    if (line->file.find_first_of("/\\") != std::string::npos) std::abort();
    if (line->version.empty()) {
      if (line->size > demo::kMaxDataSize) std::abort();
      continue;
    }
    const std::string bytes = demo::FirmwareFileBytes(*line);
    std::string ext = line->file.substr(std::min(line->file.rfind('.'), line->file.size()));
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool pe = ext == ".EXE" || ext == ".DLL";
    if (!pe && ext != ".BIN") continue;
    const std::string key = pe ? "FileVersion" : line->key;
    const update::FileKind kind = update::FileKindOf(key, line->file);
    // Only where the tool's kind from the name is the format written.
    if (kind != (pe ? update::FileKind::kPe : update::FileKind::kBin)) continue;
    const update::ReadWindow window = update::WindowOf(kind, bytes.size());
    const std::string read = update::VersionFromData(kind, key, std::string_view(bytes).substr(window.offset, window.count));
    if (read != line->version) std::abort();
  }
  return 0;
}
