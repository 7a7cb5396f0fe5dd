#include "Ombrel/Classes/Application/Feedback/QVAttachedImageView.h"

#include <QMouseEvent>
#include <cmath>
#include <functional>

#include "QVAppKit/QVArtwork.h"

namespace {

// The remove button: the cross drawing, clicked when released inside.
class QVRemoveAttachmentButton : public QVImageView {
 public:
  using QVImageView::QVImageView;
  std::function<void()> onClick;

  void initialize() override {
    QVImageView::initialize();
    setContentMode(QVImageContentModeAspectFit);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick) onClick();
  }
};

}  // namespace

void QVAttachedImageView::addSubviews() {
  QVView::addSubviews();
  attachmentIcon_ = QVMake<QVImageView>();
  attachmentIcon_->setContentMode(QVImageContentModeAspectFit);
  attachmentIcon_->setImage(QVArtwork::imageNamed("attach_image", QVArtwork::naturalSize("attach_image")));
  attachmentIcon_->setUserInteractionEnabled(false);
  addSubview(attachmentIcon_);

  filenameLabel_ = QVMake<QVLabel>();
  filenameLabel_->setAlignment(QVTextAlignmentCenter);
  filenameLabel_->setFontName("SF Pro Display");
  filenameLabel_->setFontSize(15);
  filenameLabel_->setTitleColor(Qt::white);
  filenameLabel_->setSizeOffset(CGPointMake(7, 7));
  addSubview(filenameLabel_);

  auto* button = QVMake<QVRemoveAttachmentButton>();
  button->setImage(QVArtwork::imageNamed("close_white", QVArtwork::naturalSize("close_white")));
  button->onClick = [this] { removeClicked(); };
  removeButton_ = button;
  addSubview(removeButton_);
}

void QVAttachedImageView::setupLayoutConstraints() {
  QVView::setupLayoutConstraints();
  // Icon, name and button side by side; the name takes what the other two leave, the button is
  // centred vertically.
  addConstraint([this] {
    const CGRect b = bounds();
    attachmentIcon_->setFrame(CGRectMake(0, 0, kIconWidth, b.size.height));
    const double titleWidth = std::max(0.0, b.size.width - kIconWidth - kButtonSide);
    filenameLabel_->setFrame(CGRectMake(kIconWidth, 0, titleWidth, b.size.height));
    removeButton_->setFrame(
        CGRectMake(kIconWidth + titleWidth, std::round((b.size.height - kButtonSide) / 2), kButtonSide, kButtonSide));
  });
}

void QVAttachedImageView::setAttachmentFilename(const std::string& name) {
  if (name == attachmentFilename_) return;
  attachmentFilename_ = name;
  filenameLabel_->setTitle(name);
  setNeedsLayout();
}

double QVAttachedImageView::fittingWidth() const {
  return kIconWidth + filenameLabel_->sizeForCurrentString().width + kButtonSide;
}

void QVAttachedImageView::removeClicked() {
  if (delegate_) delegate_->attachedImageViewRemoveButtonClicked(this);
}
