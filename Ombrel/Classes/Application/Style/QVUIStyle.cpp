#include "Ombrel/Classes/Application/Style/QVUIStyle.h"

#include "QVAppKit/QVFonts.h"

namespace {
QColor rgb(int r, int g, int b) { return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f); }
}  // namespace

QColor QVUIStyle::darkColor() { return rgb(29, 30, 32); }
QColor QVUIStyle::themeColor() { return rgb(29, 181, 101); }
QColor QVUIStyle::sliderKnobColor() { return rgb(29, 181, 101); }
QColor QVUIStyle::themeBGColor() { return rgb(45, 45, 45); }
std::string QVUIStyle::sliderFillImageName() { return "fill_bar"; }
uint64_t QVUIStyle::importButtonType() { return 1; }
uint64_t QVUIStyle::cellSelectionStyle() { return 1; }
bool QVUIStyle::shouldAddCurtainShadows() { return true; }

std::shared_ptr<QVCurtainLabelStyle> QVUIStyle::beforeLabelStyle() {
  return std::make_shared<QVCurtainLabelStyle>(QVCurtainLabelStyle{QColor(Qt::black), QColor(Qt::white)});
}

std::shared_ptr<QVCurtainLabelStyle> QVUIStyle::afterLabelStyle() {
  return std::make_shared<QVCurtainLabelStyle>(QVCurtainLabelStyle{QColor(Qt::white), QColor(Qt::black)});
}

std::shared_ptr<QVCurtailLabelsRoundingStyle> QVUIStyle::curtainLabelsRoundingStyle() {
  // Square labels: no corner rounded, every radius zero.
  return std::make_shared<QVCurtailLabelsRoundingStyle>();
}

std::shared_ptr<QVSplitLineStyle> QVUIStyle::splitLineStyle() {
  return std::make_shared<QVSplitLineStyle>(QVSplitLineStyle{6, QColor(Qt::white)});
}

std::shared_ptr<QVBatchSettingsStyle> QVUIStyle::batchSettingsStyle() {
  auto style = std::make_shared<QVBatchSettingsStyle>();
  style->controlBGColor = rgb(59, 59, 59);
  style->controlTextFont = QVFonts::fontWithName("SF Pro Display", 12);
  style->controlTextColor = QColor(Qt::white);
  style->labelColor = rgb(139, 139, 139);
  return style;
}
