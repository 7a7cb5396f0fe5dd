#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVFonts.h"

namespace {

QColor rgb(int r, int g, int b) { return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f); }

TEST(QVUIStyle, ThemeValues) {
  EXPECT_EQ(QVUIStyle::darkColor(), rgb(29, 30, 32));
  EXPECT_EQ(QVUIStyle::themeColor(), rgb(29, 181, 101));
  EXPECT_EQ(QVUIStyle::sliderKnobColor(), QVUIStyle::themeColor());
  EXPECT_EQ(QVUIStyle::themeBGColor(), rgb(45, 45, 45));
  EXPECT_EQ(QVUIStyle::themeColor().toRgb().green(), 181);
  EXPECT_EQ(QVUIStyle::sliderFillImageName(), "fill_bar");
  EXPECT_EQ(QVUIStyle::importButtonType(), 1u);
  EXPECT_EQ(QVUIStyle::cellSelectionStyle(), 1u);
  EXPECT_TRUE(QVUIStyle::shouldAddCurtainShadows());
  const auto split = QVUIStyle::splitLineStyle();
  EXPECT_EQ(split->width, 6);
  EXPECT_EQ(split->color, QColor(Qt::white));
  const auto rounding = QVUIStyle::curtainLabelsRoundingStyle();
  EXPECT_FALSE(rounding->beforeRounding.roundsAnything());
  EXPECT_EQ(rounding->afterRounding.corners, 0u);
  const auto batch = QVUIStyle::batchSettingsStyle();
  EXPECT_EQ(batch->controlBGColor, rgb(59, 59, 59));
  EXPECT_EQ(batch->controlTextColor, QColor(Qt::white));
  EXPECT_EQ(batch->labelColor, rgb(139, 139, 139));
}

TEST(QVUIStyle, LabelStylesAreFreshRecordsOfBlackAndWhite) {
  const auto a = QVUIStyle::beforeLabelStyle(), b = QVUIStyle::beforeLabelStyle();
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->titleColor, b->titleColor);
  EXPECT_EQ(a->titleColor, QColor(Qt::black));
  EXPECT_EQ(a->bgColor, QColor(Qt::white));
  const auto after = QVUIStyle::afterLabelStyle();
  EXPECT_EQ(after->titleColor, QColor(Qt::white));
  EXPECT_EQ(after->bgColor, QColor(Qt::black));
}

TEST(QVUIStyle, BatchFontIsInterOrTheSystemSansSerif) {
  const QFont font = QVUIStyle::batchSettingsStyle()->controlTextFont;
  EXPECT_EQ(QVFonts::fontSize(font), 12);
  // The stand-in family, whichever is installed, and a font that resolves to a real face.
  EXPECT_EQ(font.family(), QVFonts::systemFamily());
  EXPECT_FALSE(QFontInfo(font).family().isEmpty());
  if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
    EXPECT_EQ(font.family(), QStringLiteral("Inter"));
  }
}

TEST(QVUIStyle, QtWidgetsGetTheDarkPalette) {
  const QPalette p = QVUIStyle::applicationPalette();
  EXPECT_EQ(p.color(QPalette::Highlight), QVUIStyle::themeColor());
  EXPECT_LT(p.color(QPalette::Window).lightness(), 60);
  EXPECT_GT(p.color(QPalette::WindowText).lightness(), 200);
  EXPECT_TRUE(QVUIStyle::menuStyleSheet().contains(QStringLiteral("#1db565")));
}

}  // namespace
