#pragma once
// What an effect may know about the picture it works on, beyond the pixels it is handed: the original
// image, and whole-image analysis made once at a fixed size. Effects that adapt to the picture read
// their statistics from here, never from the region being rendered, so a preview, a region and the
// full-size export of one state look the same.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "rova/Image.h"

namespace rova {

class EffectParametersContext {
 public:
  // Long side of the analysis image, in pixels.
  static constexpr int kAnalysisLongSide = 1024;

  explicit EffectParametersContext(ImagePtr originalImage = nullptr);

  // The one context of a picture, shared by every effect made for it while any of them holds it:
  // the whole-image analysis is then made once per picture instead of once per effect.
  static std::shared_ptr<EffectParametersContext> forImage(const ImagePtr& originalImage);

  const ImagePtr& originalImage() const { return original_; }
  bool isRaw() const { return original_ && original_->exif().isRaw; }

  // The original, linear RGB, resized so its long side is at most kAnalysisLongSide, with its alpha
  // plane when it has transparent parts (statistics leave those out); made on first use and kept.
  // nullptr without an original.
  ImageDataRGBfPtr analysisImage() const;

  // Analysis kept under a key (for example an effect identifier plus what the analysis depends on):
  // made once by `make`, shared afterwards. Safe to call from render threads.
  template <class T>
  std::shared_ptr<const T> analysis(const std::string& key,
                                    const std::function<std::shared_ptr<const T>()>& make) const {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = cache_.find(key);
      if (it != cache_.end()) return std::static_pointer_cast<const T>(it->second);
    }
    std::shared_ptr<const T> made = make();
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, inserted] = cache_.emplace(key, made);
    return std::static_pointer_cast<const T>(it->second);
  }

 private:
  ImagePtr original_;
  mutable std::mutex mutex_;
  mutable ImageDataRGBfPtr analysisImage_;
  mutable std::map<std::string, std::shared_ptr<const void>> cache_;
};

using EffectParametersContextPtr = std::shared_ptr<EffectParametersContext>;

}  // namespace rova
