#include "programmers/TProgrammerTyp.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/BilingualText.h"
#include "core/RegularFile.h"
#include "core/EventCodes.h"
#include "core/EventHandler.h"
#include "serial/PortName.h"

namespace programmers {
namespace {

constexpr core::BilingualText kFirmwareFile{"Die Firmware-Datei ", "The firmware file "};
constexpr core::BilingualText kCannotOpen{
    " kann nicht ge\xF6"
    "ffnet werden.",
    " cannot be opened."};
constexpr core::BilingualText kTooLarge{
    " ist zu gro\xDF (h\xF6"
    "chstens ",
    " is too large (at most "};
constexpr core::BilingualText kBytes{" Bytes).", " bytes)."};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The file in `folder` whose name matches `name` ignoring case; `name`
// itself when nothing matches.
std::filesystem::path Lookup(const std::string& folder, std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  std::filesystem::path path(name);
  if (path.is_absolute() || folder.empty()) return path;
  std::filesystem::path dir = std::filesystem::path(folder) / path.parent_path();
  std::error_code ec;
  const std::string wanted = Lower(path.filename().string());
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == wanted) return it->path();
  }
  return dir / path.filename();
}

}  // namespace

std::string TProgrammerTyp::ConnectionLostText(int32_t language, uint32_t com) {
  std::string text = kConnectionLostText.In(language);
  const size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, serial::PortName(com, true));
  return text;
}

void TProgrammerTyp::RunEventLoop(const bool& finished) {
  // Subscribed last, so the notice reaches this handler before the
  // programmer's, whatever that one consumes.
  const core::EventHandler watch = core::MakeHandler<&TProgrammerTyp::WatchLine>(this);
  m_form.Events().Subscribe(watch);
  while (!finished && !m_lineLost) {
    m_form.DrainEvents();
    if (finished || m_lineLost) break;
    m_form.Pump().WaitForMessages();
  }
  m_form.Events().Unsubscribe(watch);
}

core::Event TProgrammerTyp::WatchLine(core::EventQueue& /*queue*/, core::Event event) {
  if (event.kind != core::kCodeEvent || event.code != core::codes::kConnectionLost) return event;
  if (!m_lineLost) {
    m_lineLost = true;
    const int32_t com = event.text.Number();
    m_lostCom = com > 0 ? static_cast<uint32_t>(com) : m_port.ComNumber();
    OnConnectionLost();
  }
  return core::ClearEvent();
}

void TProgrammerTyp::ShowConnectionLost() {
  m_form.ShowErrorBox(ConnectionLostText(m_form.Language(), m_lostCom), kErrorCaption);
}

std::string TProgrammerTyp::PackageFilePath(const std::string& name) {
  return Lookup(m_form.PackageFolder(), name).string();
}

bool TProgrammerTyp::ReadPackageFile(const std::string& name, size_t limit, std::string& content,
                                     std::string& error) {
  const int language = m_form.Language();
  const core::FileFault fault =
      name.empty() ? core::FileFault::kMissing
                   : core::ReadRegularFile(PackageFilePath(name), limit, content);
  switch (fault) {
    case core::FileFault::kNone:
      return true;
    case core::FileFault::kMissing:
    case core::FileFault::kNoAccess:
      error = std::string(kFirmwareFile.In(language)) + name + kCannotOpen.In(language);
      break;
    case core::FileFault::kTooLarge:
      error = std::string(kFirmwareFile.In(language)) + name + kTooLarge.In(language) +
              std::to_string(limit) + kBytes.In(language);
      break;
    default:
      error = std::string(kFirmwareFile.In(language)) + name + " " + core::FileFaultText(fault).In(language) +
              ".";
      break;
  }
  return false;
}

}  // namespace programmers
