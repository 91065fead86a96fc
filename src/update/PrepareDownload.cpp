#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "update/RunTexts.h"
#include "update/TUpdateForm.h"
#include "update/TextParts.h"
#include "update/versions/PackagePath.h"
#include "update/versions/ReadFileVersion.h"

namespace update {

namespace {

constexpr int32_t kStartupCommandPauseMs = 3000;

// Deletes everything up to and including the first ","; false when there is none.
bool DropUpToComma(std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  text.erase(0, comma + 1);
  return true;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// "*" and "?" as a file pattern matches them, ASCII case ignored.
bool PatternMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern == "*.*") return true;  // every file, with or without a dot
  if (pattern[0] == '*') {
    for (size_t i = 0; i <= name.size(); ++i) {
      if (PatternMatches(pattern.substr(1), name.substr(i))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  const bool same = pattern[0] == '?' || std::tolower(static_cast<unsigned char>(pattern[0])) ==
                                             std::tolower(static_cast<unsigned char>(name[0]));
  return same && PatternMatches(pattern.substr(1), name.substr(1));
}

// A FlashErase value: "0x" means hexadecimal, otherwise decimal; digits up
// to the first other character, none give 0.
int32_t EraseValue(const std::string& text) {
  const size_t hex = text.find("0x");
  uint32_t value = 0;
  if (hex != std::string::npos) {
    for (size_t i = hex + 2; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return static_cast<int32_t>(value);
  }
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t decimal = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    decimal = std::min<int64_t>(decimal * 10 + (text[i] - '0'), INT32_MAX);
  }
  return static_cast<int32_t>(negative ? -decimal : decimal);
}

}  // namespace

std::string TUpdateForm::ReadFileVersion(const std::string& key, const std::string& fileName) {
  const FileVersionResult result = update::ReadFileVersion(key, fileName, m_environment.workingDirectory);
  // A file that cannot be read is reported and counts as version 0.
  if (!result.error.empty()) m_view.ShowException(result.error);
  VersionSlot slot1{m_deviceRecord.FileVersionText, m_deviceRecord.FileVersion};
  VersionSlot slot2{m_deviceRecord.FileVersionText2, m_deviceRecord.FileVersion2};
  StoreFileVersion(result, slot1, slot2);
  m_deviceRecord.FileVersionText = slot1.text;
  m_deviceRecord.FileVersion = slot1.thousandths;
  m_deviceRecord.FileVersionText2 = slot2.text;
  m_deviceRecord.FileVersion2 = slot2.thousandths;
  return result.text;
}

namespace {

// The further elements of a comma-separated file list, appended to the
// record's extra files; an element with "*.*" stands for the files its
// pattern finds. Stops at the record's room.
void AppendExtraFiles(DeviceRecord& record, std::string_view list, const std::filesystem::path& package) {
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    if (comma == std::string_view::npos) comma = list.size();
    const std::string element(list.substr(from, comma - from));
    from = comma + 1;
    auto add = [&record](const std::string& name) {
      if (record.ExtraFiles.size() >= DeviceRecord::kMaxExtraFiles) return;
      record.ExtraFiles.push_back(Clip(name, DeviceRecord::kFileNameCapacity));
    };
    const size_t wildcard = element.find("*.*");
    if (wildcard == std::string::npos) {
      add(element);
      continue;
    }
    const std::string prefix = element.substr(0, wildcard);
    std::string slashed = element;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const size_t cut = slashed.rfind('/');
    const std::string folderPart = cut == std::string::npos ? std::string() : slashed.substr(0, cut);
    const std::string pattern = cut == std::string::npos ? slashed : slashed.substr(cut + 1);
    const std::filesystem::path folder =
        folderPart.empty() ? package : ResolvePackagePath(package, folderPart);
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code fileError;
      if (!it->is_regular_file(fileError)) continue;
      const std::string name = it->path().filename().string();
      if (PatternMatches(pattern, name)) found.push_back(name);
    }
    // The folder's own order is arbitrary on Linux: take the files by name.
    std::sort(found.begin(), found.end());
    for (const std::string& name : found) add(prefix + Upper(name));
  }
  record.ExtraFileCount = static_cast<int32_t>(record.ExtraFiles.size());
}

}  // namespace

uint8_t TUpdateForm::PrepareDownload() {
  DeviceRecord& record = m_deviceRecord;
  const int language = m_settings.Language;
  m_startMode = m_configuredStartMode;
  m_run.SameVersionConfirmed = false;
  m_run.SensorPresent = true;
  m_view.SetVisible(Control::WaitPanel, false);
  const bool sensorMode = m_startMode >= 2 && m_startMode <= 4;
  const bool defaultEntry = !m_deviceTable.empty() && Contains(m_deviceTable[0].DeviceNrDef, "XXXXX");
  size_t length = 8;
  bool noComma = false;

  if (sensorMode) {
    length = record.IdentNumber.size();
    noComma = !DropUpToComma(record.IdentNumber);
    DropUpToComma(record.DeviceText);
    // The variant digits of the PCB number replace those of the device number.
    const size_t dot = record.IdentNumber.find('.');
    if (dot != std::string::npos) {
      for (size_t i = 0;
           i < 3 && dot + 1 + i < record.IdentNumber.size() && dot + 1 + i < record.DeviceText.size(); ++i) {
        record.IdentNumber[dot + 1 + i] = record.DeviceText[dot + 1 + i];
      }
    }
  }

  std::optional<size_t> index;
  for (size_t i = 0; i < m_deviceTable.size() && !index; ++i) {
    if (Contains(record.IdentNumber, m_deviceTable[i].DeviceNr)) index = i;
  }
  if (!index && Contains(record.DeviceText, record.IdentNumber)) {
    for (size_t i = 0; i < m_deviceTable.size() && !index; ++i) {
      if (Contains(record.DeviceText, m_deviceTable[i].DeviceNrDef)) index = i;
    }
  }
  if (!index && defaultEntry && length < 10) index = 0;

  size_t k = index.value_or(0);
  if (index) {
    const DeviceEntry& entry = m_deviceTable[k];
    record.DeviceNumber = entry.ProzTyp;
    record.ExtraFiles.clear();
    const size_t mainComma = entry.ProgFile2.find(',');
    record.MainFile = Clip(entry.ProgFile2.substr(0, mainComma), DeviceRecord::kFileNameCapacity);
    if (mainComma != std::string::npos) {
      AppendExtraFiles(record, std::string_view(entry.ProgFile2).substr(mainComma + 1),
                       m_environment.workingDirectory);
    }
    record.FirstFile = Clip(entry.ProgFile1, DeviceRecord::kFileNameCapacity);
    const size_t secondComma = entry.ProgFile3.find(',');
    record.SecondFile = Clip(entry.ProgFile3.substr(0, secondComma), DeviceRecord::kFileNameCapacity);
    if (secondComma != std::string::npos) {
      AppendExtraFiles(record, std::string_view(entry.ProgFile3).substr(secondComma + 1),
                       m_environment.workingDirectory);
    }
    record.ExtraFileCount = static_cast<int32_t>(record.ExtraFiles.size());
    if (!record.MainFile.empty() && record.MainFile.back() == '@') {
      record.KeepSlowRate[0] = 1;
      record.MainFile.pop_back();
    }
    if (!record.SecondFile.empty() && record.SecondFile.back() == '@') {
      record.KeepSlowRate[1] = 1;
      record.SecondFile.pop_back();
    }
    record.VersionKey1 = Clip(entry.SWKenn1, DeviceRecord::kVersionKeyCapacity);
    record.VersionKey2 = Clip(entry.SWKenn2, DeviceRecord::kVersionKeyCapacity);
    record.VersionKey3 = Clip(entry.SWKenn3, DeviceRecord::kVersionKeyCapacity);
    record.BootLoadKenn = Clip(entry.BootLoadKenn, DeviceRecord::kBootKennCapacity);
    record.EraseTop[0] = EraseValue(entry.FlashErase2);
    record.EraseTop[1] = EraseValue(entry.FlashErase3);
    // A lab instrument that announced itself with 0x90 and matched entry 0
    // gets entry 0's file; otherwise entry 1's, when there is one.
    const size_t s = (m_run.LabKey + k) == 0x90 ? 0 : 1;
    record.ProgDefFile = s < m_deviceTable.size() ? m_deviceTable[s].ProgDefFile : entry.ProgDefFile;
    m_loaderKind = (Contains(record.MainFile, ".TXT") ? 1 : 0) | (Contains(record.MainFile, ".EXE") ? 2 : 0) |
                   (Contains(record.MainFile, ".HEX") ? 3 : 0) | (Contains(record.MainFile, ".BIN") ? 4 : 0);
  }

  bool inPackage = false;
  for (const std::string& file : m_packageFiles) inPackage = inPackage || Contains(record.MainFile, file);
  const bool loaderFits = record.BootloaderId.empty() || record.BootLoadKenn.empty() ||
                          Contains(record.BootloaderId, record.BootLoadKenn);
  if (!index || !inPackage || !loaderFits) {
    m_view.MessageBox(texts::kWrongDevice.In(language), texts::kCaptionError.In(language), MessageIcon::Error,
                      MessageButtons::Ok);
    for (const DeviceEntry& entry : m_deviceTable) {
      // An entry without a name has nothing to list.
      if (entry.DeviceName.empty() || Contains(record.DisplayName, entry.DeviceName)) continue;
      record.DisplayName =
          Clip(record.DisplayName + entry.DeviceName + ", ", DeviceRecord::kDisplayNameCapacity);
    }
    AppendMemo(texts::kWrongDeviceDetail.In(language));
    return 0;
  }

  if (sensorMode) {
    record.DeviceVersion = record.DeviceVersion2;
    DropUpToComma(record.SoftwareVersion);
    record.DeviceVersion2 = 0;
    if (noComma) {
      if (m_view.MessageBox(texts::kNoDigitalSensor.In(language), texts::kCaptionInfo.In(language),
                            MessageIcon::Question, MessageButtons::YesNo) != MessageResult::Yes) {
        return 0;
      }
      k = 0;
      record.ImageByChipId = 1;
      m_run.SensorPresent = false;
      record.SoftwareVersion = "X.XX";
      record.IdentNumber = Clip(m_deviceTable[0].DeviceNr, DeviceRecord::kIdentNumberCapacity);
      record.SerialNumber = "XXXXXXXX";
    }
    DropUpToComma(record.SerialNumber);
    record.KeepSlowRate[1] = record.KeepSlowRate[0];
    if (m_startMode == 3 || m_startMode == 4) {
      m_run.SensorMode = m_startMode == 3 ? 1 : 2;
      m_startMode = 2;
      m_run.NextCommand = record.ImageByChipId ? "A.1231\r\n" : "A.1230\r\n";
    }
  }
  if (m_startMode == 5) {
    m_startMode = 0;
    m_run.SensorMode = 2;
  }

  record.DisplayName = Clip(m_deviceTable[k].DeviceName, DeviceRecord::kDisplayNameCapacity);
  m_view.SetCaption(Control::NameStaticText, record.IdentNumber + "  [" + record.DisplayName + "]");
  m_view.SetCaption(Control::SerStaticText, record.SerialNumber);
  m_view.SetCaption(Control::PCBStaticText, record.DeviceText);
  m_view.SetCaption(Control::SWStaticText, record.SoftwareVersion);

  ReadVersionsOfPackage();
  return Decide();
}

void TUpdateForm::ReadVersionsOfPackage() {
  DeviceRecord& record = m_deviceRecord;
  std::string panel = "Version " + ReadFileVersion(record.VersionKey2, record.MainFile);
  m_view.SetStatusPanel(3, panel);
  m_run.StartupFilePosition = 0;
  m_run.ExtraRunEnd = 0;
  if (record.ExtraFileCount > 0) {
    std::string bestText = record.FileVersionText;
    int32_t best = record.FileVersion;
    int last = 0;
    for (int i = 0;; ++i) {
      last = i;
      const std::string& file = record.ExtraFiles[static_cast<size_t>(i)];
      record.FileVersionText.clear();
      ReadFileVersion(record.VersionKey2, file);
      if (best < record.FileVersion) {
        bestText = record.FileVersionText;
        best = record.FileVersion;
      }
      if (Contains(file, "TERMIXSTARTUP.EXE")) {
        record.StartupFileVersion = record.FileVersion;
        m_run.StartupFilePosition = i;
      }
      if (i + 1 >= record.ExtraFileCount) break;
      const std::string& next = record.ExtraFiles[static_cast<size_t>(i + 1)];
      if (!Contains(next, ".EXE") && !Contains(next, ".DLL")) break;
    }
    if (m_run.StartupFilePosition > 0) {
      m_run.ExtraRunEnd = last;
      SendToDevice("A.2100\r\n");
      m_wait.DelayTime(kStartupCommandPauseMs, true);
    }
    panel = "Version " + bestText;
    m_view.SetStatusPanel(3, panel);
    record.FileVersionText = bestText;
    record.FileVersion = best;
  }
  for (const char* terminal : {"21130", "21030", "21157", "21871"}) {
    if (Contains(record.IdentNumber, terminal)) record.SecondFile = "l3_terml.a37";
  }
  if (!record.VersionKey1.empty()) {
    panel += " / " + ReadFileVersion(record.VersionKey1, record.FirstFile);
    m_view.SetStatusPanel(3, panel);
  }
  if (!record.VersionKey3.empty()) {
    panel += " / " + ReadFileVersion(record.VersionKey3, record.SecondFile);
    m_view.SetStatusPanel(3, panel);
  }
}

bool TUpdateForm::SensorWarning() {
  const int language = m_settings.Language;
  return m_view.MessageBox(texts::kSensorWarning.In(language), texts::kCaptionInfo.In(language),
                           MessageIcon::Question, MessageButtons::YesNo) == MessageResult::Yes;
}

uint8_t TUpdateForm::Decide() {
  DeviceRecord& record = m_deviceRecord;
  const int language = m_settings.Language;
  const int32_t d = record.DeviceVersion;
  const int32_t f = record.FileVersion;
  const int32_t d2 = record.DeviceVersion2;
  const int32_t f2 = record.FileVersion2;
  const bool checking = m_service.VersionCheck == 1 && m_service.AnyFileMode == 0;
  auto withVersion = [&record](const char* text) { return ReplaceFirst(text, "X", record.SoftwareVersion); };

  if (checking && d > f && (d2 > f2 || d2 == 0)) {
    m_view.MessageBox(texts::kInstrumentNewerBox.In(language), texts::kCaptionError.In(language),
                      MessageIcon::Error, MessageButtons::Ok);
    AppendMemo(withVersion(texts::kInstrumentNewerDetail.In(language)));
    return 0;
  }
  if (checking && d == f && (d2 == f2 || f2 == 0) &&
      record.StartupVersionInDevice == record.StartupFileVersion) {
    const bool yes = m_view.MessageBox(FillPlaceholders(withVersion(texts::kSameVersion.In(language))),
                                       texts::kCaptionInfo.In(language), MessageIcon::Question,
                                       MessageButtons::YesNo) == MessageResult::Yes;
    m_run.SameVersionConfirmed = yes;
    record.SameVersionAccepted = yes ? 1 : 0;
    if (yes && m_run.SensorIdModule) return SensorWarning() ? 1 : 0;
    return yes ? 1 : 0;
  }
  if (m_run.SensorIdModule && d2 < f2) return SensorWarning() ? 1 : 0;
  if (m_service.VersionCheck == 0 || m_service.AnyFileMode == 1) {
    record.DeviceVersion = f;
    m_run.SameVersionConfirmed = true;
  }
  if (m_service.AnyFileMode == 1 && m_service.ChosenFile.size() > 4)
    record.MainFile = Clip(m_service.ChosenFile, DeviceRecord::kFileNameCapacity);
  return 1;
}

}  // namespace update
