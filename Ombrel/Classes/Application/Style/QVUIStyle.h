#pragma once
// The application's theme in one place: the accent and background greys, the slider fill image,
// the before/after labels and split line of the compare view, and the look of the batch settings
// controls. Stateless: every call makes a new colour or a new record.
//
// The style's "SF Pro Display" face is Inter (QVFonts), with the system sans-serif when Inter is
// not installed, so the batch controls always get a usable font.
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "QVAppKit/QVRoundParams.h"

class QApplication;
class QPainter;

struct QVCurtainLabelStyle {
  QColor titleColor;
  QColor bgColor;
};

struct QVCurtailLabelsRoundingStyle {
  QVRoundParams beforeRounding;
  QVRoundParams afterRounding;
};

struct QVSplitLineStyle {
  double width = 0;
  QColor color;
};

struct QVBatchSettingsStyle {
  QColor controlBGColor;
  QFont controlTextFont;
  QColor controlTextColor;
  QColor labelColor;
};

class QVUIStyle {
 public:
  static QColor darkColor();
  static QColor themeColor();
  static QColor sliderKnobColor();
  static QColor themeBGColor();
  static std::string sliderFillImageName();
  static uint64_t importButtonType();
  static uint64_t cellSelectionStyle();
  static bool shouldAddCurtainShadows();
  static std::shared_ptr<QVCurtainLabelStyle> beforeLabelStyle();
  static std::shared_ptr<QVCurtainLabelStyle> afterLabelStyle();
  static std::shared_ptr<QVCurtailLabelsRoundingStyle> curtainLabelsRoundingStyle();
  static std::shared_ptr<QVSplitLineStyle> splitLineStyle();
  static std::shared_ptr<QVBatchSettingsStyle> batchSettingsStyle();

  // The dark look of Qt's own widgets (menus, message boxes, file dialogs): the Fusion style with
  // the theme's palette and a style sheet for menus.
  // The screens' dark backdrop: a vertical gradient from `top` to `bottom` with the accent colour
  // glowing faintly (alpha `glowAlpha`) in a circle about `glowCentre`.
  static void paintBackdrop(QPainter& painter, const QRectF& rect, const QColor& top, const QColor& bottom,
                            QPointF glowCentre, double glowRadius, int glowAlpha);
  static QPalette applicationPalette();
  static QString menuStyleSheet();
  static QString dialogStyleSheet();
  static void applyToApplication(QApplication& application);
};
