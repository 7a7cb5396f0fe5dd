#include "QVAppKit/QVCommonUISamples.h"

#include <QGuiApplication>

#include "QVAppKit/QVFonts.h"

QVRoundedSpringButton* QVCommonUISamples::roundedSpringButtonWithTitle(const std::string& title, const QFont& font,
                                                                       const QColor& textColor, const QColor& bgColor,
                                                                       QObject* target, QVTitledButton::Action action) {
  auto* button = QVMake<QVRoundedSpringButton>();
  button->setTitle(title);
  button->setFontName(QVFonts::fontName(font));
  button->setFontSize(QVFonts::fontSize(font));
  button->setBackgroundColor(bgColor);
  button->setFontColor(textColor);
  button->setTarget(target);
  button->setAction(std::move(action));
  return button;
}

QVTextField* QVCommonUISamples::labelWithTitle(const std::string& title, const QFont& font, const QColor& textColor,
                                               Qt::Alignment alignment) {
  auto* label = new QVTextField();
  label->initialize();
  label->setBackgroundColor(QColor());
  label->setBorderWidth(0);
  label->setFrame(false);
  label->setReadOnly(true);
  label->setVerticallyCenteredText(true);
  label->setText(QString::fromStdString(title));
  label->setFont(font);
  label->setTextColor(textColor);
  label->setAlignment(alignment | Qt::AlignVCenter);
  return label;
}

QVImageView* QVCommonUISamples::imageViewWithImage(NSImageRef image, int64_t contentMode) {
  auto* view = QVMake<QVImageView>();
  view->setContentMode(contentMode);
  view->setImage(std::move(image));
  return view;
}

QVAbstractButton* QVCommonUISamples::buttonWithTitle(const std::string& title, const QFont& font,
                                                     const QColor& textColor, QObject* target,
                                                     QVAbstractButton::Action action) {
  return buttonWithTitle(title, font, textColor, 2, nullptr, target, std::move(action));
}

QVAbstractButton* QVCommonUISamples::buttonWithTitle(const std::string& title, const QFont& font,
                                                     const QColor& textColor, uint64_t alignment, NSImageRef icon,
                                                     QObject* target, QVAbstractButton::Action action) {
  auto* button = QVMake<QVAbstractButton>();
  button->setTitle(title);
  button->setPictogram(std::move(icon));
  const bool rightToLeft = QGuiApplication::layoutDirection() == Qt::RightToLeft;
  button->setPictogramPosition(rightToLeft ? QVPictogramPositionRight : QVPictogramPositionLeft);
  button->setAlignment(alignment);
  button->setFont(font);
  button->setFontColor(textColor);
  button->setTarget(target);
  button->setAction(std::move(action));
  return button;
}
