#include "QVCore/Utils/QVIPImageCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "rova/Color.h"
#include "rova/ImageData.h"

namespace {

using RGBA = QVIPImageCanvas::RGBA;

// Where the components of one pixel lie in memory.
struct Layout {
  size_t bytes = 0;    // per component: 1, 2 or 4 (float)
  size_t comps = 0;    // per pixel, padding and alpha included
  size_t colours = 0;  // 1 (grey) or 3
  size_t firstColour = 0;
  bool alpha = false, premultiplied = false, alphaFirst = false;
  bool bigEndian16 = false;
  bool reversed32 = false;  // 8-bit components in a little-endian 32-bit word: memory order reversed
  bool valid = false;
};

Layout layoutOf(const CGImage& image) {
  Layout l;
  if (image.bitsPerComponent != 8 && image.bitsPerComponent != 16 && image.bitsPerComponent != 32) return l;
  if (image.isFloat() != (image.bitsPerComponent == 32)) return l;
  l.bytes = image.bitsPerComponent / 8;
  l.comps = image.componentsPerPixel();
  l.colours = image.colorComponents();
  if (l.comps < 1 || l.comps > 4 || (l.colours != 1 && l.colours != 3)) return l;
  const auto a = image.alphaInfo();
  l.alpha = image.hasAlpha();
  l.premultiplied = a == kCGImageAlphaPremultipliedLast || a == kCGImageAlphaPremultipliedFirst;
  l.alphaFirst = a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst || a == kCGImageAlphaNoneSkipFirst;
  l.firstColour = l.alphaFirst ? 1 : 0;
  if (l.colours + (a == kCGImageAlphaNone ? 0 : 1) != l.comps) return l;
  const uint32_t order = image.bitmapInfo & 0x7000;
  l.bigEndian16 = l.bytes == 2 && (order == kCGBitmapByteOrder16Big || order == kCGBitmapByteOrder32Big);
  l.reversed32 = l.bytes == 1 && l.comps == 4 && order == kCGBitmapByteOrder32Little;
  l.valid = true;
  return l;
}

float readComponent(const uint8_t* p, const Layout& l) {
  if (l.bytes == 1) return p[0] / 255.f;
  if (l.bytes == 2) return (l.bigEndian16 ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0])) / 65535.f;
  float f;
  std::memcpy(&f, p, 4);
  return std::isfinite(f) ? f : 0.f;
}

void writeComponent(uint8_t* p, float v, const Layout& l) {
  if (l.bytes == 4) {
    std::memcpy(p, &v, 4);
    return;
  }
  const float c = !(v > 0) ? 0.f : std::min(v, 1.f);
  if (l.bytes == 1) {
    p[0] = uint8_t(std::lround(c * 255.f));
    return;
  }
  const auto u = uint16_t(std::lround(c * 65535.f));
  if (l.bigEndian16) {
    p[0] = uint8_t(u >> 8);
    p[1] = uint8_t(u);
  } else {
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
  }
}

// Memory slot of logical component c (colours first, then alpha) of a pixel.
size_t slotOf(size_t c, const Layout& l) {
  size_t slot;
  if (c < l.colours) {
    slot = l.firstColour + c;
  } else {
    slot = l.alphaFirst ? 0 : l.colours;
  }
  return l.reversed32 ? l.comps - 1 - slot : slot;
}

RGBA readPixel(const uint8_t* px, const Layout& l) {
  float v[3];
  for (size_t c = 0; c < 3; ++c) v[c] = readComponent(px + slotOf(l.colours == 3 ? c : 0, l) * l.bytes, l);
  float a = l.alpha ? readComponent(px + slotOf(l.colours, l) * l.bytes, l) : 1.f;
  a = std::clamp(a, 0.f, 1.f);
  if (!l.premultiplied) {
    for (float& x : v) x *= a;
  }
  return {v[0], v[1], v[2], a};
}

void writePixel(uint8_t* px, RGBA p, const Layout& l) {
  float v[3] = {p.r, p.g, p.b};
  if (!l.premultiplied) {
    // Without stored alpha (or with straight alpha) the colours are un-premultiplied.
    for (float& x : v) x = p.a > 0 ? x / p.a : 0.f;
  }
  if (l.colours == 3) {
    for (size_t c = 0; c < 3; ++c) writeComponent(px + slotOf(c, l) * l.bytes, v[c], l);
  } else {
    writeComponent(px + slotOf(0, l) * l.bytes, 0.3f * v[0] + 0.59f * v[1] + 0.11f * v[2], l);
  }
  if (l.comps > l.colours) writeComponent(px + slotOf(l.colours, l) * l.bytes, l.alpha ? p.a : 1.f, l);
}

RGBA composite(RGBA s, RGBA d, QVIPImageCanvas::Operation op) {
  switch (op) {
    case QVIPImageCanvas::Operation::Copy:
      return s;
    case QVIPImageCanvas::Operation::SourceIn:
      return {s.r * d.a, s.g * d.a, s.b * d.a, s.a * d.a};
    case QVIPImageCanvas::Operation::SourceOver:
    default: {
      const float k = 1.f - s.a;
      return {s.r + d.r * k, s.g + d.g * k, s.b + d.b * k, s.a + d.a * k};
    }
  }
}

}  // namespace

QVIPImageCanvas::QVIPImageCanvas(int64_t width, int64_t height) {
  if (!rova::isAcceptableImageSize(width, height)) return;
  width_ = width;
  height_ = height;
  pixels_.assign(size_t(width) * size_t(height), RGBA{});
}

std::vector<RGBA> QVIPImageCanvas::readPixels(const CGImage& image) {
  const Layout l = layoutOf(image);
  if (!l.valid || !image.bytes) return {};
  const size_t bytesPerPixel = image.bitsPerPixel / 8;
  if (image.byteCount < image.bytesPerRow * (image.height - 1) + image.width * bytesPerPixel) return {};
  std::vector<RGBA> out(image.width * image.height);
  for (size_t y = 0; y < image.height; ++y) {
    const uint8_t* row = image.row(y);
    for (size_t x = 0; x < image.width; ++x) out[y * image.width + x] = readPixel(row + x * bytesPerPixel, l);
  }
  return out;
}

bool QVIPImageCanvas::drawImage(const CGImageRef& image, CGRect destination, CGRect source,
                                const CGAffineTransform& ctm, Operation op) {
  if (!isValid() || !image) return false;
  const std::vector<RGBA> src = readPixels(*image);
  if (src.empty()) return false;
  const double iw = double(image->width), ih = double(image->height);
  destination = CGRectStandardize(destination);
  source = CGRectIsEmpty(source) ? CGRectMake(0, 0, iw, ih) : CGRectStandardize(source);
  if (CGRectIsEmpty(destination)) return true;
  const double det = ctm.a * ctm.d - ctm.b * ctm.c;
  if (det == 0 || !std::isfinite(det)) return false;
  // Device → user (inverse of the transform) → source pixel space (bottom-left origin).
  const CGAffineTransform toUser = CGAffineTransformInvert(ctm);
  const double sx = source.size.width / destination.size.width;
  const double sy = source.size.height / destination.size.height;
  const double sx0 = std::max(0.0, CGRectGetMinX(source)), sx1 = std::min(iw, CGRectGetMaxX(source));
  const double sy0 = std::max(0.0, CGRectGetMinY(source)), sy1 = std::min(ih, CGRectGetMaxY(source));
  const auto at = [&](int64_t x, int64_t yTop) -> const RGBA& {
    x = std::clamp<int64_t>(x, 0, int64_t(iw) - 1);
    yTop = std::clamp<int64_t>(yTop, 0, int64_t(ih) - 1);
    return src[size_t(yTop) * size_t(iw) + size_t(x)];
  };
  for (int64_t row = 0; row < height_; ++row) {
    const double py = double(height_ - row) - 0.5;
    for (int64_t col = 0; col < width_; ++col) {
      const CGPoint user = CGPointApplyAffineTransform(CGPointMake(double(col) + 0.5, py), toUser);
      const double u = source.origin.x + (user.x - destination.origin.x) * sx;
      const double v = source.origin.y + (user.y - destination.origin.y) * sy;
      // Half-open bounds, with a tolerance for the rounding of turned coordinates.
      constexpr double eps = 1e-9;
      if (!(u >= sx0 - eps && u < sx1 - eps && v >= sy0 - eps && v < sy1 - eps)) continue;
      // Into pixel-index space, rows from the top; pixel centres at whole numbers.
      const double fx = u - 0.5, fy = (ih - v) - 0.5;
      double x0 = std::floor(fx), y0 = std::floor(fy);
      double tx = fx - x0, ty = fy - y0;
      if (tx < 1e-7) tx = 0;
      if (tx > 1 - 1e-7) {
        tx = 0;
        x0 += 1;
      }
      if (ty < 1e-7) ty = 0;
      if (ty > 1 - 1e-7) {
        ty = 0;
        y0 += 1;
      }
      const auto xi = int64_t(x0), yi = int64_t(y0);
      RGBA s = at(xi, yi);
      if (tx > 0 || ty > 0) {
        const RGBA& p10 = at(xi + 1, yi);
        const RGBA& p01 = at(xi, yi + 1);
        const RGBA& p11 = at(xi + 1, yi + 1);
        const auto mix = [&](float RGBA::*m) {
          const double top = (1 - tx) * (s.*m) + tx * (p10.*m);
          const double bottom = (1 - tx) * (p01.*m) + tx * (p11.*m);
          return float((1 - ty) * top + ty * bottom);
        };
        s = {mix(&RGBA::r), mix(&RGBA::g), mix(&RGBA::b), mix(&RGBA::a)};
      }
      RGBA& d = pixels_[size_t(row * width_ + col)];
      d = composite(s, d, op);
    }
  }
  return true;
}

void QVIPImageCanvas::fill(RGBA color, Operation op) {
  const float a = std::clamp(color.a, 0.f, 1.f);
  const RGBA s{color.r * a, color.g * a, color.b * a, a};
  for (RGBA& d : pixels_) d = composite(s, d, op);
}

bool QVIPImageCanvas::matchColors(const CGColorSpaceRef& from, const CGColorSpaceRef& to) {
  const auto typeOf = [](const CGColorSpaceRef& space) {
    return space ? space->profileType() : rova::kColorProfileSRGB;
  };
  const rova::ImageDataColorProfileType target = typeOf(to);
  if (!rova::isValidColorProfileType(target) || target == rova::kColorProfileUnknown) return false;
  rova::ImageDataColorProfileType source = typeOf(from);
  const bool fromICC = source == rova::kColorProfileUnknown && from && from->space && !from->space->iccData().empty();
  if (!fromICC && (!rova::isValidColorProfileType(source) || source == rova::kColorProfileUnknown))
    source = rova::kColorProfileSRGB;
  if (!fromICC && source == target) return true;
  // The transforms work on straight (not premultiplied) colours.
  std::vector<float> rgb(pixels_.size() * 3);
  for (size_t i = 0; i < pixels_.size(); ++i) {
    const RGBA& p = pixels_[i];
    const float k = p.a > 0 ? 1.f / p.a : 0.f;
    rgb[3 * i] = p.r * k, rgb[3 * i + 1] = p.g * k, rgb[3 * i + 2] = p.b * k;
  }
  const bool converted =
      fromICC ? rova::colorTransformFromICC(rgb.data(), rgb.data(), pixels_.size(), from->space->iccData(), target)
              : rova::colorTransformIpp(rgb.data(), rgb.data(), source, target, rova::kColorDataTypeRGBFloat,
                                        rova::Size{int(width_), int(height_)});
  if (!converted) return false;
  for (size_t i = 0; i < pixels_.size(); ++i) {
    RGBA& p = pixels_[i];
    p = {rgb[3 * i] * p.a, rgb[3 * i + 1] * p.a, rgb[3 * i + 2] * p.a, p.a};
  }
  return true;
}

CGImageRef QVIPImageCanvas::makeImage(size_t bitsPerComponent, CGColorSpaceRef space) const {
  if (!isValid() || (bitsPerComponent != 8 && bitsPerComponent != 16)) return nullptr;
  CGImage layout;
  layout.width = size_t(width_);
  layout.height = size_t(height_);
  layout.bitsPerComponent = bitsPerComponent;
  layout.bitsPerPixel = 4 * bitsPerComponent;
  layout.bytesPerRow = layout.width * layout.bitsPerPixel / 8;
  layout.bitmapInfo = kCGImageAlphaPremultipliedLast | (bitsPerComponent == 16 ? kCGBitmapByteOrder16Little : 0);
  layout.colorSpace = space ? std::move(space) : CGColorSpaceCreateDeviceRGB();
  return makeImageLike(layout);
}

CGImageRef QVIPImageCanvas::makeImageLike(const CGImage& image) const {
  if (!isValid()) return nullptr;
  const Layout l = layoutOf(image);
  if (!l.valid) return nullptr;
  const size_t bytesPerPixel = image.bitsPerPixel / 8;
  const size_t bytesPerRow = std::max(image.bytesPerRow, size_t(width_) * bytesPerPixel);
  auto data = std::make_shared<std::vector<uint8_t>>(bytesPerRow * size_t(height_));
  for (int64_t y = 0; y < height_; ++y) {
    uint8_t* row = data->data() + size_t(y) * bytesPerRow;
    for (int64_t x = 0; x < width_; ++x) writePixel(row + size_t(x) * bytesPerPixel, pixel(x, y), l);
  }
  return CGImageCreate(size_t(width_), size_t(height_), image.bitsPerComponent, image.bitsPerPixel, bytesPerRow,
                       image.colorSpace, image.bitmapInfo, std::move(data));
}
