#include "translation/qt/QtText.h"

#include "translation/Windows1252.h"

namespace translation::qt {

QString ToQString(std::string_view text) {
  const std::u16string wide = Cp1252ToUtf16(text);
  QString result = QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

std::string FromQString(const QString& text, bool* lossless) {
  QString crlf = text;
  crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return Utf16ToCp1252(std::u16string_view(reinterpret_cast<const char16_t*>(crlf.utf16()),
                                           static_cast<size_t>(crlf.size())),
                       lossless);
}

}  // namespace translation::qt
