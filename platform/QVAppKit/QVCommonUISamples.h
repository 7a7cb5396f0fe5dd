#pragma once
// Factories of common controls, ready for layout by the caller.
//
// Main thread only.
#include <QColor>
#include <QFont>
#include <string>

#include "QVAppKit/QVAbstractButton.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVAppKit/QVTextField.h"

struct QVCommonUISamples {
  static QVRoundedSpringButton* roundedSpringButtonWithTitle(const std::string& title, const QFont& font,
                                                             const QColor& textColor, const QColor& bgColor,
                                                             QObject* target, QVTitledButton::Action action);
  // A plain read-only label: no background, no border, vertically centred text.
  static QVTextField* labelWithTitle(const std::string& title, const QFont& font, const QColor& textColor,
                                     Qt::Alignment alignment);
  static QVImageView* imageViewWithImage(NSImageRef image, int64_t contentMode);
  static QVAbstractButton* buttonWithTitle(const std::string& title, const QFont& font, const QColor& textColor,
                                           QObject* target, QVAbstractButton::Action action);
  // The pictogram sits on the left of the title in left-to-right layouts and on its right in
  // right-to-left ones.
  static QVAbstractButton* buttonWithTitle(const std::string& title, const QFont& font, const QColor& textColor,
                                           uint64_t alignment, NSImageRef icon, QObject* target,
                                           QVAbstractButton::Action action);
};
