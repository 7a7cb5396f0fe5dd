#pragma once
// How a screen observes the processing of one image: it owns a `QVImageProcessingObserver`, starts
// an observation for a path and image type, and receives that image's next
// "QVAppDidProcessImage" once, on the main thread. One observer watches one image key at a time: a
// new start replaces the previous observation, and a result for a replaced key is never delivered.
//
// Made with `make()` (held by a std::shared_ptr); deliveries queued on the main thread do nothing
// once the observer is gone. Start and stop on the main thread.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "QVPlatform/ImageIO/NSImage.h"
#include "QVPlatform/NotificationCenter.h"

class QVImageProcessingObserver : public std::enable_shared_from_this<QVImageProcessingObserver> {
 public:
  using Completion = std::function<void(const std::string& path, NSImageRef image, NSImageRef processedImage)>;

  static std::shared_ptr<QVImageProcessingObserver> make() { return std::make_shared<QVImageProcessingObserver>(); }
  ~QVImageProcessingObserver();

  void startImageProcessingObservationForPath(const std::optional<std::string>& path, int64_t imageType,
                                              Completion completion);
  void stopImageProcessingObservation();
  void onImageProcessingDidFinish(const qv::Notification& notification);

  std::optional<std::string> observableImageKey() const;
  bool observingImageProcessing() const;
  // Registers for (or removes from) "QVAppDidProcessImage"; the same value again does nothing.
  void setObservingImageProcessing(bool observing);
  Completion imageProcessingCompletion() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> observableImageKey_;
  Completion completion_;
  qv::ObserverToken token_;
};
