#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace translation::qt {

// The 1252 texts of the dictionary logic at the Qt boundary. The logic ends
// lines with CR LF, Qt with LF. Windows-1252 specials (euro sign, quotes,
// dashes) become their Unicode characters and back.
QString ToQString(std::string_view text);
// Characters outside 1252 become '?'; `lossless` says whether any did.
std::string FromQString(const QString& text, bool* lossless = nullptr);

}  // namespace translation::qt
