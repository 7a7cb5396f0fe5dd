#include "Ombrel/Classes/Application/Common/QVSImageViewController.h"

#include <QString>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/Localization.h"

namespace {
QVSCompareLabel curtainLabel(const char* key, const QVCurtainLabelStyle& style) {
  const QString title = QString::fromStdString(qv::QVSLocalization::localizedStringForKey(key)).toUpper();
  return {title.toStdString(), QVFonts::fontWithName("SFUIDisplay-Black", 13), 3.71, style.titleColor, style.bgColor};
}
}  // namespace

QVSImageViewController::QVSImageViewController(NSImageRef originalImage) {
  view();  // set-up runs with the view
  setOriginalImage(std::move(originalImage));
  setCompareMode(1);
  setDefaultSplitFactor(isRightToLeft() ? 2.0 / 3.0 : 1.0 / 3.0);
}

QVSCompareLabel QVSImageViewController::createLeftLabel() {
  return curtainLabel("Before", *QVUIStyle::beforeLabelStyle());
}

QVSCompareLabel QVSImageViewController::createRightLabel() {
  return curtainLabel("After", *QVUIStyle::afterLabelStyle());
}

void QVSImageViewController::configureSplitLine(QVSSplitLineView& line) {
  QVSCompareViewController::configureSplitLine(line);
  line.setBorderColor(std::nullopt);
  line.setBorderWidth(0);
}
