#include "update/versions/ReadFileVersion.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "update/versions/PackagePath.h"
#include "update/versions/VersionNumber.h"

namespace update {
namespace {

namespace fs = std::filesystem;

FileVersionResult Unreadable(FileKind kind, std::string_view fileName, const std::string& reason) {
  std::string error = std::string("Cannot open file \"") + std::string(fileName) + "\". " + reason;
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
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    return Unreadable(kind, fileName, ec ? ec.message() : "No such file or directory");
  }
  if (!fs::is_regular_file(status)) return Unreadable(kind, fileName, "It is not a file.");
  const uint64_t size = fs::file_size(path, ec);
  if (ec) return Unreadable(kind, fileName, ec.message());

  std::ifstream in(path, std::ios::binary);
  if (!in) return Unreadable(kind, fileName, "Access denied or the file is in use.");
  const ReadWindow window = WindowOf(kind, size);
  std::string data(window.count, '\0');
  in.seekg(static_cast<std::streamoff>(window.offset));
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  if (!in && !in.eof()) return Unreadable(kind, fileName, "The file could not be read.");
  data.resize(static_cast<size_t>(in.gcount()));

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
