#include "QVAppKit/QVFonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>

namespace QVFonts {
namespace {

QString& family() {
  static QString f;
  return f;
}

const std::map<std::string, QFont::Weight>& weightsByStyle() {
  static const std::map<std::string, QFont::Weight> w = {
      {"ultralight", QFont::ExtraLight}, {"thin", QFont::Thin},           {"light", QFont::Light},
      {"regular", QFont::Normal},        {"text", QFont::Normal},         {"medium", QFont::Medium},
      {"semibold", QFont::DemiBold},     {"demibold", QFont::DemiBold},   {"bold", QFont::Bold},
      {"heavy", QFont::ExtraBold},       {"extrabold", QFont::ExtraBold}, {"black", QFont::Black}};
  return w;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

}  // namespace

bool loadOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!QFontDatabase::families().contains(QStringLiteral("Inter"))) {
      // fontconfig may not index the package's folder (minimal containers): add the files directly.
      for (const char* dir : {"/usr/share/fonts/opentype/inter", "/usr/share/fonts/truetype/inter"}) {
        QDir d(QString::fromLatin1(dir));
        for (const QString& file :
             d.entryList({QStringLiteral("Inter-*.otf"), QStringLiteral("Inter-*.ttf"), QStringLiteral("Inter.ttc")},
                         QDir::Files)) {
          QFontDatabase::addApplicationFont(d.filePath(file));
        }
      }
    }
    if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
      family() = QStringLiteral("Inter");
    } else {
      family() = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
      if (family().isEmpty()) family() = QStringLiteral("sans-serif");
    }
  });
  return family() == QStringLiteral("Inter");
}

QString systemFamily() {
  loadOnce();
  return family();
}

double logicalDpi() {
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (auto* screen = app->primaryScreen(); screen && screen->logicalDotsPerInchY() > 0) {
      return screen->logicalDotsPerInchY();
    }
  }
  return 96.0;
}

void setFontSize(QFont& font, double size) {
  if (size <= 0) size = 13.0;
  if (std::floor(size) == size) {
    font.setPixelSize(int(size));
  } else {
    font.setPointSizeF(size * 72.0 / logicalDpi());
  }
}

double fontSize(const QFont& font) {
  if (font.pixelSize() > 0) return font.pixelSize();
  return font.pointSizeF() * logicalDpi() / 72.0;
}

QFont systemFontOfSize(double pointSize, QFont::Weight weight) {
  QFont font(systemFamily());
  font.setStyleHint(QFont::SansSerif);
  setFontSize(font, pointSize);
  font.setWeight(weight);
  // Text is laid out at fractional positions so sizes match at every device pixel ratio.
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

std::string systemFontName() { return systemFamily().toStdString() + "-Regular"; }

QFont fontWithName(const std::string& name, double pointSize) {
  std::string familyName = name, style = "regular";
  if (auto dash = name.rfind('-'); dash != std::string::npos) {
    familyName = name.substr(0, dash);
    style = lower(name.substr(dash + 1));
  }
  QFont::Weight weight = QFont::Normal;
  if (auto it = weightsByStyle().find(style); it != weightsByStyle().end()) weight = it->second;
  QFont font = systemFontOfSize(pointSize, weight);
  const std::string lowered = lower(familyName);
  const bool standIn = lowered.rfind("sfpro", 0) == 0 || lowered.rfind("sf pro", 0) == 0 ||
                       lowered.rfind(".sf", 0) == 0 || lowered == "inter" || lowered.empty();
  if (!standIn && QFontDatabase::families().contains(QString::fromStdString(familyName))) {
    font.setFamily(QString::fromStdString(familyName));
  }
  if (style.find("italic") != std::string::npos) font.setItalic(true);
  return font;
}

std::string fontName(const QFont& font) {
  const char* style = "Regular";
  switch (font.weight()) {
    case QFont::Thin:
      style = "Thin";
      break;
    case QFont::ExtraLight:
      style = "Ultralight";
      break;
    case QFont::Light:
      style = "Light";
      break;
    case QFont::Medium:
      style = "Medium";
      break;
    case QFont::DemiBold:
      style = "Semibold";
      break;
    case QFont::Bold:
      style = "Bold";
      break;
    case QFont::ExtraBold:
      style = "Heavy";
      break;
    case QFont::Black:
      style = "Black";
      break;
    default:
      break;
  }
  return font.family().toStdString() + "-" + style;
}

}  // namespace QVFonts
