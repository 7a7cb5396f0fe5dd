#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"

#include <QString>

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
