#include "Ombrel/Classes/Application/OpenScreen/QVBlurredMovableImageView.h"

#include <QPointer>
#include <cmath>

#include "Ombrel/Classes/Application/OpenScreen/QVOpenScreenServices.h"
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
