#pragma once

#include <QString>
#include <string>

namespace update::qt {

// The logic's texts are Latin-1 with CR LF line breaks; Qt's are UTF-16 with
// LF. These are the only places where one becomes the other.
inline QString ToQt(const std::string& latin1) {
  QString text = QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

// Characters beyond Latin-1 become '?'.
inline std::string FromQt(const QString& text) {
  QString copy = text;
  copy.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  std::string out;
  out.reserve(static_cast<size_t>(copy.size()));
  for (QChar c : copy) out.push_back(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?');
  return out;
}

}  // namespace update::qt
