#pragma once

namespace update {

// The window's German/English message pairs, indexed by language (0 German,
// 1 English). Latin-1. Service texts that exist in German only carry the
// same text twice.
enum class TextId {
  ConfigFile1Missing,
  ConfigFile2Missing,
  CaptionError,
  CaptionPortError,
  UpdateReady,
  DefaultDeviceName,
  kCount
};

const char* Text(TextId id, int language);

}  // namespace update
