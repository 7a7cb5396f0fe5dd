// Noise reduction's banded filter against the whole-band filter it replaced (kept here as the
// reference: OpenCV box filters over bands of 128 rows, a full-frame plane of square roots).
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

#include "rova/Color.h"
#include "rova/effects/auto/GuidedDenoise.h"

using namespace rova;

namespace {

void boxMean(const cv::Mat& m, int r, cv::Mat& out) {
  cv::boxFilter(m, out, CV_32F, cv::Size(2 * r + 1, 2 * r + 1), cv::Point(-1, -1), true, cv::BORDER_REPLICATE);
}

// The guided filter of several inputs under one guide, as it was.
void referenceGuidedFilter(const cv::Mat& I, std::initializer_list<const cv::Mat*> inputs, cv::Mat* outputs, int r,
                           float eps) {
  cv::Mat work = I.mul(I), mI, mII, mP, mIP, mA, mB;
  boxMean(I, r, mI), boxMean(work, r, mII);
  cv::Mat denominator = mII - mI.mul(mI) + eps;
  for (const cv::Mat* p : inputs) {
    const bool self = p == &I;
    if (!self) boxMean(I.mul(*p), r, mIP), boxMean(*p, r, mP);
    const cv::Mat& sumP = self ? mI : mP;
    const cv::Mat& sumIP = self ? mII : mIP;
    cv::Mat a = (sumIP - mI.mul(sumP)) / denominator;
    cv::Mat b = sumP - a.mul(mI);
    boxMean(a, r, mA), boxMean(b, r, mB);
    *outputs++ = mA.mul(I) + mB;
  }
}

// The noise kernel's pass as it was, on one thread.
void referenceDenoise(ImageDataRGBf& buffer, float sigma, float amount) {
  const int w = buffer.width(), h = buffer.height(), context = 14;
  std::vector<float> roots(size_t(w) * h * 3);
  for (size_t i = 0; i < roots.size(); ++i) roots[i] = std::sqrt(std::max(0.f, buffer.floats()[i]));
  const float lumaEps = (2.0f * sigma) * (2.0f * sigma), chromaEps = (1.2f * sigma) * (1.2f * sigma);
  for (int y0 = 0; y0 < h; y0 += 128) {
    const int y1 = std::min(h, y0 + 128);
    const int a = std::max(0, y0 - context), b = std::min(h, y1 + context), n = b - a;
    cv::Mat P(n, w, CV_32F), D[3] = {cv::Mat(n, w, CV_32F), cv::Mat(n, w, CV_32F), cv::Mat(n, w, CV_32F)};
    for (int y = 0; y < n; ++y) {
      const float* q = roots.data() + size_t(y + a) * w * 3;
      for (int x = 0; x < w; ++x, q += 3) {
        P.ptr<float>(y)[x] = 0.2126f * q[0] + 0.7152f * q[1] + 0.0722f * q[2];
        for (int c = 0; c < 3; ++c) D[c].ptr<float>(y)[x] = q[c] - P.ptr<float>(y)[x];
      }
    }
    cv::Mat P2, D2[3];
    referenceGuidedFilter(P, {&P}, &P2, auto_support::kDenoiseLumaRadius, lumaEps);
    referenceGuidedFilter(P2, {&D[0], &D[1], &D[2]}, D2, auto_support::kDenoiseChromaRadius, chromaEps);
    for (int y = y0; y < y1; ++y) {
      float* px = buffer.floats() + size_t(y) * w * 3;
      for (int x = 0; x < w; ++x, px += 3) {
        const float p0 = P.ptr<float>(y - a)[x], p1 = P2.ptr<float>(y - a)[x];
        const float lum = p0 + 0.8f * amount * (p1 - p0);
        for (int c = 0; c < 3; ++c) {
          const float d0 = D[c].ptr<float>(y - a)[x], d1 = D2[c].ptr<float>(y - a)[x];
          const float v = std::max(0.f, lum + d0 + amount * (d1 - d0));
          px[c] = v * v;
        }
      }
    }
  }
}

// A grainy picture: gradients, a hard edge, dark and bright areas, values past white and below
// black, and gaussian grain of about sigma in square-root values.
ImageDataRGBfPtr grainyPicture(int w, int h, float sigma, unsigned seed) {
  auto data = ImageDataRGBf::create(w, h);
  std::mt19937 random(seed);
  std::normal_distribution<float> grain(0.f, sigma);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float* px = &data->row(y)[x].r;
      const float base = x < w / 3 ? 0.05f + 0.3f * float(y) / float(h) : 0.6f + 0.5f * std::sin(float(x) * 0.05f);
      for (int c = 0; c < 3; ++c) {
        const float root = std::sqrt(std::max(0.f, base * (0.7f + 0.2f * float(c)))) + grain(random);
        px[c] = root < 0 ? -root * root : root * root;
      }
    }
  return data;
}

}  // namespace

// The banded filter gives the same pixels as the filter it replaced, within float rounding: the box
// sums are now added in another order (each box mean from its (2r+1)^2 values in float, where OpenCV
// kept running sums in double), which moves a value by a few units in the last place. The bound is a
// millionth of the value plus a millionth absolute (the square-root values are about 1 and the 8-bit
// steps of the result are thousands of times larger); checked over pictures of one band, several
// bands with a short last one, several strips with a last one narrower than the context, and widths
// smaller than a box.
TEST(GuidedDenoise, SamePixelsAsTheWholeBandFilter) {
  struct Case {
    int w, h;
    float sigma, amount;
  };
  for (const Case c : {Case{517, 611, 0.02f, 1.f}, Case{300, 100, 0.01f, 0.6f}, Case{64, 385, 0.03f, 1.f},
                       Case{3, 200, 0.02f, 1.f}, Case{1, 1, 0.02f, 1.f}, Case{260, 193, 0.015f, 0.3f},
                       Case{1030, 150, 0.02f, 1.f}, Case{1600, 1500, 0.02f, 0.8f}}) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    auto picture = grainyPicture(c.w, c.h, c.sigma, unsigned(c.w * 7 + c.h));
    auto expected = picture->copy(), actual = picture->copy();
    referenceDenoise(*expected, c.sigma, c.amount);
    auto_support::guidedDenoise(*actual, c.sigma, c.amount, nullptr);
    double worst = 0, changed = 0;
    int codesDiffering = 0;
    const float *e = expected->floats(), *a = actual->floats(), *in = picture->floats();
    for (size_t i = 0; i < size_t(c.w) * c.h * 3; ++i) {
      worst = std::max(worst, std::fabs(double(e[i]) - a[i]) / (1e-6 + std::fabs(e[i])));
      changed = std::max(changed, std::fabs(double(e[i]) - in[i]));
      const auto code = [](float v) { return std::lround(255 * linearToSrgb(std::clamp(v, 0.f, 1.f))); };
      codesDiffering += code(e[i]) != code(a[i]);
    }
    EXPECT_LT(worst, 1e-5) << "largest relative difference";
    EXPECT_LE(codesDiffering, int(size_t(c.w) * c.h * 3 / 10000)) << "8-bit codes that differ";
    if (c.w * c.h > 1) {
      EXPECT_GT(changed, 1e-3) << "the filter did nothing";
    }
  }
}

// An interrupted filter stops without touching memory outside the picture and leaves finite values.
TEST(GuidedDenoise, InterruptedStopsEarly) {
  auto picture = grainyPicture(400, 900, 0.02f, 5);
  std::atomic<bool> interrupted{true};
  auto copy = picture->copy();
  auto_support::guidedDenoise(*copy, 0.02f, 1.f, &interrupted);
  for (size_t i = 0; i < copy->pixelCount() * 3; ++i) ASSERT_EQ(copy->floats()[i], picture->floats()[i]);
}
