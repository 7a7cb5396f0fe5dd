#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"

#include <QString>

#include "QVPlatform/Localization.h"

std::string QVCapitalizedString(const std::string& text) {
  QString s = QString::fromStdString(text);
  bool startOfWord = true;
  for (auto& ch : s) {
    if (ch.isSpace()) {
      startOfWord = true;
      continue;
    }
    ch = startOfWord ? ch.toUpper() : ch.toLower();
    startOfWord = false;
  }
  return s.toStdString();
}

std::string QVUppercaseString(const std::string& text) { return QString::fromStdString(text).toUpper().toStdString(); }

std::string QVLocalizedFormat(const std::string& key, std::initializer_list<std::string> args) {
  std::string text = qv::QVSLocalization::localizedStringForKey(key);
  auto arg = args.begin();
  for (size_t at = 0; arg != args.end();) {
    const size_t object = text.find("%@", at), number = text.find("%lu", at);
    const size_t pos = std::min(object, number);
    if (pos == std::string::npos) break;
    const size_t length = pos == object ? 2 : 3;
    text.replace(pos, length, *arg);
    at = pos + arg->size();
    ++arg;
  }
  return text;
}
