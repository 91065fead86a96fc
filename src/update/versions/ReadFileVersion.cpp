#include "update/versions/ReadFileVersion.h"

#include <filesystem>
#include <utility>

#include "core/RegularFile.h"

#include "update/versions/PackagePath.h"
#include "update/versions/VersionNumber.h"

namespace update {
namespace {

namespace fs = std::filesystem;

FileVersionResult Unreadable(FileKind kind, std::string_view fileName, core::FileFault fault) {
  std::string error = std::string("Cannot open file \"") + std::string(fileName) + "\": it " +
                      core::FileFaultText(fault).English() + ".";
  return FileVersionResult{std::string(1, '0'), 0, kind, false, std::move(error)};
}

}  // namespace

FileVersionResult ReadFileVersion(std::string_view key, std::string_view fileName) {
  return ReadFileVersion(key, fileName, fs::path());
}

FileVersionResult ReadFileVersion(std::string_view key, std::string_view fileName, const fs::path& folder) {
  const FileKind kind = FileKindOf(key, fileName);
  if (kind == FileKind::kAmbiguous) {
    FileVersionResult result;
    result.kind = kind;
    return result;
  }

  std::string name(fileName);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  // The kind goes by the name as configured; only the file is looked up in
  // the folder.
  const fs::path path = folder.empty() || fs::path(name).is_absolute()
                            ? ResolvePackagePath(name)
                            : ResolvePackagePath((folder / name).string());
  core::RegularFile file;
  if (const core::FileFault fault = file.Open(path.string()); fault != core::FileFault::kNone) {
    return Unreadable(kind, fileName, fault);
  }
  const ReadWindow window = WindowOf(kind, file.Size());
  std::string data;
  if (const core::FileFault fault = file.Read(window.offset, window.count, data);
      fault != core::FileFault::kNone) {
    return Unreadable(kind, fileName, fault);
  }

  FileVersionResult result;
  result.kind = kind;
  result.readable = true;
  result.text = VersionFromData(kind, key, data);
  result.thousandths = VersionThousandths(result.text);
  return result;
}

int StoreFileVersion(const FileVersionResult& result, VersionSlot& slot1, VersionSlot& slot2) {
  if (!result.readable || result.kind == FileKind::kAmbiguous) return 0;
  const bool first = result.kind != FileKind::kSrec && slot1.text.empty();
  VersionSlot& slot = first ? slot1 : slot2;
  slot.text = result.text.substr(0, kVersionTextMax);
  slot.thousandths = VersionThousandths(slot.text);
  return first ? 1 : 2;
}

}  // namespace update
