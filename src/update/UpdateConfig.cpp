#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "core/BilingualText.h"
#include "core/RegularFile.h"
#include "update/IniLines.h"
#include "update/TUpdateForm.h"
#include "update/RunTexts.h"
#include "update/TextParts.h"
#include "update/versions/PackagePath.h"

namespace update {

namespace {

// Defaults where the environment names no folder: programs are installed
// below /opt, and the user's copy of a setting lives below the XDG data
// folder (~/.local/share).
constexpr const char* kDefaultProgramFiles = "/opt";
// Longest expansion of %ProgramFiles% or %PUBLIC% that is accepted.
constexpr size_t kExpansionCapacity = 80;
constexpr size_t kProgDeviceValueCapacity = 511;

constexpr int kDefaultBaudList[] = {2, 3, 4, 1, 0};  // 4800, 9600, 19200, 2400, 1200
constexpr int kMaxBaudTag = 9;
constexpr int kMaxComNumber = 256;

// A configuration file that is there but cannot be used; "nicht vorhanden"
// stays the text of a missing one.
constexpr core::BilingualText kConfigFile1{"Konfigurationsdatei 1 ", "Configuration file 1 "};
constexpr core::BilingualText kConfigFile2{"Konfigurationsdatei 2 ", "Configuration file 2 "};
constexpr core::BilingualText kProgramEnds{"!!Programm wird beendet", "!!The program ends"};
constexpr core::BilingualText kLanguageNotSaved{"!!Die Sprache wird nicht gespeichert",
                                                "!!The language is not saved"};

std::string ConfigFaultText(const core::BilingualText& file, const std::filesystem::path& path,
                            core::FileFault fault, const core::BilingualText& tail, int language) {
  return std::string(file.In(language)) + "(" + path.string() + ") " +
         core::FileFaultText(fault).In(language) + tail.In(language);
}

// The user's copy first, then the package's. A copy that is there but
// unusable is named rather than a missing package file.
struct UpdateIniLoad {
  std::optional<IniLines> ini;
  core::FileFault fault = core::FileFault::kNone;
  std::filesystem::path path;
};

UpdateIniLoad LoadUpdateIni(const std::filesystem::path& first, const std::filesystem::path& fallback) {
  UpdateIniLoad load;
  load.ini = IniLines::Load(first, &load.fault);
  load.path = first;
  if (load.ini) return load;
  core::FileFault fallbackFault = core::FileFault::kNone;
  load.ini = IniLines::Load(fallback, &fallbackFault);
  if (load.fault == core::FileFault::kMissing) {
    load.fault = fallbackFault;
    load.path = fallback;
  }
  return load;
}

// Writes `bytes` to `path` through a temporary file in the same folder and a
// rename, so the old file stays whole until the new one is complete.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes, std::string& error) {
  const std::filesystem::path temporary = path.string() + ".new~";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      ::close(fd);
      ::unlink(temporary.c_str());
      return false;
    }
    written += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    error = std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

// atol: leading blanks, a sign, digits; saturates instead of overflowing.
long Atol(const std::string& text) {
  return std::strtol(text.c_str(), nullptr, 10);
}

// The path `inner` lies at or below `outer`, compared by whole components.
// Returns the part of `inner` below `outer`, or nothing.
std::optional<std::filesystem::path> RelativeBelow(const std::filesystem::path& inner,
                                                   const std::filesystem::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o) {
    if (o->empty()) continue;  // trailing separator
    if (i == inner.end() || *i != *o) return std::nullopt;
    ++i;
  }
  std::filesystem::path rest;
  for (; i != inner.end(); ++i) rest /= *i;
  return rest;
}

}  // namespace

std::filesystem::path TUpdateForm::InPackage(const std::string& fileName) const {
  return ResolvePackagePath(m_environment.workingDirectory, fileName);
}

int TUpdateForm::PublicDirectory(std::string& buffer) {
  std::optional<std::string> value = m_environment.getEnv("PUBLIC");
  if (!value) {
    if (auto xdg = m_environment.getEnv("XDG_DATA_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/') {
      value = *xdg;
    } else if (auto home = m_environment.getEnv("HOME"); home && !home->empty()) {
      value = *home + "/.local/share";
    }
  }
  if (!value || value->empty() || value->size() > kExpansionCapacity ||
      value->find("%PUBLIC%") != std::string::npos) {
    return 0;
  }
  buffer = *value;
  return 1;
}

std::string TUpdateForm::ConfigDirectory() {
  const std::filesystem::path working = m_environment.workingDirectory;
  std::string programFiles = m_environment.getEnv("ProgramFiles").value_or(kDefaultProgramFiles);
  if (programFiles.empty() || programFiles.size() > kExpansionCapacity) return {};
  const auto below = RelativeBelow(working, programFiles);
  if (!below) return {};
  std::string publicFolder;
  if (PublicDirectory(publicFolder) == 0) return {};
  std::filesystem::path mirrored = std::filesystem::path(publicFolder) / *below;
  std::error_code ec;
  std::filesystem::create_directories(mirrored, ec);
  std::string result = mirrored.string();
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

void TUpdateForm::ResolveUpdateIni(const std::string& fileName, std::filesystem::path& firstPath,
                                   std::filesystem::path& fallbackPath) {
  fallbackPath = InPackage(fileName);
  const std::string config = ConfigDirectory();
  firstPath = config.empty() ? fallbackPath : ResolvePackagePath(config, fileName);
}

int TUpdateForm::ReadUpdateIni(const std::string& fileName) {
  std::filesystem::path first, fallback;
  ResolveUpdateIni(fileName, first, fallback);
  const UpdateIniLoad load = LoadUpdateIni(first, fallback);
  if (!load.ini) {
    // The language is not known yet: German, then English.
    const std::string text = load.fault == core::FileFault::kMissing
                                 ? std::string(texts::kConfigFile1Missing.German())
                                 : ConfigFaultText(kConfigFile1, load.path, load.fault, kProgramEnds, 0) +
                                       "\r\n\r\n" +
                                       ConfigFaultText(kConfigFile1, load.path, load.fault, kProgramEnds, 1);
    m_view.MessageBox(text, texts::kCaptionConfigMissing.German(), MessageIcon::Error, MessageButtons::Ok);
    return -1;
  }
  ReadUpdateLines(*load.ini);
  return 0;
}

void TUpdateForm::ReadUpdateLines(const IniLines& lines) {
  const IniLines* ini = &lines;
  constexpr size_t kCap = UpdateSettings::kValueCapacity;
  const std::string language = ini->Value("Language", kCap);
  const std::string baud = ini->Value("Baud", kCap);
  const std::string com = ini->Value("Com", kCap);
  const std::string exception = ini->Value("Exception", kCap);

  // Only "1" selects English; anything else (also an empty or missing value)
  // is German, so the language index always picks an existing text.
  m_settings.Language = (!language.empty() && language[0] == '1') ? 1 : 0;
  m_settings.Version = ini->Value("Version", kCap);

  m_settings.BaudCount = 0;
  size_t start = 0;
  while (!baud.empty() && start <= baud.size()) {
    size_t comma = baud.find(',', start);
    if (comma == std::string::npos) comma = baud.size();
    const std::string element = baud.substr(start, comma - start);
    start = comma + 1;
    if (element.empty()) continue;
    const long code = Atol(element);
    // Codes outside BaudTag name no rate; more than 16 do not fit the list.
    if (code < 0 || code > kMaxBaudTag) continue;
    if (m_settings.BaudCount == static_cast<int>(UpdateSettings::kMaxBauds)) break;
    m_settings.BaudList[static_cast<size_t>(m_settings.BaudCount++)] = static_cast<int>(code);
  }
  if (m_settings.BaudCount == 0) {
    for (int code : kDefaultBaudList) m_settings.BaudList[static_cast<size_t>(m_settings.BaudCount++)] = code;
  }

  m_settings.FixedPort = false;
  m_settings.FixedPortNumber = 0;
  if (!com.empty()) {
    const long number = Atol(com);
    // COM1..COM256 exist; any other value fixes no port.
    if (number >= 1 && number <= kMaxComNumber) {
      m_settings.FixedPort = true;
      m_settings.FixedPortNumber = static_cast<int>(number - 1);
    }
  }
  m_settings.NoVersionTest = exception.find("NOVERSIONTEST") != std::string::npos;
}

int TUpdateForm::SaveUpdateIni(const std::string& fileName) {
  std::filesystem::path first, fallback;
  ResolveUpdateIni(fileName, first, fallback);
  const UpdateIniLoad load = LoadUpdateIni(first, fallback);
  const std::optional<IniLines>& ini = load.ini;
  if (!ini) {
    const std::string text =
        load.fault == core::FileFault::kMissing
            ? std::string(texts::kConfigFile2Missing.German())
            : ConfigFaultText(kConfigFile1, load.path, load.fault, kLanguageNotSaved, m_settings.Language);
    m_view.MessageBox(text, texts::kCaptionConfigMissing.German(), MessageIcon::Error, MessageButtons::Ok);
    return -1;
  }
  constexpr size_t kCap = UpdateSettings::kValueCapacity;
  const std::string values[] = {
      std::string(1, static_cast<char>('0' + m_settings.Language)),
      m_settings.Version,
      ini->Value("Baud", kCap),
      ini->Value("Com", kCap),
      ini->Value("Exception", kCap),
  };
  const char* keys[] = {"Language", "Version", "Baud", "Com", "Exception"};
  std::string content;
  for (size_t i = 0; i < 5; ++i) content += std::string(keys[i]) + "=" + values[i] + "\r\n";

  std::string error;
  if (!WriteFileAtomically(first, content, error)) {
    m_view.ShowException("Cannot create file \"" + first.string() + "\". " + error);
    return -1;
  }
  return 0;
}

int TUpdateForm::ReadProgDeviceIni(const std::string& fileName) {
  const std::filesystem::path path = InPackage(fileName);
  core::FileFault fault = core::FileFault::kNone;
  std::optional<IniLines> ini = IniLines::Load(path, &fault);
  if (!ini) {
    const std::string text =
        fault == core::FileFault::kMissing
            ? std::string(texts::kConfigFile2Missing.German())
            : ConfigFaultText(kConfigFile2, path, fault, kProgramEnds, m_settings.Language);
    m_view.MessageBox(text, texts::kCaptionConfigMissing.German(), MessageIcon::Error, MessageButtons::Ok);
    return -1;
  }
  ReadProgDeviceLines(*ini);
  return 0;
}

void TUpdateForm::ReadProgDeviceLines(const IniLines& ini) {
  m_deviceTable.clear();
  const std::vector<std::string>& lines = ini.Lines();
  auto value = [&lines](size_t first, size_t count, const char* key) {
    return IniLines::ValueIn(lines, first, count, key, kProgDeviceValueCapacity);
  };

  size_t i = 0;
  while (i < lines.size()) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    const size_t first = i;
    while (i < lines.size() && !lines[i].empty()) ++i;
    const size_t count = i - first;

    if (count == 4) {
      m_packageTexts.StarttextD = value(first, count, "StarttextD");
      m_packageTexts.StarttextE = value(first, count, "StarttextE");
      m_packageTexts.AbbruchtextD = value(first, count, "AbbruchtextD");
      m_packageTexts.AbbruchtextE = value(first, count, "AbbruchtextE");
      continue;
    }
    if (count <= 10 || m_deviceTable.size() == kMaxDeviceEntries) continue;

    DeviceEntry entry;
    const std::string start = value(first, count, "DevStartCmd");
    // A DevStartCmd that does not begin with 1..9 selects no command set and
    // leaves StartMode as it was.
    if (!start.empty() && start[0] >= '1' && start[0] <= '9') {
      int mode = start[0] - '1';
      if (mode >= 6) mode -= 6;
      m_startMode = mode;
    }
    auto deviceNumber = [](std::string text) {
      if (text.size() == 5) text += ".000";
      return text;
    };
    // "\r\n" typed as four characters ends the key text with a real line end.
    auto kenn = [](std::string text) {
      const size_t at = text.find("\\r\\n");
      if (at != std::string::npos)
        text = text.substr(0, std::min(at, DeviceEntry::kSWKennCapacity - 2)) + "\r\n";
      return Clip(text, DeviceEntry::kSWKennCapacity);
    };
    entry.DeviceNrDef =
        Clip(deviceNumber(value(first, count, "DeviceNrDef")), DeviceEntry::kDeviceNrDefCapacity);
    entry.DeviceNr = Clip(deviceNumber(value(first, count, "DeviceNr")), DeviceEntry::kDeviceNrCapacity);
    entry.DeviceName = Clip(value(first, count, "DeviceName"), DeviceEntry::kDeviceNameCapacity);
    entry.ProgFile1 = Clip(UpperAscii(value(first, count, "ProgFile1")), DeviceEntry::kProgFile1Capacity);
    entry.ProgFile2 = Clip(UpperAscii(value(first, count, "ProgFile2")), DeviceEntry::kProgFile2Capacity);
    entry.ProgFile3 = Clip(UpperAscii(value(first, count, "ProgFile3")), DeviceEntry::kProgFile3Capacity);
    entry.SWKenn1 = kenn(value(first, count, "SWKenn1"));
    entry.SWKenn2 = kenn(value(first, count, "SWKenn2"));
    entry.SWKenn3 = kenn(value(first, count, "SWKenn3"));
    entry.BootLoadKenn = Clip(value(first, count, "BootLoadKenn"), DeviceEntry::kBootLoadKennCapacity);
    entry.FlashErase1 = Clip(value(first, count, "FlashErase1"), DeviceEntry::kFlashEraseCapacity);
    entry.FlashErase2 = Clip(value(first, count, "FlashErase2"), DeviceEntry::kFlashEraseCapacity);
    entry.FlashErase3 = Clip(value(first, count, "FlashErase3"), DeviceEntry::kFlashEraseCapacity);
    entry.ProgDefFile =
        Clip(UpperAscii(value(first, count, "ProgDefFile")), DeviceEntry::kProgDefFileCapacity);
    // Hexadecimal; values beyond 32 bits saturate.
    const long long prozTyp = std::strtoll(value(first, count, "ProzTyp").c_str(), nullptr, 16);
    entry.ProzTyp = static_cast<int32_t>(std::clamp<long long>(prozTyp, INT32_MIN, INT32_MAX));
    m_deviceTable.push_back(std::move(entry));
  }

  m_loaderKind = 0;
  if (!m_deviceTable.empty()) {
    const std::string& main = m_deviceTable[0].ProgFile2;
    if (main.find(".TXT") != std::string::npos) m_loaderKind |= 1;
    if (main.find(".EXE") != std::string::npos) m_loaderKind |= 2;
    if (main.find(".HEX") != std::string::npos) m_loaderKind |= 3;
  }
  m_configuredStartMode = m_startMode;
}

std::optional<std::string> TUpdateForm::FindProgDefFile(int32_t prozTyp) const {
  for (const DeviceEntry& entry : m_deviceTable) {
    if (entry.ProzTyp == prozTyp) return entry.ProgDefFile;
  }
  return std::nullopt;
}

}  // namespace update
