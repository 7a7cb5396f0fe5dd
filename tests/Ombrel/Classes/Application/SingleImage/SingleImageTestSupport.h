#pragma once
// The application core as the single-image screens see it, answered by the test.
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "../Common/CompareTestSupport.h"
#include "Ombrel/Classes/Application/SingleImage/QVSingleImageFacade.h"

namespace single_image_test {

class FakeFacade : public QVSingleImageFacade {
 public:
  std::map<std::string, NSImageRef> processed, original, lensed;
  std::map<std::string, double> amounts;
  bool lens = false;
  std::vector<std::pair<double, std::string>> stored;
  std::vector<std::pair<std::string, ImageCompletion>> blurredRequests;
  std::vector<std::tuple<std::string, int64_t, int64_t>> processRequests;
  ProcessedCompletion observation;
  std::string observedPath;
  std::vector<std::string> cleaned;
  NSImageRef blurred = compare_test::flatImage(20, 14, 40, 40, 40);

  NSImageRef processedImageAtPath(const std::string& p, int64_t) override { return find(processed, p); }
  NSImageRef originalImageAtPath(const std::string& p, int64_t) override { return find(original, p); }
  NSImageRef lensedPreviewAtPath(const std::string& p) override { return find(lensed, p); }
  bool autoLensCorrectionEnabled() override { return lens; }
  double boostAmountForImagePath(const std::string& p) override { return amounts.count(p) ? amounts[p] : 1.0; }
  void updateAmount(double amount, const std::string& p) override { stored.emplace_back(amount, p); }
  void loadBlurredImageAtPath(const std::string& p, ImageCompletion c) override {
    blurredRequests.emplace_back(p, std::move(c));
  }
  void processImageAtPath(const std::string& p, int64_t t, int64_t priority) override {
    processRequests.emplace_back(p, t, priority);
  }
  void startImageProcessingObservation(const std::string& p, int64_t, ProcessedCompletion c) override {
    observedPath = p;
    observation = std::move(c);
  }
  void stopImageProcessingObservation() override { observation = nullptr; }
  void cleanAt(const std::string& p, const std::vector<uint64_t>&) override { cleaned.push_back(p); }
  std::map<std::string, CGSize> sizes;
  CGSize imageSizeForPath(const std::string& p) override { return sizes.count(p) ? sizes[p] : CGSizeMake(6000, 4000); }

  void answerBlurred() {
    auto requests = std::move(blurredRequests);
    for (auto& [p, c] : requests) c(p, blurred);
  }

 private:
  static NSImageRef find(const std::map<std::string, NSImageRef>& m, const std::string& p) {
    auto it = m.find(p);
    return it == m.end() ? nullptr : it->second;
  }
};

}  // namespace single_image_test
