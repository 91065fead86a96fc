#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A fresh folder per test for dictionary files, removed afterwards.
class TranslationTestFolder {
 public:
  TranslationTestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "iu-translation-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~TranslationTestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  std::string File(const std::string& name) const { return (m_path / name).string(); }
  const std::filesystem::path& Path() const { return m_path; }

  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path m_path;
};
