#include "rova/effects/auto/GuidedFilter.h"

#include <opencv2/imgproc.hpp>

namespace rova::auto_support {

namespace {
// Mean over (2r + 1)^2 windows with the edges repeated, into out (its storage reused when it has
// the size already).
void boxMean(const cv::Mat& m, int r, cv::Mat& out) {
  cv::boxFilter(m, out, CV_32F, cv::Size(2 * r + 1, 2 * r + 1), cv::Point(-1, -1), true, cv::BORDER_REPLICATE);
}
cv::Mat boxMean(const cv::Mat& m, int r) {
  cv::Mat out;
  boxMean(m, r, out);
  return out;
}

// out = f(a, b) element by element over planes of one size, in one pass (no temporaries).
template <class F>
void combine(const cv::Mat& a, const cv::Mat& b, cv::Mat& out, F f) {
  out.create(a.rows, a.cols, CV_32F);
  for (int y = 0; y < a.rows; ++y) {
    const float *pa = a.ptr<float>(y), *pb = b.ptr<float>(y);
    float* po = out.ptr<float>(y);
#pragma omp simd
    for (int x = 0; x < a.cols; ++x) po[x] = f(pa[x], pb[x]);
  }
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

void guidedFilter(const cv::Mat& I, std::initializer_list<const cv::Mat*> inputs, cv::Mat* outputs, int r, float eps) {
  // Every plane below is made once and reused for each input: fresh memory costs as much as a pass.
  cv::Mat work, mI, mII, denominator, mP, mIP, a, b, mA, mB;
  combine(I, I, work, [](float i, float) { return i * i; });
  boxMean(I, r, mI), boxMean(work, r, mII);
  // The variance of the guide in each window, plus eps.
  combine(mII, mI, denominator, [eps](float ii, float i) { return ii - i * i + eps; });
  for (const cv::Mat* p : inputs) {
    const bool self = p == &I;
    if (!self) {
      combine(I, *p, work, [](float i, float v) { return i * v; });
      boxMean(work, r, mIP), boxMean(*p, r, mP);
    }
    const cv::Mat& sumP = self ? mI : mP;
    const cv::Mat& sumIP = self ? mII : mIP;
    // a = cov(I, p) / (var(I) + eps), b = mean(p) - a * mean(I).
    a.create(I.rows, I.cols, CV_32F), b.create(I.rows, I.cols, CV_32F);
    for (int y = 0; y < I.rows; ++y) {
      const float *ip = sumIP.ptr<float>(y), *i = mI.ptr<float>(y), *pp = sumP.ptr<float>(y),
                  *d = denominator.ptr<float>(y);
      float *pa = a.ptr<float>(y), *pb = b.ptr<float>(y);
#pragma omp simd
      for (int x = 0; x < I.cols; ++x) {
        pa[x] = (ip[x] - i[x] * pp[x]) / d[x];
        pb[x] = pp[x] - pa[x] * i[x];
      }
    }
    boxMean(a, r, mA), boxMean(b, r, mB);
    cv::Mat& out = *outputs++;
    out.create(I.rows, I.cols, CV_32F);
    for (int y = 0; y < I.rows; ++y) {
      const float *ma = mA.ptr<float>(y), *mb = mB.ptr<float>(y), *g = I.ptr<float>(y);
      float* o = out.ptr<float>(y);
#pragma omp simd
      for (int x = 0; x < I.cols; ++x) o[x] = ma[x] * g[x] + mb[x];
    }
  }
}

}  // namespace rova::auto_support
