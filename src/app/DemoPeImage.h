#pragma once

#include <string>

namespace demo {

// A small PE program for Windows CE (or a DLL): a code section and a
// resource section holding one version resource (VS_VERSION_INFO) whose
// fixed part carries `version` as numbers and whose string table holds
// FileVersion and ProductVersion as "V" + `version`. The tool reads the
// string one unit after the key's zero (the padding after "FileVersion")
// without its first character, so the "V" prefix makes it read `version`.
std::string PeProgram(const std::string& name, const std::string& version, bool dll);

}  // namespace demo
