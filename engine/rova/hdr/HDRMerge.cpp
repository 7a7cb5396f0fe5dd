#include "rova/hdr/HDRMerge.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>

#include <opencv2/core.hpp>
#include "rova/reader/ImageReader.h"

namespace rova {

namespace {

// Runs body(i) for every i below count, spread over the cores.
void applyIndexed(size_t count, const std::function<void(size_t)>& body) {
  cv::parallel_for_(cv::Range(0, int(count)), [&](const cv::Range& r) {
    for (int i = r.start; i < r.end; ++i) body(size_t(i));
  });
}

}  // namespace
namespace {

using Pixel = PixelRGB<float>;

constexpr float kClipped = 0.98f;     // a channel at or above this (linear) is taken as clipped
constexpr float kUsableLow = 0.002f;  // below this (linear, about 4/255 encoded) a value is mostly noise

inline float lum(const Pixel& p) { return 0.2126f * p.r + 0.7152f * p.g + 0.0722f * p.b; }
inline float maxChannel(const Pixel& p) { return std::max(p.r, std::max(p.g, p.b)); }

// Weight of one linear value for the merge: zero when clipped, highest in the middle of the
// encoded range, small (not zero) in the deep shadows.
inline float hatWeight(float v) {
  if (!(v < kClipped)) return 0.0f;
  const float u = std::pow(std::max(v, 0.0f), 1.0f / 2.2f);
  const float t = 2.0f * u - 1.0f;
  const float t2 = t * t, t4 = t2 * t2;
  return std::max(1.0f - t4 * t4 * t4, 1e-4f);
}

ImageDataRGBfPtr copyOf(const ImageDataRGBf& src) {
  auto out = ImageDataRGBf::createUninitialized(src.width(), src.height(), src.colorProfileType());
  if (out) std::copy(src.data(), src.data() + src.pixelCount(), out->data());
  return out;
}

// ---- Exposure estimation ----

// The exposure of `img` relative to `ref` from the pixels both show well: the median ratio of
// their luminances.
float estimateRelativeExposure(const ImageDataRGBf& img, const ImageDataRGBf& ref) {
  std::vector<float> ratios;
  const size_t n = img.pixelCount();
  const size_t step = std::max<size_t>(1, n / 200000);
  ratios.reserve(n / step + 1);
  for (size_t i = 0; i < n; i += step) {
    const Pixel& a = img.data()[i];
    const Pixel& b = ref.data()[i];
    if (maxChannel(a) >= kClipped || maxChannel(b) >= kClipped) continue;
    const float la = lum(a), lb = lum(b);
    if (la < 0.01f || lb < 0.01f) continue;
    ratios.push_back(la / lb);
  }
  if (ratios.size() < 16) {
    double sa = 0, sb = 0;
    for (size_t i = 0; i < n; i += step) {
      sa += lum(img.data()[i]);
      sb += lum(ref.data()[i]);
    }
    return sb > 0 && sa > 0 ? float(sa / sb) : 1.0f;
  }
  auto mid = ratios.begin() + ratios.size() / 2;
  std::nth_element(ratios.begin(), mid, ratios.end());
  return *mid;
}

// ---- Alignment: median threshold bitmaps ----

struct Grey {
  int w = 0, h = 0;
  std::vector<float> v;
};

Grey encodedLuminance(const ImageDataRGBf& img) {
  Grey g{img.width(), img.height(), std::vector<float>(img.pixelCount())};
  applyIndexed(size_t(img.height()), [&](size_t y) {
    const size_t start = y * size_t(img.width());
    for (size_t i = start; i < start + size_t(img.width()); ++i)
      g.v[i] = std::pow(std::clamp(lum(img.data()[i]), 0.0f, 1.0f), 1 / 2.2f);
  });
  return g;
}

Grey halve(const Grey& g) {
  Grey o{std::max(1, g.w / 2), std::max(1, g.h / 2), {}};
  o.v.resize(size_t(o.w) * o.h);
  for (int y = 0; y < o.h; ++y)
    for (int x = 0; x < o.w; ++x) {
      const int x0 = std::min(2 * x, g.w - 1), x1 = std::min(2 * x + 1, g.w - 1);
      const int y0 = std::min(2 * y, g.h - 1), y1 = std::min(2 * y + 1, g.h - 1);
      o.v[size_t(y) * o.w + x] = 0.25f * (g.v[size_t(y0) * g.w + x0] + g.v[size_t(y0) * g.w + x1] +
                                          g.v[size_t(y1) * g.w + x0] + g.v[size_t(y1) * g.w + x1]);
    }
  return o;
}

struct Bitmaps {
  std::vector<uint8_t> threshold, exclusion;
};

Bitmaps bitmaps(const Grey& g) {
  // The median from a fine histogram of the encoded values (0..1).
  constexpr int kBins = 4096;
  std::vector<size_t> histogram(kBins, 0);
  for (float v : g.v) ++histogram[size_t(std::clamp(int(v * (kBins - 1) + 0.5f), 0, kBins - 1))];
  size_t seen = 0;
  int bin = 0;
  while (bin < kBins - 1 && (seen += histogram[size_t(bin)]) <= g.v.size() / 2) ++bin;
  const float median = float(bin) / float(kBins - 1);
  Bitmaps b{std::vector<uint8_t>(g.v.size()), std::vector<uint8_t>(g.v.size())};
  for (size_t i = 0; i < g.v.size(); ++i) {
    b.threshold[i] = g.v[i] > median;
    b.exclusion[i] = std::fabs(g.v[i] - median) > 4.0f / 255.0f;
  }
  return b;
}

// Differences between the reference bitmaps and the image's bitmaps moved by (dx, dy).
size_t bitmapDifference(const Bitmaps& ref, const Bitmaps& img, int w, int h, int dx, int dy) {
  const int y0 = std::max(0, dy), y1 = std::min(h, h + dy);
  if (y1 <= y0) return 0;
  constexpr int kBandRows = 64;
  const size_t bands = size_t((y1 - y0 + kBandRows - 1) / kBandRows);
  std::vector<size_t> counts(bands, 0);
  applyIndexed(bands, [&](size_t band) {
    size_t count = 0;
    const int from = y0 + int(band) * kBandRows, to = std::min(y1, from + kBandRows);
    for (int y = from; y < to; ++y)
      for (int x = std::max(0, dx); x < std::min(w, w + dx); ++x) {
        const size_t i = size_t(y) * w + x, j = size_t(y - dy) * w + (x - dx);
        count += (ref.threshold[i] ^ img.threshold[j]) & ref.exclusion[i] & img.exclusion[j];
      }
    counts[band] = count;
  });
  return std::accumulate(counts.begin(), counts.end(), size_t(0));
}

// The reference of the alignment: its grey pyramid's bitmaps, made once for all exposures.
struct MtbPyramid {
  std::vector<Grey> levels;
  std::vector<Bitmaps> bits;
};

MtbPyramid mtbPyramid(const Grey& g, int levels) {
  MtbPyramid p{{g}, {}};
  for (int l = 0; l < levels; ++l) p.levels.push_back(halve(p.levels.back()));
  for (const Grey& level : p.levels) p.bits.push_back(bitmaps(level));
  return p;
}

int mtbLevels(const Grey& g) {
  int levels = 0;
  while (levels < 6 && (std::min(g.w, g.h) >> (levels + 1)) >= 16) ++levels;
  return levels;
}

// The whole-pixel shift that moves `img` onto `ref` (searched over a pyramid, up to 2^levels).
std::pair<int, int> mtbShift(const MtbPyramid& ref, const MtbPyramid& img) {
  int sx = 0, sy = 0;
  for (int l = int(ref.levels.size()) - 1; l >= 0; --l) {
    sx *= 2;
    sy *= 2;
    const Grey& r = ref.levels[size_t(l)];
    size_t best = std::numeric_limits<size_t>::max();
    int bx = sx, by = sy;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const size_t d = bitmapDifference(ref.bits[size_t(l)], img.bits[size_t(l)], r.w, r.h, sx + dx, sy + dy);
        if (d < best) best = d, bx = sx + dx, by = sy + dy;
      }
    sx = bx;
    sy = by;
  }
  return {sx, sy};
}

// The image moved by (dx, dy), edges repeated.
ImageDataRGBfPtr shifted(const ImageDataRGBf& src, int dx, int dy) {
  auto out = ImageDataRGBf::createUninitialized(src.width(), src.height(), src.colorProfileType());
  if (!out) return nullptr;
  applyIndexed(size_t(src.height()), [&](size_t row) {
    const int y = int(row), sy = std::clamp(y - dy, 0, src.height() - 1);
    for (int x = 0; x < src.width(); ++x) out->at(x, y) = src.at(std::clamp(x - dx, 0, src.width() - 1), sy);
  });
  return out;
}

// ---- After the merge ----

// Box blur of w x h values with `c` interleaved channels, radius r, edges repeated: rows in
// parallel, then strips of columns in parallel with running sums down the rows.
void boxBlur(std::vector<float>& v, int w, int h, int c, int r) {
  std::vector<float> tmp(v.size());
  const float norm = 1.0f / float(2 * r + 1);
  const size_t stride = size_t(w) * c;
  applyIndexed(size_t(h), [&](size_t y) {
    const float* in = &v[y * stride];
    float* out = &tmp[y * stride];
    for (int k = 0; k < c; ++k) {
      float s = 0;
      for (int i = -r; i <= r; ++i) s += in[size_t(std::clamp(i, 0, w - 1)) * c + k];
      for (int x = 0; x < w; ++x) {
        out[size_t(x) * c + k] = s * norm;
        s += in[size_t(std::min(x + r + 1, w - 1)) * c + k] - in[size_t(std::max(x - r, 0)) * c + k];
      }
    }
  });
  constexpr size_t kStrip = 1024;
  applyIndexed((stride + kStrip - 1) / kStrip, [&](size_t strip) {
    const size_t a = strip * kStrip, b = std::min(stride, a + kStrip);
    std::vector<float> sum(b - a, 0.0f);
    for (int i = -r; i <= r; ++i) {
      const float* row = &tmp[size_t(std::clamp(i, 0, h - 1)) * stride];
      for (size_t k = a; k < b; ++k) sum[k - a] += row[k];
    }
    for (int y = 0; y < h; ++y) {
      float* out = &v[size_t(y) * stride];
      const float* add = &tmp[size_t(std::min(y + r + 1, h - 1)) * stride];
      const float* sub = &tmp[size_t(std::max(y - r, 0)) * stride];
      for (size_t k = a; k < b; ++k) {
        out[k] = sum[k - a] * norm;
        sum[k - a] += add[k] - sub[k];
      }
    }
  });
}

// Colour noise: every pixel keeps its luminance and takes the luminance-weighted colour of its
// neighbourhood.
void reduceColorNoise(ImageDataRGBf& img) {
  const int w = img.width(), h = img.height();
  std::vector<float> rgbl(img.pixelCount() * 4);
  for (size_t i = 0; i < img.pixelCount(); ++i) {
    const Pixel& p = img.data()[i];
    rgbl[4 * i] = std::max(p.r, 0.0f);
    rgbl[4 * i + 1] = std::max(p.g, 0.0f);
    rgbl[4 * i + 2] = std::max(p.b, 0.0f);
    rgbl[4 * i + 3] = std::max(lum(p), 0.0f);
  }
  boxBlur(rgbl, w, h, 4, 2);
  for (size_t i = 0; i < img.pixelCount(); ++i) {
    Pixel& p = img.data()[i];
    const float y = lum(p), ly = rgbl[4 * i + 3];
    if (y <= 0 || ly <= 1e-8f) continue;
    const float k = y / ly;
    p = {rgbl[4 * i] * k, rgbl[4 * i + 1] * k, rgbl[4 * i + 2] * k};
  }
}

// Lateral chromatic aberration: red and blue are scaled about the centre by the factor (searched
// on a reduced copy) that best lines their edges up with green's.
void reduceChromaticAberration(ImageDataRGBf& img) {
  const int w = img.width(), h = img.height();
  if (w < 32 || h < 32) return;
  const int step = std::max(1, std::max(w, h) / 512);
  const float cx = 0.5f * (w - 1), cy = 0.5f * (h - 1);
  auto sample = [&](int channel, float x, float y) {
    const int x0 = std::clamp(int(std::floor(x)), 0, w - 1), y0 = std::clamp(int(std::floor(y)), 0, h - 1);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const float fx = std::clamp(x - x0, 0.0f, 1.0f), fy = std::clamp(y - y0, 0.0f, 1.0f);
    auto c = [&](int xx, int yy) {
      const Pixel& p = img.at(xx, yy);
      return channel == 0 ? p.r : channel == 1 ? p.g : p.b;
    };
    return (c(x0, y0) * (1 - fx) + c(x1, y0) * fx) * (1 - fy) + (c(x0, y1) * (1 - fx) + c(x1, y1) * fx) * fy;
  };
  auto cost = [&](int channel, float scale) {
    double s = 0;
    for (int y = 1; y < h - 1; y += step)
      for (int x = 1; x < w - 1; x += step) {
        const float g = img.at(x, y).g;
        const float sxp = cx + (x - cx) * scale, syp = cy + (y - cy) * scale;
        s += std::fabs(sample(channel, sxp, syp) - g);
      }
    return s;
  };
  float best[3] = {1, 1, 1};
  for (int channel : {0, 2}) {
    double bestCost = cost(channel, 1.0f);
    for (int k = -6; k <= 6; ++k) {
      if (k == 0) continue;
      const float scale = 1.0f + 0.0005f * k;
      const double c = cost(channel, scale);
      if (c < bestCost) bestCost = c, best[channel] = scale;
    }
  }
  if (best[0] == 1 && best[2] == 1) return;
  auto src = copyOf(img);
  if (!src) return;
  ImageDataRGBf& s = *src;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Pixel& p = img.at(x, y);
      auto at = [&](int channel) {
        const float fx = cx + (x - cx) * best[channel], fy = cy + (y - cy) * best[channel];
        const int x0 = std::clamp(int(std::floor(fx)), 0, w - 1), y0 = std::clamp(int(std::floor(fy)), 0, h - 1);
        const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
        const float ax = std::clamp(fx - x0, 0.0f, 1.0f), ay = std::clamp(fy - y0, 0.0f, 1.0f);
        auto c = [&](int xx, int yy) { return channel == 0 ? s.at(xx, yy).r : s.at(xx, yy).b; };
        return (c(x0, y0) * (1 - ax) + c(x1, y0) * ax) * (1 - ay) + (c(x0, y1) * (1 - ax) + c(x1, y1) * ax) * ay;
      };
      if (best[0] != 1) p.r = at(0);
      if (best[2] != 1) p.b = at(2);
    }
}

// Single-picture tone mapping: values above 0.8 roll off smoothly towards 1 (slope 1 at 0.8), so
// the headroom of a RAW file shows instead of clipping; everything below stays.
void toneMapShoulder(ImageDataRGBf& img) {
  constexpr float k = 0.8f;
  for (size_t i = 0; i < img.pixelCount(); ++i) {
    Pixel& p = img.data()[i];
    const float m = maxChannel(p);
    if (m <= k) continue;
    const float mapped = k + (1 - k) * (1 - std::exp(-(m - k) / (1 - k)));
    const float f = mapped / m;
    p = {p.r * f, p.g * f, p.b * f};
  }
}

void report(const std::function<void(HDRMergingPhaseName)>& progress, HDRMergingPhaseName phase) {
  if (progress) progress(phase);
}

}  // namespace

float exposureStopsOfFile(const std::string& path) {
  auto metadata = ImageReader::instance().readMetadata(path);
  if (!metadata) return std::numeric_limits<float>::quiet_NaN();
  const OrvantaExifData& e = metadata->exif;
  if (e.shutterSpeed > 0 && e.fNumber > 0) {
    const float iso = e.isoSpeed > 0 ? e.isoSpeed : 100.0f;
    return std::log2(e.shutterSpeed * iso / 100.0f / (e.fNumber * e.fNumber));
  }
  bool hasBias = false;
  for (const auto& entry : metadata->entries)
    if (entry.key == "Exif.Photo.ExposureBiasValue") hasBias = true;
  return hasBias ? e.ev : std::numeric_limits<float>::quiet_NaN();
}

void getSortedPathsAndEVsFromPaths(const std::vector<const char*>& paths, std::vector<std::string>& sortedPaths,
                                   std::vector<float>& evs) {
  struct Entry {
    std::string path;
    float ev;
  };
  std::vector<Entry> entries;
  for (const char* p : paths) {
    if (!p) continue;
    float ev = exposureStopsOfFile(p);
    if (std::isnan(ev)) {
      auto cancel = std::make_shared<std::atomic<bool>>(false);
      if (auto image = ImageReader::instance().read(p, {64, 64}, kReadDefaultFlags, cancel)) {
        if (auto data = image->imageData()) {
          double sum = 0;
          for (size_t i = 0; i < data->pixelCount(); ++i) sum += lum(data->data()[i]);
          const double mean = sum / double(std::max<size_t>(1, data->pixelCount()));
          if (mean > 0) ev = float(std::log2(mean));
        }
      }
    }
    entries.push_back({p, ev});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (std::isnan(a.ev)) return false;
    if (std::isnan(b.ev)) return true;
    return a.ev < b.ev;
  });
  sortedPaths.clear();
  evs.clear();
  for (auto& e : entries) {
    sortedPaths.push_back(std::move(e.path));
    evs.push_back(e.ev);
  }
}

HDRMergeResult mergeHDR(const std::vector<ImageDataRGBfPtr>& input, std::vector<float> exposures,
                        const HDRSettings& settings, const std::function<void(HDRMergingPhaseName)>& progress) {
  HDRMergeResult result;
  const size_t n = input.size();
  if (n == 0) return result;
  for (const auto& d : input)
    if (!d || d->width() != input[0]->width() || d->height() != input[0]->height()) return result;
  const size_t mid = n / 2;
  result.middleBracketData = input[mid];
  const int w = input[0]->width(), h = input[0]->height();

  if (n == 1) {
    auto out = copyOf(*input[0]);
    if (!out) return result;
    report(progress, HDRMergingPhaseName::kPostProcessing);
    if (settings.chromaticAberrationReduction) reduceChromaticAberration(*out);
    if (settings.colorDenoise) reduceColorNoise(*out);
    if (settings.singleImageToneMapping) toneMapShoulder(*out);
    result.exposures = {1.0f};
    result.shifts = {{0, 0}};
    result.image = Image::make(out);
    report(progress, HDRMergingPhaseName::kDone);
    return result;
  }

  // Alignment onto the middle exposure.
  std::vector<ImageDataRGBfPtr> images = input;
  result.shifts.assign(n, {0, 0});
  if (settings.alignment) {
    report(progress, HDRMergingPhaseName::kAligning);
    const Grey refGrey = encodedLuminance(*input[mid]);
    const int levels = mtbLevels(refGrey);
    const MtbPyramid ref = mtbPyramid(refGrey, levels);
    for (size_t i = 0; i < n; ++i) {
      if (i == mid) continue;
      const auto shift = mtbShift(ref, mtbPyramid(encodedLuminance(*input[i]), levels));
      result.shifts[i] = shift;
      if (shift.first || shift.second) {
        images[i] = shifted(*input[i], shift.first, shift.second);
        if (!images[i]) return result;
      }
    }
  }

  // Relative exposures (middle = 1): given, else estimated from the pixels.
  bool usable = exposures.size() == n;
  for (float e : exposures) usable = usable && std::isfinite(e) && e > 0;
  if (!usable) {
    exposures.assign(n, 1.0f);
    for (size_t i = 0; i < n; ++i)
      if (i != mid) exposures[i] = estimateRelativeExposure(*images[i], *images[mid]);
  } else {
    const float m = exposures[mid];
    for (float& e : exposures) e /= m;
  }
  result.exposures = exposures;

  report(progress, HDRMergingPhaseName::kDeghosting);
  const size_t ref = size_t(std::clamp<int64_t>(settings.ghostRefImageIdx, 0, int64_t(n) - 1));
  const float ghostStops = 1.0f - 0.009f * float(std::clamp(settings.ghostAmount, 0, 100));

  report(progress, HDRMergingPhaseName::kMerging);
  auto out = ImageDataRGBf::createUninitialized(w, h, kColorProfileNative);
  if (!out) return result;
  size_t darkest = 0, brightest = 0;
  for (size_t i = 1; i < n; ++i) {
    if (exposures[i] < exposures[darkest]) darkest = i;
    if (exposures[i] > exposures[brightest]) brightest = i;
  }
  // Bands of rows on every core; each pixel depends on its own values only.
  constexpr int kBandRows = 32;
  applyIndexed(size_t((h + kBandRows - 1) / kBandRows), [&](size_t band) {
    std::vector<float> weights(n);
    const size_t first = band * kBandRows * size_t(w);
    const size_t last = std::min(out->pixelCount(), first + size_t(kBandRows) * size_t(w));
    for (size_t p = first; p < last; ++p) {
      float total = 0;
      for (size_t i = 0; i < n; ++i) {
        weights[i] = hatWeight(maxChannel(images[i]->data()[p])) * exposures[i];
        total += weights[i];
      }
      if (settings.ghostReduction) {
        const Pixel& r = images[ref]->data()[p];
        const float rm = maxChannel(r);
        if (rm < kClipped && rm > kUsableLow) {
          const float rr = lum(r) / exposures[ref] + 1e-6f;
          total = 0;
          for (size_t i = 0; i < n; ++i) {
            if (i != ref && weights[i] > 0) {
              const float ri = lum(images[i]->data()[p]) / exposures[i] + 1e-6f;
              if (std::fabs(std::log2(ri / rr)) > ghostStops) weights[i] = 0;
            }
            total += weights[i];
          }
        }
      }
      Pixel acc{};
      if (total > 0) {
        for (size_t i = 0; i < n; ++i) {
          if (weights[i] <= 0) continue;
          const Pixel& v = images[i]->data()[p];
          const float k = weights[i] / (total * exposures[i]);
          acc.r += v.r * k;
          acc.g += v.g * k;
          acc.b += v.b * k;
        }
      } else {
        // Clipped in every exposure: the darkest one tells most; black everywhere: the brightest.
        const size_t pick = maxChannel(images[darkest]->data()[p]) >= kClipped ? darkest : brightest;
        const Pixel& v = images[pick]->data()[p];
        acc = {v.r / exposures[pick], v.g / exposures[pick], v.b / exposures[pick]};
      }
      out->data()[p] = acc;
    }
  });

  report(progress, HDRMergingPhaseName::kPostProcessing);
  if (settings.chromaticAberrationReduction) reduceChromaticAberration(*out);
  if (settings.colorDenoise) reduceColorNoise(*out);
  result.image = Image::make(out);
  report(progress, HDRMergingPhaseName::kDone);
  return result;
}

HDRMergeResult make_HDR(const std::vector<std::string>& paths, const HDRSettings& settings, Size size,
                        const std::function<void(HDRMergingPhaseName)>& progress) {
  if (paths.empty()) return {};
  report(progress, HDRMergingPhaseName::kReading);
  std::vector<ImageDataRGBfPtr> images;
  std::vector<float> stops;
  ImageMetadata middleMetadata;
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  for (size_t i = 0; i < paths.size(); ++i) {
    auto image = ImageReader::instance().read(paths[i], size, kReadDefaultFlags, cancel);
    if (!image) return {};
    auto data = image->imageData();
    if (!data) return {};
    images.push_back(std::move(data));
    stops.push_back(exposureStopsOfFile(paths[i]));
    if (i == paths.size() / 2) middleMetadata = image->metadata();
  }
  std::vector<float> exposures;
  if (std::none_of(stops.begin(), stops.end(), [](float s) { return std::isnan(s); })) {
    // Equal stops everywhere tell nothing (a bracket shot in manual mode without EXIF exposure
    // settings, say): the pixels decide then.
    if (std::any_of(stops.begin(), stops.end(), [&](float s) { return s != stops[0]; }))
      for (float s : stops) exposures.push_back(std::exp2(s));
  }
  HDRMergeResult result = mergeHDR(images, exposures, settings, progress);
  if (result.image) result.image = Image::make(result.image->imageData(), middleMetadata);
  return result;
}

void autoExposureAdjustARGB(float* x, float* y, int w, int h) {
  if (!x || !y || w <= 0 || h <= 0) return;
  const size_t n = size_t(w) * size_t(h);
  auto l = [](const float* p) { return 0.2126f * p[1] + 0.7152f * p[2] + 0.0722f * p[3]; };
  double sx = 0, sy = 0;
  for (size_t i = 0; i < n; ++i) {
    const float* a = x + 4 * i;
    const float* b = y + 4 * i;
    if (std::max({a[1], a[2], a[3]}) >= 0.98f || std::max({b[1], b[2], b[3]}) >= 0.98f) continue;
    sx += l(a);
    sy += l(b);
  }
  if (sx <= 0 || sy <= 0) return;
  const double target = 0.5 * (sx + sy);
  const float kx = float(target / sx), ky = float(target / sy);
  for (size_t i = 0; i < n; ++i)
    for (int c = 1; c < 4; ++c) {
      x[4 * i + c] = std::min(x[4 * i + c] * kx, 1.0f);
      y[4 * i + c] = std::min(y[4 * i + c] * ky, 1.0f);
    }
}

namespace legacy {
void RDFX_MakeEdgesMaskARGBFFFF(const float* src, float* dst, int w, int h, float radius, float threshold) {
  if (!src || !dst || w <= 0 || h <= 0) return;
  std::vector<float> g(size_t(w) * h);
  for (size_t i = 0; i < g.size(); ++i)
    g[i] = 0.2126f * src[4 * i + 1] + 0.7152f * src[4 * i + 2] + 0.0722f * src[4 * i + 3];
  const int r = std::max(0, int(std::lround(radius)));
  if (r > 0) boxBlur(g, w, h, 1, r);
  const float t = threshold / 100.0f;
  auto at = [&](int x, int y) { return g[size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float gx = (at(x + 1, y - 1) + 2 * at(x + 1, y) + at(x + 1, y + 1)) -
                       (at(x - 1, y - 1) + 2 * at(x - 1, y) + at(x - 1, y + 1));
      const float gy = (at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1)) -
                       (at(x - 1, y - 1) + 2 * at(x, y - 1) + at(x + 1, y - 1));
      const float m = std::sqrt(gx * gx + gy * gy) / 4.0f;
      const float e = m <= t ? 0.0f : std::min(1.0f, (m - t) / std::max(1e-6f, 1.0f - t));
      float* d = dst + 4 * (size_t(y) * w + x);
      d[0] = 1;
      d[1] = d[2] = d[3] = e;
    }
}
}  // namespace legacy

}  // namespace rova
