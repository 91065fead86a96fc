#include <algorithm>
#include <system_error>

#include "update/TUpdateForm.h"
#include "update/TextParts.h"

namespace update {

// The package folder is the working directory: on Linux the program binary
// does not live beside the package. Extensions match in any case; within one
// pattern the names are taken in sorted order, so the result does not depend
// on the file system's directory order.
void TUpdateForm::ScanPackageFiles() {
  static const char* const kPatterns[] = {".MOT", ".TXT", ".EXE", ".DLL", ".HEX", ".BIN"};

  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(m_environment.workingDirectory, ec)) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    names.push_back(UpperAscii(entry.path().filename().string()));
  }
  std::sort(names.begin(), names.end());

  auto progFile2 = [this](size_t entry) -> std::string {
    return entry < m_deviceTable.size() ? m_deviceTable[entry].ProgFile2 : std::string();
  };
  static const Control kModelItems[] = {Control::DevMulti720q, Control::DevpH720q, Control::DevOxi720q,
                                        Control::DevCond720q};

  for (const char* pattern : kPatterns) {
    const bool motorola = std::string_view(pattern) == ".MOT";
    for (const std::string& name : names) {
      if (m_packageFiles.size() == kMaxPackageFiles) return;
      if (!name.ends_with(pattern)) continue;
      if (Contains(name, "EEP")) continue;
      if (!motorola && Contains(name, "VERSION")) continue;

      m_packageFiles.push_back(name);
      m_view.ListAdd(name.substr(0, name.find('.')));
      if (motorola) {
        m_view.SetVisible(Control::VE720dProgramming, Contains(name, progFile2(0)));
        for (size_t i = 0; i < 4; ++i) {
          if (Contains(name, progFile2(i))) m_view.SetEnabled(kModelItems[i], true);
        }
      } else {
        for (size_t i = 0; i < 4; ++i) {
          if (Contains(name, progFile2(i))) m_view.SetEnabled(Control::LabXXX, true);
        }
      }
    }
  }
}

}  // namespace update
