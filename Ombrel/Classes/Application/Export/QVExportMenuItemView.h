#pragma once
// One row of the export menu's list: the target's 22 x 22 icon 15 points from the leading edge and
// its title 10 points after it, in the target's colour (black when it has none) on the menu's white.
// Highlighted (the pointer over it) the row turns black with a white title and the icon's selected
// artwork.
//
// Main thread only.
#include <QColor>

#include "Ombrel/Classes/Application/Export/QVExportMenuItem.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"

class QVExportMenuItemView : public QVView {
 public:
  static constexpr double kIconSize = 22;
  static constexpr double kIconOffset = 15;
  static constexpr double kTitleGap = 10;
  // Where row titles begin: 15 + 22 + 10.
  static constexpr double titleTextOffset() { return kIconOffset + kIconSize + kTitleGap; }

  using QVView::QVView;
  void initialize() override;
  void addSubviews() override;
  void layout() override;

  const QVExportMenuItemPtr& item() const { return item_; }
  void setItem(QVExportMenuItemPtr item);
  bool highlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);

  QVImageView* imageView() const { return imageView_; }
  QVLabel* titleLabel() const { return titleLabel_; }
  QColor normalBackgroundColor() const { return normalBackgroundColor_; }
  QColor normalFontColor() const { return normalFontColor_; }
  QColor highlightedBackgroundColor() const { return highlightedBackgroundColor_; }
  QColor highlightedFontColor() const { return highlightedFontColor_; }

 private:
  void configHighlighted(bool highlighted);

  QVExportMenuItemPtr item_;
  bool highlighted_ = false;
  QVImageView* imageView_ = nullptr;
  QVLabel* titleLabel_ = nullptr;
  QColor normalBackgroundColor_;
  QColor normalFontColor_ = Qt::black;
  QColor highlightedBackgroundColor_ = Qt::black;
  QColor highlightedFontColor_ = Qt::white;
};
