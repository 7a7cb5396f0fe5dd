#pragma once
// The image view of the whole application: shows a platform image filling its bounds, scaled
// keeping the aspect (fill: covers the bounds, cropped; fit: all of it inside the bounds), with an
// optional layer transform about the image's centre (zooming). Changes never animate.
//
// The bitmap is read in place where its layout allows (QVImageBridge) and scaled once per size
// and device pixel ratio into a cached picture, so repaints during animations only blit it.
#include <QImage>
#include <QPixmap>

#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/ImageIO/NSImage.h"

enum QVImageContentMode : int64_t { QVImageContentModeAspectFill = 0, QVImageContentModeAspectFit = 1 };

class QVImageView : public QVView {
 public:
  using QVView::QVView;
  void initialize() override;
  void layout() override;

  NSImageRef image() const { return image_; }
  void setImage(NSImageRef image);
  // Puts the image into the view's picture without animation and lays out again.
  void updateContents(const NSImageRef& image);
  int64_t contentMode() const { return contentMode_; }
  // 0 aspect fill, 1 aspect fit; other values are stored and change nothing.
  void setContentMode(int64_t mode);
  CATransform3D transform() const { return transform_; }
  void setTransform(const CATransform3D& transform);
  // Scales the picture by s about the view's centre (z scale 0) and centres the anchor point.
  void scaleCentered(double s);

  // Where the image lies, in the view's bottom-left space, before the transform.
  CGRect imageRect() const;
  // The picture being shown (the bitmap as Qt reads it).
  const QImage& shownImage() const { return shown_; }
  // How often the picture's contents were replaced.
  int contentUpdates() const { return contentUpdates_; }
  // The image, for debugging tools.
  NSImageRef debugQuickLookObject() const { return image_; }

 protected:
  void drawContent(QPainter& painter) override;

 private:
  NSImageRef image_;
  int64_t contentMode_ = QVImageContentModeAspectFill;
  // What the picture is drawn with (fill or fit); unknown modes leave it as it was.
  int64_t gravity_ = QVImageContentModeAspectFill;
  CATransform3D transform_ = CATransform3DIdentity;
  QImage shown_;
  QPixmap scaled_;
  QSize scaledFor_;
  int contentUpdates_ = 0;
};

// A small image view for icons and decorative pictures in controls: the image scaled down to fit
// and centred; it can let clicks through and leave its intrinsic size out of layout.
class QVImageViewInteractable : public QVBasicView {
 public:
  using QVBasicView::QVBasicView;
  void initialize() override;

  NSImageRef image() const { return image_; }
  void setImage(NSImageRef image);
  bool interactable() const { return interactable_; }
  void setInteractable(bool interactable);
  bool useIntrinsicContentSize() const { return useIntrinsicContentSize_; }
  void setUseIntrinsicContentSize(bool use) { useIntrinsicContentSize_ = use; }
  // The image's size, or (0, 0) when switched off or without an image.
  CGSize intrinsicContentSize() const;
  bool mouseDownCanMoveWindow() const { return true; }
  QWidget* hitTest(CGPoint pointInSuperview) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  NSImageRef image_;
  QImage shown_;
  bool interactable_ = true;
  bool useIntrinsicContentSize_ = true;
};
