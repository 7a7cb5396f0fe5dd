#pragma once
// The picture reads of one layer that can be stopped: each read of a file gets its own cancel
// flag, which the engine's reader polls; cancelling sets the flags of the reads running now and
// refuses new reads until the cancellation is cleared. Other layers' reads are not touched.
//
// Owns: the switch and the running reads' flags.
//
// Threads: reads run on any thread (the processing queue, normally) while any thread, the main
// thread normally, cancels them. The flag list is guarded by this object's own mutex, a leaf lock
// held only to add, remove or set flags, never across a read; the switch is an atomic.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rova/Image.h"

class QVIPLayerImageReads {
 public:
  // While set, reads are cancelled (the running ones included); clearing it lets reads run again.
  void setCanceled(bool canceled);
  bool isCanceled() const { return canceled_.load(); }
  // A read of the file that `setCanceled` can stop; nullptr when it fails or was cancelled (the
  // engine's reason in *error). Full size unless a fit box is set: the picture is then decoded at
  // the smallest scale that still covers the box (JPEG DCT scaling, RAW half size), the image's
  // source telling the scale.
  rova::ImagePtr read(const std::string& path, bool fastRawPreview, std::string* error = nullptr);
  void setFitSize(rova::Size box) {
    std::lock_guard<std::mutex> lock(mutex_);
    fitSize_ = box;
  }

 private:
  std::atomic<bool> canceled_{false};
  std::mutex mutex_;  // guards running_ and fitSize_; a leaf lock
  rova::Size fitSize_;
  std::vector<std::shared_ptr<std::atomic<bool>>> running_;
};
