#include "Ombrel/Classes/Business/NSResponder+ImageProcessing.h"

#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"
#include "QVPlatform/Log.h"

QVImageProcessingObserver::~QVImageProcessingObserver() { token_.reset(); }

void QVImageProcessingObserver::startImageProcessingObservationForPath(const std::optional<std::string>& path,
                                                                       int64_t imageType, Completion completion) {
  if (observingImageProcessing()) stopImageProcessingObservation();
  auto key = QVSolvaneHelpers::imageKeyAtPath(path, uint64_t(imageType));
  {
    std::lock_guard guard(mutex_);
    observableImageKey_ = key;
  }
  QVLog(1, "Will observe key: %s", key ? key->c_str() : "(null)");
  setObservingImageProcessing(true);
  std::lock_guard guard(mutex_);
  completion_ = std::move(completion);
}

void QVImageProcessingObserver::stopImageProcessingObservation() {
  setObservingImageProcessing(false);
  std::lock_guard guard(mutex_);
  observableImageKey_.reset();
  completion_ = nullptr;
}

void QVImageProcessingObserver::onImageProcessingDidFinish(const qv::Notification& notification) {
  auto key = notification.objectAs<std::string>();
  if (!key) return;
  {
    std::lock_guard guard(mutex_);
    if (!observableImageKey_ || *observableImageKey_ != *key) return;
  }
  auto it = notification.userObjects.find(kQVAppProcessingResultKey);
  auto result =
      it == notification.userObjects.end() ? nullptr : std::static_pointer_cast<QVImageProcessingResult>(it->second);
  std::weak_ptr<QVImageProcessingObserver> weakSelf = weak_from_this();
  const std::string observedKey = *key;
  QVDispatchOnMainThread([weakSelf, observedKey, result] {
    auto self = weakSelf.lock();
    if (!self) return;
    Completion completion;
    {
      std::lock_guard guard(self->mutex_);
      // Delivered once, and only while this key is still the one observed.
      if (!self->observableImageKey_ || *self->observableImageKey_ != observedKey) return;
      completion = self->completion_;
    }
    if (completion && result) completion(result->path(), result->image(), result->processedImage());
    self->stopImageProcessingObservation();
  });
}

std::optional<std::string> QVImageProcessingObserver::observableImageKey() const {
  std::lock_guard guard(mutex_);
  return observableImageKey_;
}

bool QVImageProcessingObserver::observingImageProcessing() const {
  std::lock_guard guard(mutex_);
  return token_.isActive();
}

void QVImageProcessingObserver::setObservingImageProcessing(bool observing) {
  std::optional<std::string> key = observableImageKey();
  if (observing == observingImageProcessing()) return;
  if (observing) {
    std::weak_ptr<QVImageProcessingObserver> weakSelf = weak_from_this();
    auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVAppDidProcessImageNotification, nullptr,
                                                                     [weakSelf](const qv::Notification& notification) {
                                                                       if (auto self = weakSelf.lock())
                                                                         self->onImageProcessingDidFinish(notification);
                                                                     });
    std::lock_guard guard(mutex_);
    token_ = std::move(token);
    QVLog(1, "Signed for %s", key ? key->c_str() : "(null)");
  } else {
    qv::ObserverToken token;
    {
      std::lock_guard guard(mutex_);
      token = std::move(token_);
    }
    token.reset();
    QVLog(1, "UnSigned for %s", key ? key->c_str() : "(null)");
  }
}

QVImageProcessingObserver::Completion QVImageProcessingObserver::imageProcessingCompletion() const {
  std::lock_guard guard(mutex_);
  return completion_;
}
