#include "rova/effects/auto/GuidedFilter.h"

#include <opencv2/imgproc.hpp>

namespace rova::auto_support {

namespace {
// Mean over (2r + 1)^2 windows with the edges repeated.
cv::Mat boxMean(const cv::Mat& m, int r) {
  cv::Mat out;
  cv::boxFilter(m, out, CV_32F, cv::Size(2 * r + 1, 2 * r + 1), cv::Point(-1, -1), true, cv::BORDER_REPLICATE);
  return out;
}

}  // namespace

void guidedCoefficients(const cv::Mat& I, const cv::Mat& p, int r, float eps, cv::Mat& meanA, cv::Mat& meanB) {
  const cv::Mat mI = boxMean(I, r), mP = boxMean(p, r);
  const cv::Mat covIP = boxMean(I.mul(p), r) - mI.mul(mP), varI = boxMean(I.mul(I), r) - mI.mul(mI);
  const cv::Mat a = covIP / (varI + eps);
  const cv::Mat b = mP - a.mul(mI);
  meanA = boxMean(a, r);
  meanB = boxMean(b, r);
}

}  // namespace rova::auto_support
