#include "Ombrel/Classes/Application/Style/QVUIStyle.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <QApplication>
#include <QStyleFactory>

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

QPalette QVUIStyle::applicationPalette() {
  QPalette p;
  const QColor window = rgb(38, 39, 43), base = rgb(29, 30, 32), text = rgb(236, 237, 240), muted = rgb(118, 122, 132);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, muted);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, rgb(52, 53, 58));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Highlight, themeColor());
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, themeColor());
  p.setColor(QPalette::Light, rgb(70, 72, 78));
  p.setColor(QPalette::Mid, rgb(46, 47, 52));
  p.setColor(QPalette::Dark, rgb(20, 21, 24));
  p.setColor(QPalette::Shadow, Qt::black);
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, muted);
  }
  return p;
}

QString QVUIStyle::menuStyleSheet() {
  return QStringLiteral(
      "QMenu { background: #26272b; color: #ecedf0; border: 1px solid rgba(255, 255, 255, 30); padding: 5px 0; }"
      "QMenu::item { padding: 5px 26px 5px 22px; margin: 0 5px; border-radius: 4px; }"
      "QMenu::item:selected { background: #1db565; color: #ffffff; }"
      "QMenu::item:disabled { color: #6b6e76; background: transparent; }"
      "QMenu::separator { height: 1px; background: rgba(255, 255, 255, 24); margin: 5px 12px; }"
      "QMenu::indicator { width: 12px; height: 12px; left: 6px; }");
}

QString QVUIStyle::dialogStyleSheet() {
  // Alerts and file dialogs in the application's own look: rounded flat buttons, the default one in
  // the theme colour, no stock icons on the buttons, the alert's message in a heavier weight.
  return QStringLiteral(
      "QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }"
      "QMessageBox QPushButton, QDialogButtonBox QPushButton { background: #3b3c42; color: #ecedf0; border: none;"
      " border-radius: 6px; padding: 6px 18px; min-width: 64px; }"
      "QMessageBox QPushButton:hover, QDialogButtonBox QPushButton:hover { background: #46474e; }"
      "QMessageBox QPushButton:default, QDialogButtonBox QPushButton:default { background: #1db565; color: #ffffff; }"
      "QMessageBox QPushButton:default:hover, QDialogButtonBox QPushButton:default:hover { background: #22c470; }"
      "QMessageBox QPushButton:disabled, QDialogButtonBox QPushButton:disabled { background: #2e2f34;"
      " color: #6b6e76; }"
      "QMessageBox QLabel#qt_msgbox_label { font-weight: 600; }");
}

void QVUIStyle::applyToApplication(QApplication& application) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);
  application.setPalette(applicationPalette());
  application.setStyleSheet(menuStyleSheet() + dialogStyleSheet());
}

void QVUIStyle::paintBackdrop(QPainter& painter, const QRectF& rect, const QColor& top, const QColor& bottom,
                              QPointF glowCentre, double glowRadius, int glowAlpha) {
  QLinearGradient background(rect.topLeft(), rect.bottomLeft());
  background.setColorAt(0, top);
  background.setColorAt(1, bottom);
  painter.fillRect(rect, background);
  QColor glow = themeColor();
  glow.setAlpha(glowAlpha);
  QRadialGradient halo(glowCentre, glowRadius);
  halo.setColorAt(0, glow);
  glow.setAlpha(0);
  halo.setColorAt(1, glow);
  painter.fillRect(rect, halo);
}
