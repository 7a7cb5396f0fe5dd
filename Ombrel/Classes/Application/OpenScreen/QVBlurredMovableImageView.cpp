#include "Ombrel/Classes/Application/OpenScreen/QVBlurredMovableImageView.h"

#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cmath>

#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"
#include "QVAppKit/QVGeometry.h"
#include "QVAppKit/QVImageBridge.h"
#include "QVPlatform/MainExecutor.h"

namespace {
CATransform3D scaledBy(double s, CGPoint offset) {
  CATransform3D t = CATransform3DMakeScale(s, s, 0);
  t.m41 = offset.x;
  t.m42 = offset.y;
  return t;
}
}  // namespace

void QVBlurredMovableImageView::initialize() {
  QVImageView::initialize();
  imageScale_ = 1.5;
  setContentMode(QVImageContentModeAspectFill);
}

bool QVBlurredMovableImageView::setImageURL(const std::optional<std::string>& url, std::function<void()> completion) {
  if (url && url == imageURL_) {
    setTransform(scaledBy(imageScale_, CGPointZero));
    if (completion) completion();
    return true;
  }
  auto services = QVOpenScreenServices::shared();
  if (url && services->validateImageAtPath(*url)) {
    imageURL_ = url;
    const uint64_t request = ++request_;
    QPointer<QVBlurredMovableImageView> self(this);
    services->loadBlurredImageAtPath(*url, [self, request, completion](NSImageRef image) {
      qv::dispatchOnMainThread([self, request, completion, image] {
        // Dropped when the screen is gone or another photo was asked for meanwhile.
        if (!self || request != self->request_) return;
        self->updateContents(image);
        if (completion) completion();
      });
    });
    return true;
  }
  ++request_;
  imageURL_.reset();
  updateContents(nullptr);
  return false;
}

CGPoint QVBlurredMovableImageView::parallaxOffsetForPoint(CGPoint p) const {
  const CGSize size = bounds().size;
  const double k = (imageScale_ - 1) / 1.5;
  return CGPointMake(std::round((p.x - size.width / 2) * k), std::round((p.y - size.height / 2) * k));
}

void QVBlurredMovableImageView::moveContents(CGPoint point) {
  setTransform(scaledBy(imageScale_, parallaxOffsetForPoint(point)));
}

void QVBlurredMovableImageView::updateContents(const NSImageRef& image) {
  setImage(image);
  setTransform(scaledBy(imageScale_, CGPointZero));
}

void QVBlurredMovableImageView::drawContent(QPainter& painter) {
  const NSImageRef& shown = image();
  if (!shown) return;
  // The picture as the transform shows it: aspect fill, enlarged by imageScale about the centre.
  const CGRect fill = QVAspectRect(shown->size(), bounds(), true);
  const CGSize size = CGSizeMake(fill.size.width * imageScale_, fill.size.height * imageScale_);
  const qreal dpr = painter.device()->devicePixelRatioF();
  const QSize device(std::max(1, int(std::ceil(size.width * dpr))), std::max(1, int(std::ceil(size.height * dpr))));
  if (enlarged_.isNull() || enlargedFor_ != device || enlargedFrom_ != shown.get() || enlargedScale_ != imageScale_) {
    QImage source = QVImageBridge::imageFromNSImage(shown, shown->isLazy() ? device : QSize());
    if (source.isNull()) return;
    enlarged_ = QPixmap::fromImage(
        source.size() == device ? source : source.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    enlarged_.setDevicePixelRatio(dpr);
    enlargedFor_ = device;
    enlargedFrom_ = shown.get();
    enlargedScale_ = imageScale_;
  }
  // The parallax: the transform's translation (y up), applied as a plain offset.
  const CATransform3D t = transform();
  const CGPoint centre = NSCenterPointForRect(bounds());
  const CGRect placed =
      CGRectMake(centre.x - size.width / 2 + t.m41, centre.y - size.height / 2 + t.m42, size.width, size.height);
  painter.drawPixmap(qtRectFromRect(placed).topLeft(), enlarged_);
}
