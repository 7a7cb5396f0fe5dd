#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewScreen.h"

#include <QPointer>

#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVAppKit/QVImageView.h"

namespace {

// The photo's thumbnail at once, then its enhanced preview (image type 1) in its place.
class QVPlainQuickPreviewScreen : public QVQuickPreviewScreen {
 public:
  QVPlainQuickPreviewScreen() {
    view_ = QVMake<QVImageView>(CGRectMake(0, 0, 10, 10));
    view_->setContentMode(1);
  }
  ~QVPlainQuickPreviewScreen() override {
    if (view_ && !view_->parentWidget()) delete view_.data();
  }
  QWidget* view() override { return view_; }
  void showProcessedImageWithPath(const std::string& path) override {
    auto services = QVGalleryServices::shared();
    QPointer<QVImageView> weak = view_;
    auto shown = std::make_shared<bool>(false);
    services->loadImageAtPath(path, 0, [weak, shown](const std::string&, NSImageRef image) {
      QVDispatchOnMainThread([weak, shown, image] {
        if (weak && !*shown && image) weak->setImage(image);
      });
    });
    services->processImageAtPath(path, 1, 2, [weak, shown](const std::string&, NSImageRef, NSImageRef processed) {
      QVDispatchOnMainThread([weak, shown, processed] {
        if (!weak || !processed) return;
        *shown = true;
        weak->setImage(processed);
      });
    });
  }

 private:
  QPointer<QVImageView> view_;
};

QVQuickPreviewScreen::Factory& sharedFactory() {
  static QVQuickPreviewScreen::Factory factory;
  return factory;
}

}  // namespace

std::unique_ptr<QVQuickPreviewScreen> QVQuickPreviewScreen::make() {
  if (sharedFactory()) return sharedFactory()();
  return std::make_unique<QVPlainQuickPreviewScreen>();
}

void QVQuickPreviewScreen::setFactory(Factory factory) { sharedFactory() = std::move(factory); }
