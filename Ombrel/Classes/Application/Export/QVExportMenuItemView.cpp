#include "Ombrel/Classes/Application/Export/QVExportMenuItemView.h"

#include <QGuiApplication>
#include <QString>

#include "QVAppKit/QVArtwork.h"
#include "QVAppKit/QVFonts.h"
#include "QVPlatform/Localization.h"

namespace {
bool rightToLeft() { return QGuiApplication::layoutDirection() == Qt::RightToLeft; }
}  // namespace

void QVExportMenuItemView::initialize() {
  imageView_ = QVMake<QVImageView>();
  imageView_->setContentMode(1);
  imageView_->setUserInteractionEnabled(false);
  titleLabel_ = QVMake<QVLabel>();
  titleLabel_->setBackgroundColor(QColor());
  titleLabel_->setTitleColor(Qt::black);
  titleLabel_->setFont(QVFonts::fontWithName("SFUIDisplay-Heavy", 15));
  titleLabel_->setAlignment(rightToLeft() ? QVTextAlignmentRight : QVTextAlignmentLeft);
  titleLabel_->setSpacing(1.0);
  titleLabel_->setImplicitAnimationsEnabled(false);
  titleLabel_->setUserInteractionEnabled(false);
  QVView::initialize();
}

void QVExportMenuItemView::addSubviews() {
  QVView::addSubviews();
  addSubview(imageView_);
  addSubview(titleLabel_);
}

void QVExportMenuItemView::layout() {
  QVView::layout();
  const CGSize size = bounds().size;
  const double iconY = std::round((size.height - kIconSize) / 2);
  const double titleWidth = std::max(0.0, size.width - titleTextOffset() - kIconOffset);
  if (rightToLeft()) {
    imageView_->setFrame(CGRectMake(size.width - kIconOffset - kIconSize, iconY, kIconSize, kIconSize));
    titleLabel_->setFrame(CGRectMake(kIconOffset, 0, titleWidth, size.height));
  } else {
    imageView_->setFrame(CGRectMake(kIconOffset, iconY, kIconSize, kIconSize));
    titleLabel_->setFrame(CGRectMake(titleTextOffset(), 0, titleWidth, size.height));
  }
}

void QVExportMenuItemView::setItem(QVExportMenuItemPtr item) {
  item_ = std::move(item);
  const std::string key = item_ ? QString::fromStdString(item_->title).toUpper().toStdString() : std::string();
  titleLabel_->setTitle(qv::QVSLocalization::localizedStringForKey(key));
  const QColor color = item_ && item_->color ? *item_->color : QColor(Qt::black);
  titleLabel_->setTitleColor(color);
  normalFontColor_ = color;
  normalBackgroundColor_ = backgroundColor();
  configHighlighted(false);
}

void QVExportMenuItemView::setHighlighted(bool highlighted) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  configHighlighted(highlighted);
}

void QVExportMenuItemView::configHighlighted(bool highlighted) {
  setBackgroundColor(highlighted ? highlightedBackgroundColor_ : normalBackgroundColor_);
  titleLabel_->setTitleColor(highlighted ? highlightedFontColor_ : normalFontColor_);
  const std::string name = item_ ? (highlighted ? item_->selectedImageName : item_->imageName) : std::string();
  imageView_->setImage(name.empty() ? nullptr : QVArtwork::imageNamed(name, CGSizeMake(kIconSize, kIconSize)));
}
