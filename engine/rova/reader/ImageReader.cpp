#include "rova/reader/ImageReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <type_traits>

#include "rova/Color.h"
#include "rova/Parallel.h"
#include "rova/codecs/Codecs.h"

namespace rova {

namespace {

const std::array<float, 256>& srgbLut8() {
  static const auto lut = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[size_t(i)] = srgbToLinear(float(i) / 255.f);
    return t;
  }();
  return lut;
}

const std::vector<float>& srgbLut16() {
  static const auto lut = [] {
    std::vector<float> t(65536);
    for (int i = 0; i < 65536; ++i) t[size_t(i)] = srgbToLinear(float(i) / 65535.f);
    return t;
  }();
  return lut;
}

// How samples become floats: through the sRGB curve into linear light, or only scaled to 0..1.
enum class Transfer { Srgb, Identity };

const std::array<float, 256>& identityLut8() {
  static const auto lut = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[size_t(i)] = float(i) / 255.f;
    return t;
  }();
  return lut;
}

const std::vector<float>& identityLut16() {
  static const auto lut = [] {
    std::vector<float> t(65536);
    for (int i = 0; i < 65536; ++i) t[size_t(i)] = float(i) / 65535.f;
    return t;
  }();
  return lut;
}

// One destination row: n pixels read from p onwards, `step` bytes apart (negative when the
// orientation walks backwards), CH channels of sample type S (grey for CH < 3).
template <class S, int CH>
void convertRow(const uint8_t* p, ptrdiff_t step, PixelRGB<float>* dst, int n, const float* lut) {
  for (int x = 0; x < n; ++x, p += step) {
    S s[CH >= 3 ? 3 : 1];
    std::memcpy(s, p, sizeof s);
    if constexpr (std::is_same_v<S, float>) {
      float r = std::isfinite(s[0]) ? s[0] : 0.f;
      if constexpr (CH >= 3)
        dst[x] = {r, std::isfinite(s[1]) ? s[1] : 0.f, std::isfinite(s[2]) ? s[2] : 0.f};
      else
        dst[x] = {r, r, r};
    } else if constexpr (CH >= 3) {
      dst[x] = {lut[s[0]], lut[s[1]], lut[s[2]]};
    } else {
      const float v = lut[s[0]];
      dst[x] = {v, v, v};
    }
  }
}

template <class S, int CH>
void convertBitmap(const codecs::Bitmap& b, const codecs::OrientationMap& m, ImageDataRGBf& out, const float* lut) {
  const ptrdiff_t bpp = ptrdiff_t(b.bytesPerPixel()), stride = ptrdiff_t(b.rowBytes());
  const ptrdiff_t step = m.xx * bpp + m.yx * stride;
  parallelFor(out.height(), rowsPerPiece(out.width()), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      const int sx = m.x0 + m.xy * y, sy = m.y0 + m.yy * y;
      convertRow<S, CH>(b.row(sy) + ptrdiff_t(sx) * bpp, step, out.row(y), out.width(), lut);
    }
  });
}

// The bitmap as float RGB, turned by the orientation, in one pass (grey expanded, alpha dropped).
ImageDataRGBfPtr toFloatRGB(const codecs::Bitmap& b, int orientation, Transfer transfer,
                            ImageDataColorProfileType type) {
  Size out = codecs::orientedSize({b.width, b.height}, orientation);
  auto data = ImageDataRGBf::createUninitialized(out.width, out.height, type);
  if (!data) return nullptr;
  const codecs::OrientationMap m = codecs::orientationMap(orientation, b.width, b.height);
  const bool srgb = transfer == Transfer::Srgb;
  const bool grey = b.channels <= 2;
  const int ch = b.channels;
  if (b.depth == 8) {
    const float* lut = srgb ? srgbLut8().data() : identityLut8().data();
    switch (ch) {
      case 1:
        convertBitmap<uint8_t, 1>(b, m, *data, lut);
        break;
      case 2:
        convertBitmap<uint8_t, 2>(b, m, *data, lut);
        break;
      case 3:
        convertBitmap<uint8_t, 3>(b, m, *data, lut);
        break;
      default:
        convertBitmap<uint8_t, 4>(b, m, *data, lut);
        break;
    }
  } else if (b.depth == 16) {
    const float* lut = srgb ? srgbLut16().data() : identityLut16().data();
    if (grey)
      convertBitmap<uint16_t, 1>(b, m, *data, lut);
    else
      convertBitmap<uint16_t, 3>(b, m, *data, lut);
  } else {
    if (grey)
      convertBitmap<float, 1>(b, m, *data, nullptr);
    else
      convertBitmap<float, 3>(b, m, *data, nullptr);
  }
  return data;
}

// Undoes premultiplied (associated) alpha in the bitmap's own samples, before any transfer curve:
// the file multiplied its encoded values. Fully transparent pixels keep what they hold.
template <class S>
void unpremultiplyBitmap(codecs::Bitmap& b) {
  const int ch = b.channels, colours = ch - 1;
  constexpr double kMax = std::is_same_v<S, float> ? 1.0 : double(std::numeric_limits<S>::max());
  parallelFor(b.height, rowsPerPiece(b.width), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      S* p = reinterpret_cast<S*>(b.row(y));
      for (int x = 0; x < b.width; ++x, p += ch) {
        const double a = double(p[colours]);
        if (!(a > 0) || a >= kMax) continue;
        for (int c = 0; c < colours; ++c) {
          const double v = std::min(kMax, double(p[c]) * kMax / a);
          p[c] = std::is_same_v<S, float> ? S(v) : S(v + 0.5);
        }
      }
    }
  });
}

void unpremultiplyBitmap(codecs::Bitmap& b) {
  if (b.channels != 2 && b.channels != 4) return;
  if (b.depth == 8)
    unpremultiplyBitmap<uint8_t>(b);
  else if (b.depth == 16)
    unpremultiplyBitmap<uint16_t>(b);
  else
    unpremultiplyBitmap<float>(b);
}

template <class S>
float alphaSample(const uint8_t* p) {
  S s;
  std::memcpy(&s, p, sizeof s);
  if constexpr (std::is_same_v<S, float>) return std::isfinite(s) ? std::clamp(s, 0.f, 1.f) : 0.f;
  return float(s) / float(std::numeric_limits<S>::max());
}

template <class S>
ImageDataFPtr alphaPlaneOf(const codecs::Bitmap& b, int orientation) {
  const size_t bpp = b.bytesPerPixel(), offset = (size_t(b.channels) - 1) * sizeof(S);
  // An alpha at its maximum everywhere is no transparency: the picture stays opaque, planeless.
  bool opaque = true;
  for (int y = 0; y < b.height && opaque; ++y) {
    const uint8_t* p = b.row(y) + offset;
    for (int x = 0; x < b.width; ++x, p += bpp)
      if (alphaSample<S>(p) < 1.f) {
        opaque = false;
        break;
      }
  }
  if (opaque) return nullptr;
  const Size out = codecs::orientedSize({b.width, b.height}, orientation);
  auto plane = ImageDataF::createUninitialized(out.width, out.height);
  if (!plane) return nullptr;
  const codecs::OrientationMap m = codecs::orientationMap(orientation, b.width, b.height);
  const ptrdiff_t stride = ptrdiff_t(b.rowBytes()), step = m.xx * ptrdiff_t(bpp) + m.yx * stride;
  parallelFor(out.height, rowsPerPiece(out.width), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      const uint8_t* p = b.row(m.y0 + m.yy * y) + ptrdiff_t(m.x0 + m.xy * y) * ptrdiff_t(bpp) + ptrdiff_t(offset);
      float* row = plane->row(y);
      for (int x = 0; x < out.width; ++x, p += step) row[x] = alphaSample<S>(p);
    }
  });
  return plane;
}

// The bitmap's alpha as a plane turned by the orientation; nullptr when it has none or it is opaque
// everywhere (or memory is short: the picture is then shown opaque).
ImageDataFPtr alphaPlaneOf(const codecs::Bitmap& b, int orientation) {
  if (b.channels != 2 && b.channels != 4) return nullptr;
  if (b.depth == 8) return alphaPlaneOf<uint8_t>(b, orientation);
  if (b.depth == 16) return alphaPlaneOf<uint16_t>(b, orientation);
  return alphaPlaneOf<float>(b, orientation);
}

// How decoded samples become the image's floats.
struct ConversionPlan {
  int orientation = 1;
  bool useIcc = false;  // through the embedded profile afterwards (samples taken as they are first)
  Transfer transfer = Transfer::Identity;
  ImageDataColorProfileType type = kColorProfileSRGB;
};

ConversionPlan planConversion(const codecs::ImageInfo& info, int channels, int depth, bool linear, uint32_t flags) {
  ConversionPlan p;
  p.orientation = (flags & kReadApplyOrientation) ? info.orientation : 1;
  const bool manage = (flags & kReadColorManage) != 0;
  p.useIcc = manage && (flags & kReadEmbeddedProfile) && !info.icc.empty() && !linear && channels >= 3;
  // Float files without a profile hold linear light already.
  const bool linearInput = linear || (depth == 32 && info.icc.empty());
  p.transfer = (manage && !p.useIcc && !linearInput) ? Transfer::Srgb : Transfer::Identity;
  p.type = (manage || linearInput) ? kColorProfileNative : kColorProfileSRGB;
  return p;
}

// Converts 8-bit rows into the float image as the JPEG decoder delivers them: bands decoded on
// several cores convert their rows while they are in cache (no full-size 8-bit bitmap, no second
// pass); one-piece decodes convert on a second thread while the decoder goes on.
class FloatRowSink : public codecs::RowSink {
 public:
  explicit FloatRowSink(uint32_t flags) : flags_(flags) {}

  bool begin(int width, int height, int channels, const codecs::ImageInfo& info) override {
    if (channels != 1 && channels != 3) return false;
    plan_ = planConversion(info, channels, 8, false, flags_);
    const Size size = codecs::orientedSize({width, height}, plan_.orientation);
    data_ = ImageDataRGBf::createUninitialized(size.width, size.height, plan_.type);
    map_ = codecs::orientationMap(plan_.orientation, width, height);
    lut_ = plan_.transfer == Transfer::Srgb ? srgbLut8().data() : identityLut8().data();
    channels_ = channels;
    return data_ != nullptr;
  }

  void rows(int y, int count, const uint8_t* data, size_t rowBytes) override {
    if (channels_ == 1)
      convert<1>(y, count, data, rowBytes);
    else
      convert<3>(y, count, data, rowBytes);
  }

  bool beginLinear(int width, int height, const codecs::ImageInfo& info) override {
    plan_ = planConversion(info, 3, 32, true, flags_);
    const Size size = codecs::orientedSize({width, height}, plan_.orientation);
    data_ = ImageDataRGBf::createUninitialized(size.width, size.height, plan_.type);
    map_ = codecs::orientationMap(plan_.orientation, width, height);
    return data_ != nullptr;
  }

  // The block's pixels to where the orientation takes them (the map's steps are 1, -1 or 0, so it is
  // its own inverse's transpose).
  void linearBlock(int x, int y, int width, int height, const float* data, size_t rowFloats) override {
    ImageDataRGBf& out = *data_;
    const codecs::OrientationMap& m = map_;
    for (int k = 0; k < height; ++k) {
      const float* p = data + rowFloats * size_t(k);
      if (m.yx == 0) {  // stored rows stay rows (possibly mirrored or upside down)
        PixelRGB<float>* row = out.row((y + k - m.y0) * m.yy) + (x - m.x0) * m.xx;
        for (int i = 0; i < width; ++i, p += 3) row[i * m.xx] = {p[0], p[1], p[2]};
      } else {  // turned a quarter: the stored row becomes a column
        const int column = (y + k - m.y0) * m.yx;
        for (int i = 0; i < width; ++i, p += 3) out.row((x + i - m.x0) * m.xy)[column] = {p[0], p[1], p[2]};
      }
    }
  }

  const ConversionPlan& plan() const { return plan_; }
  ImageDataRGBfPtr take() { return std::move(data_); }

 private:
  template <int CH>
  void convert(int y, int count, const uint8_t* data, size_t rowBytes) {
    ImageDataRGBf& out = *data_;
    const codecs::OrientationMap& m = map_;
    if (m.yx == 0) {  // stored rows stay rows (possibly mirrored or upside down)
      for (int k = 0; k < count; ++k) {
        const int dy = (y + k - m.y0) * m.yy;
        convertRow<uint8_t, CH>(data + rowBytes * size_t(k) + ptrdiff_t(m.x0) * CH, ptrdiff_t(m.xx) * CH, out.row(dy),
                                out.width(), lut_);
      }
      return;
    }
    // Turned a quarter: stored rows become columns; write each output row's short run of them.
    for (int oy = 0; oy < out.height(); ++oy) {
      const ptrdiff_t sx = ptrdiff_t(m.x0 + m.xy * oy) * CH;
      PixelRGB<float>* row = out.row(oy);
      for (int k = 0; k < count; ++k)
        convertRow<uint8_t, CH>(data + rowBytes * size_t(k) + sx, 0, row + (y + k - m.y0) * m.yx, 1, lut_);
    }
  }

  uint32_t flags_;
  ConversionPlan plan_;
  ImageDataRGBfPtr data_;
  codecs::OrientationMap map_{};
  const float* lut_ = nullptr;
  int channels_ = 0;
};

// Long side of a thumbnail request; 0 for no limit.
int thumbnailLimit(int width, int height) { return std::max(std::max(width, height), 0); }

ImageDataRGBfPtr fitInto(const ImageDataRGBfPtr& d, int limit) {
  if (!d || limit <= 0 || std::max(d->width(), d->height()) <= limit) return d;
  double s = double(limit) / std::max(d->width(), d->height());
  int w = std::max(1, int(std::lround(d->width() * s))), h = std::max(1, int(std::lround(d->height() * s)));
  return resize(*d, w, h, true);
}

// Header facts of a file. Most headers sit at the start, so the first megabyte is read first; RAW
// files (whose first directory may describe a preview), WebP (whose EXIF follows the pixels) and
// anything the prefix cannot explain are read whole.
bool headerInfo(const std::string& path, codecs::ImageInfo& info) {
  const std::string ext = codecs::lowerExtension(path);
  if (!codecs::isRawExtension(ext)) {
    codecs::Bytes prefix;
    bool whole = false;
    if (!prefix.openPrefix(path, size_t(1) << 20, &whole, nullptr)) return false;
    if (codecs::readInfo(prefix.data(), prefix.size(), ext, info, nullptr) &&
        (whole || info.format != codecs::Format::WebP))
      return true;
    if (whole) return false;
    info = {};
  }
  codecs::Bytes bytes;
  return bytes.open(path, nullptr) && codecs::readInfo(bytes.data(), bytes.size(), ext, info, nullptr);
}

}  // namespace

ImageDataRGBfPtr applyOrientation(const ImageDataRGBfPtr& data, int orientation) {
  if (!data || orientation < 2 || orientation > 8) return data;
  Size out = codecs::orientedSize({data->width(), data->height()}, orientation);
  auto dst = ImageDataRGBf::createUninitialized(out.width, out.height, data->colorProfileType());
  if (!dst) return nullptr;
  const codecs::OrientationMap m = codecs::orientationMap(orientation, data->width(), data->height());
  parallelFor(out.height, rowsPerPiece(out.width), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y)
      for (int x = 0; x < out.width; ++x)
        dst->at(x, y) = data->at(m.x0 + m.xx * x + m.xy * y, m.y0 + m.yx * x + m.yy * y);
  });
  return dst;
}

ImageReader& ImageReader::instance() {
  static ImageReader reader;
  return reader;
}

void ImageReader::registerCancel(const ReadCancelFlag& flag) {
  std::lock_guard lock(mutex_);
  std::erase_if(active_, [](const auto& w) { return w.expired(); });
  active_.push_back(flag);
}

void ImageReader::unregisterCancel(const ReadCancelFlag& flag) {
  std::lock_guard lock(mutex_);
  std::erase_if(active_, [&](const auto& w) {
    auto s = w.lock();
    return !s || s == flag;
  });
}

void ImageReader::cancelAll() {
  std::lock_guard lock(mutex_);
  for (auto& w : active_)
    if (auto s = w.lock()) s->store(true);
}

ImagePtr ImageReader::read(const std::string& path, Size size, uint32_t flags, const ReadCancelFlag& cancel,
                           std::string* error) {
  codecs::Bytes bytes;
  if (!bytes.open(path, error)) return nullptr;
  ImagePtr img = readBytes(bytes.data(), bytes.size(), codecs::lowerExtension(path), size, flags, cancel, error);
  if (img) img->source()->metadata().path = path;
  return img;
}

ImagePtr ImageReader::readBytes(const uint8_t* data, size_t length, const std::string& extension, Size size,
                                uint32_t flags, const ReadCancelFlag& cancel, std::string* error) {
  ReadCancelFlag flag = cancel ? cancel : std::make_shared<std::atomic<bool>>(false);
  registerCancel(flag);
  struct Unregister {
    ImageReader* r;
    const ReadCancelFlag& f;
    ~Unregister() { r->unregisterCancel(f); }
  } unregister{this, flag};

  codecs::DecodeRequest req;
  req.fitSize = size;
  req.cancel = flag;
  req.rawHalfSize = (flags & kReadFastRawPreview) != 0;
  req.rawAutoBright = (flags & kReadRawDevelop) == 0;
  req.rawDenoise = (flags & kReadFineDenoise) != 0;
  FloatRowSink sink(flags);
  req.rowSink = &sink;
  codecs::DecodeResult res;
  if (!codecs::decode(data, length, extension, req, res, error)) return nullptr;
  if (codecs::isCancelled(flag)) {
    if (error) *error = "cancelled";
    return nullptr;
  }
  ConversionPlan plan;
  ImageDataRGBfPtr pixels;
  ImageDataFPtr alpha;
  if (res.streamed) {
    plan = sink.plan();
    pixels = sink.take();
  } else {
    plan = planConversion(res.info, res.bitmap.channels, res.bitmap.depth, res.linear, flags);
    if (res.info.premultipliedAlpha) unpremultiplyBitmap(res.bitmap);
    pixels = toFloatRGB(res.bitmap, plan.orientation, plan.transfer, plan.type);
    if (pixels) alpha = alphaPlaneOf(res.bitmap, plan.orientation);
    res.bitmap = {};  // the float copy is all we keep
  }
  const int orientation = plan.orientation;
  const bool useIcc = plan.useIcc;
  if (!pixels) {
    if (error) *error = "out of memory";
    return nullptr;
  }
  if (useIcc && !colorTransformFromICC(pixels->floats(), pixels->floats(), pixels->pixelCount(), res.info.icc,
                                       kColorProfileNative)) {
    // A profile lcms2 cannot use: take the file as sRGB, as viewers do.
    float* f = pixels->floats();
    const int64_t n = int64_t(pixels->pixelCount()) * 3;
    parallelFor(n, 1 << 16, [f](int64_t i0, int64_t i1) {
      for (int64_t i = i0; i < i1; ++i) f[i] = srgbToLinear(f[i]);
    });
  }
  if (alpha) {
    // Transparency is kept beside the colour; what the file kept under fully transparent pixels
    // is replaced by the visible edge, so no later filter or resampling brings it into view.
    pixels->setAlpha(std::move(alpha));
    extendVisibleColours(*pixels);
  }

  ImageMetadata meta;
  if (flags & kReadMetadata) codecs::readMetadata(data, length, extension, meta);
  meta.formatType = codecs::typeIdentifier(res.info.format);
  meta.pixelSize = res.info.size;
  meta.bitsPerSample = res.info.bitsPerSample;
  meta.samplesPerPixel = res.info.channels;
  meta.hasAlpha = res.info.hasAlpha;
  meta.isFloat = res.info.isFloat;
  meta.iccProfile = res.info.icc;
  meta.exif.extension = extension;
  meta.exif.isRaw = res.info.format == codecs::Format::RAW || res.info.format == codecs::Format::DNG;
  meta.exif.orientation = res.info.orientation;
  Size original = codecs::orientedSize(res.info.size, orientation);
  return std::make_shared<Image>(
      std::make_shared<ImageSource>(std::move(pixels), std::move(meta), res.scale, original));
}

std::shared_ptr<ImageMetadata> ImageReader::readMetadata(const std::string& path) {
  codecs::Bytes bytes;
  if (!bytes.open(path, nullptr)) return nullptr;
  const std::string ext = codecs::lowerExtension(path);
  codecs::ImageInfo info;
  if (!codecs::readInfo(bytes.data(), bytes.size(), ext, info, nullptr)) return nullptr;
  auto meta = std::make_shared<ImageMetadata>();
  codecs::readMetadata(bytes.data(), bytes.size(), ext, *meta);
  meta->path = path;
  meta->formatType = codecs::typeIdentifier(info.format);
  meta->pixelSize = info.size;
  meta->bitsPerSample = info.bitsPerSample;
  meta->samplesPerPixel = info.channels;
  meta->hasAlpha = info.hasAlpha;
  meta->isFloat = info.isFloat;
  meta->iccProfile = info.icc;
  meta->exif.extension = ext;
  meta->exif.isRaw = info.format == codecs::Format::RAW || info.format == codecs::Format::DNG;
  meta->exif.orientation = info.orientation;
  return meta;
}

bool ImageReader::isRawImageFile(const std::string& path) {
  codecs::ImageInfo info;
  return headerInfo(path, info) && (info.format == codecs::Format::RAW || info.format == codecs::Format::DNG);
}

bool ImageReader::isDngImageFile(const std::string& path) {
  codecs::ImageInfo info;
  return headerInfo(path, info) && info.format == codecs::Format::DNG;
}

Size ImageReader::getImageSize(const std::string& path) {
  codecs::ImageInfo info;
  if (!headerInfo(path, info)) return {};
  return codecs::orientedSize(info.size, info.orientation);
}

int ImageReader::getColorDepth(const std::string& path) {
  codecs::ImageInfo info;
  return headerInfo(path, info) ? info.bitsPerSample : 0;
}

bool ImageReader::canOpenImage(const std::string& path) {
  codecs::ImageInfo info;
  return headerInfo(path, info) && isAcceptableImageSize(info.size.width, info.size.height);
}

ImageDataRGBfPtr ImageReader::getThumbnailQuickly(const std::string& path, int width, int height,
                                                  ImageMetadata* metadata, uint32_t* flags) {
  codecs::Bytes bytes;
  if (!bytes.open(path, nullptr)) return nullptr;
  const std::string ext = codecs::lowerExtension(path);
  codecs::ImageInfo info;
  if (!codecs::readInfo(bytes.data(), bytes.size(), ext, info, nullptr)) return nullptr;
  if (metadata) codecs::readMetadata(bytes.data(), bytes.size(), ext, *metadata);
  const int limit = thumbnailLimit(width, height);
  const bool raw = info.format == codecs::Format::RAW || info.format == codecs::Format::DNG;
  codecs::Bitmap preview;
  ImageDataRGBfPtr out;
  if (codecs::decodeEmbeddedPreview(bytes.data(), bytes.size(), ext, preview, nullptr) &&
      (raw || limit <= 0 || std::max(preview.width, preview.height) >= limit)) {
    out = toFloatRGB(preview, info.orientation, Transfer::Identity, kColorProfileSRGB);
    if (flags) *flags = 1;
  } else if (info.format == codecs::Format::JPEG) {
    // A DCT-reduced decode costs about as much as reading a large embedded preview.
    codecs::DecodeRequest req;
    req.fitSize = {limit, limit};
    codecs::DecodeResult res;
    if (!codecs::decode(bytes.data(), bytes.size(), ext, req, res, nullptr)) return nullptr;
    out = toFloatRGB(res.bitmap, info.orientation, Transfer::Identity, kColorProfileSRGB);
    if (out && !res.info.icc.empty() &&
        colorTransformFromICC(out->floats(), out->floats(), out->pixelCount(), res.info.icc, kColorProfileSRGB))
      clamp(*out);
    if (flags) *flags = 0;
  }
  return fitInto(out, limit);
}

ImageDataRGBfPtr ImageReader::getThumbnailHardly(const std::string& path, int width, int height,
                                                 ImageMetadata* metadata, uint32_t* flags) {
  const int limit = thumbnailLimit(width, height);
  ImagePtr img = read(
      path, {limit, limit},
      uint32_t(kReadDefaultFlags) | (metadata ? uint32_t(kReadMetadata) : 0u) | uint32_t(kReadFastRawPreview), nullptr);
  if (!img) return nullptr;
  if (metadata) *metadata = img->metadata();
  if (flags) *flags = 0;
  auto small = fitInto(img->imageData(), limit);
  if (!small) return nullptr;
  if (small == img->source()->data()) small = small->copy();
  if (!convertColorProfileInPlace(*small, kColorProfileSRGB)) return nullptr;
  clamp(*small);
  return small;
}

}  // namespace rova
