#include "rova/codecs/Codecs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "rova/ImageData.h"
#include "rova/Parallel.h"
#include "rova/codecs/SafeFile.h"

namespace rova::codecs {

const char* typeIdentifier(Format f) {
  switch (f) {
    case Format::JPEG:
      return "public.jpeg";
    case Format::PNG:
      return "public.png";
    case Format::TIFF:
      return "public.tiff";
    case Format::WebP:
      return "org.webmproject.webp";
    case Format::RAW:
      return "com.adobe.raw-image";
    case Format::DNG:
      return "com.adobe.dng";
    case Format::JPEG2000:
      return "public.jpeg-2000";
    default:
      return "";
  }
}

Format formatForTypeIdentifier(const std::string& uti) {
  for (Format f : {Format::JPEG, Format::PNG, Format::TIFF, Format::WebP, Format::RAW, Format::DNG, Format::JPEG2000})
    if (uti == typeIdentifier(f)) return f;
  if (uti == "public.jpg") return Format::JPEG;
  return Format::Unknown;
}

const char* preferredExtension(Format f) {
  switch (f) {
    case Format::JPEG:
      return "jpeg";
    case Format::PNG:
      return "png";
    case Format::TIFF:
      return "tiff";
    case Format::WebP:
      return "webp";
    case Format::DNG:
      return "dng";
    case Format::JPEG2000:
      return "jp2";
    default:
      return "";
  }
}

bool isRawExtension(const std::string& e) {
  static const char* kRaw[] = {"3fr", "ari", "arw", "bay", "cap", "cr2", "cr3", "crw", "dcr", "dcs",
                               "dng", "drf", "eip", "erf", "fff", "iiq", "k25", "kdc", "mdc", "mef",
                               "mos", "mrw", "nef", "nrw", "orf", "pef", "ptx", "pxn", "r3d", "raf",
                               "raw", "rw2", "rwl", "rwz", "sr2", "srf", "srw", "x3f"};
  return std::find_if(std::begin(kRaw), std::end(kRaw), [&](const char* r) { return e == r; }) != std::end(kRaw);
}

std::string lowerExtension(const std::string& path) {
  size_t slash = path.find_last_of('/'), dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = path.substr(dot + 1);
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return e;
}

bool Bytes::open(const std::string& path, std::string* error) { return read(path, SIZE_MAX, nullptr, error); }

bool Bytes::openPrefix(const std::string& path, size_t maxBytes, bool* whole, std::string* error) {
  return read(path, maxBytes, whole, error);
}

namespace {

constexpr uint64_t kMB = uint64_t(1) << 20;
// What a file may hold besides its pixels: metadata, profiles, previews.
constexpr uint64_t kExtrasAllowance = 64 * kMB;
// Enough of the start of a file for the headers of every format we read (TIFF's first IFD is
// looked for separately: writers often put it at the end).
constexpr size_t kHeaderProbeBytes = 256 * 1024;

// Width, height, samples per pixel and bits per sample of a classic TIFF's first IFD, read where it
// lies; false when the file does not give them.
bool probeTiffHeader(const ReadableFile& file, const uint8_t* head, size_t n, ImageInfo& info) {
  if (n < 8) return false;
  const bool le = head[0] == 'I';
  auto u16 = [le](const uint8_t* p) -> uint32_t { return le ? p[0] | p[1] << 8 : p[0] << 8 | p[1]; };
  auto u32 = [le](const uint8_t* p) -> uint32_t {
    return le ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
              : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
  };
  if (u16(head + 2) != 42) return false;  // BigTIFF and others: not probed
  const uint64_t ifd = u32(head + 4);
  uint8_t countBytes[2];
  if (ifd < 8 || ifd + 2 > file.size() || !file.readAt(ifd, countBytes, 2, nullptr)) return false;
  const uint32_t count = std::min<uint32_t>(u16(countBytes), 4096);
  std::vector<uint8_t> entries(size_t(count) * 12);
  if (ifd + 2 + entries.size() > file.size() || !file.readAt(ifd + 2, entries.data(), entries.size(), nullptr))
    return false;
  int width = 0, height = 0, samples = 1, bits = 8;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = entries.data() + size_t(i) * 12;
    const uint32_t tag = u16(e), type = u16(e + 2), valueCount = u32(e + 4);
    const uint32_t value = type == 3 ? u16(e + 8) : type == 4 ? u32(e + 8) : 0;
    if (tag == 256) width = int(std::min<uint32_t>(value, INT32_MAX));
    if (tag == 257) height = int(std::min<uint32_t>(value, INT32_MAX));
    if (tag == 277) samples = int(std::clamp<uint32_t>(value, 1, 16));
    // Several samples store their bits elsewhere; 32 bits covers every depth we read.
    if (tag == 258) bits = valueCount == 1 && type == 3 ? int(std::clamp<uint32_t>(value, 1, 64)) : 32;
  }
  if (width <= 0 || height <= 0) return false;
  info.size = {width, height};
  info.channels = samples;
  info.bitsPerSample = bits;
  return true;
}

// The largest file that can hold the picture its header describes. Compressed data grows at most
// a little past the raw samples (LZW about 1.5 x, deflate and lossless WebP a few per cent, JPEG of
// noise at quality 100 about 1.5 bytes a sample); anything far beyond is not that picture.
uint64_t plausibleFileBytes(Format format, const ImageInfo& info, uint64_t riffSize) {
  const uint64_t pixels = uint64_t(std::max(info.size.width, 0)) * uint64_t(std::max(info.size.height, 0));
  const uint64_t raw =
      pixels * uint64_t(std::max(info.channels, 1)) * uint64_t((std::max(info.bitsPerSample, 8) + 7) / 8);
  switch (format) {
    case Format::JPEG:
      return raw * 3 + kExtrasAllowance;
    case Format::PNG:
      return raw + raw / 8 + uint64_t(info.size.height) * 8 + kExtrasAllowance;
    case Format::TIFF:
      // Several pages or a full-size preview may follow the first picture.
      return raw * 4 + 4 * kExtrasAllowance;
    case Format::WebP:
      return riffSize + 8;  // RIFF states its own size
    default:
      // RAW files: at most a few bytes a pixel at the ceiling, plus previews.
      return uint64_t(maxPixelCount()) * 4 + 4 * kExtrasAllowance;
  }
}

}  // namespace

bool Bytes::read(const std::string& path, size_t maxBytes, bool* whole, std::string* error) {
  ReadableFile file;
  if (!file.open(path, error)) return false;
  const uint64_t size = file.size();
  const uint64_t n = std::min<uint64_t>(size, maxBytes);
  if (whole) *whole = n == size;
  if (n == size && size > kHeaderProbeBytes) {
    // Decide from the header whether the file can be what it says before reading all of it: a huge
    // (even sparse) file named like an image must not take its size in memory.
    std::vector<uint8_t> head(kHeaderProbeBytes);
    if (!file.readAt(0, head.data(), head.size(), error)) return false;
    const std::string ext = lowerExtension(path);
    const Format format = detectFormat(head.data(), head.size(), ext);
    if (format == Format::Unknown && !isRawExtension(ext)) {
      if (error) *error = "unknown image format: " + path;
      return false;
    }
    ImageInfo info;
    bool known = format == Format::TIFF ? probeTiffHeader(file, head.data(), head.size(), info)
                 : format == Format::JPEG || format == Format::PNG || format == Format::WebP
                     ? readInfo(head.data(), head.size(), ext, info, nullptr)
                     : false;
    const uint64_t riff =
        uint64_t(head[4]) | uint64_t(head[5]) << 8 | uint64_t(head[6]) << 16 | uint64_t(head[7]) << 24;
    if (format == Format::WebP) known = true;
    if (known && format != Format::WebP && !isAcceptableImageSize(info.size.width, info.size.height)) {
      if (error)
        *error = "image size " + std::to_string(info.size.width) + "x" + std::to_string(info.size.height) +
                 " out of range: " + path;
      return false;
    }
    const uint64_t cap = known ? plausibleFileBytes(format, info, riff) : plausibleFileBytes(Format::RAW, info, 0);
    if (size > cap) {
      if (error)
        *error = "the file is larger (" + std::to_string(size) + " bytes) than its picture can be (" +
                 std::to_string(cap) + " bytes): " + path;
      return false;
    }
  }
  try {
    owned_.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    if (error) *error = "out of memory: " + path;
    return false;
  }
  // Read, not mapped: a file truncated by another program while we decode it must give an error,
  // not a bus error on a page that no longer exists.
  if (!file.readAt(0, owned_.data(), owned_.size(), error)) return false;
  data_ = owned_.data();
  size_ = size_t(n);
  return true;
}

Bytes::~Bytes() = default;

Format detectFormat(const uint8_t* d, size_t n, const std::string& ext) {
  if (!d || n < 12) return Format::Unknown;
  if (d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return Format::JPEG;
  if (std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return Format::PNG;
  if (std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "WEBP", 4) == 0) return Format::WebP;
  if (detail::isJPEG2000(d, n)) return Format::JPEG2000;
  const bool tiffMagic = (d[0] == 'I' && d[1] == 'I' && d[2] == 42 && d[3] == 0) ||
                         (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && d[3] == 42);
  if (tiffMagic) {
    if (detail::isDNG(d, n)) return Format::DNG;
    if (isRawExtension(ext) && ext != "tif" && ext != "tiff" && detail::isRawLibRaw(d, n)) return Format::RAW;
    return Format::TIFF;
  }
  if (isRawExtension(ext) && detail::isRawLibRaw(d, n)) return Format::RAW;
  return Format::Unknown;
}

bool Bitmap::allocate(int w, int h, int ch, int d) {
  if (!isAcceptableImageSize(w, h) || ch < 1 || ch > 4 || (d != 8 && d != 16 && d != 32)) return false;
  width = w;
  height = h;
  channels = ch;
  depth = d;
  try {
    pixels.resize(rowBytes() * size_t(h));
  } catch (const std::bad_alloc&) {
    pixels.clear();
    return false;
  }
  return true;
}

OrientationMap orientationMap(int o, int W, int H) {
  switch (o) {
    case 2:
      return {W - 1, -1, 0, 0, 0, 1};
    case 3:
      return {W - 1, -1, 0, H - 1, 0, -1};
    case 4:
      return {0, 1, 0, H - 1, 0, -1};
    case 5:
      return {0, 0, 1, 0, 1, 0};
    case 6:
      return {0, 0, 1, H - 1, -1, 0};
    case 7:
      return {W - 1, 0, -1, H - 1, -1, 0};
    case 8:
      return {W - 1, 0, -1, 0, 1, 0};
    default:
      return {0, 1, 0, 0, 0, 1};
  }
}

Size orientedSize(Size s, int o) { return o >= 5 && o <= 8 ? Size{s.height, s.width} : s; }

Bitmap orientBitmap(const Bitmap& src, int o) {
  if (o < 2 || o > 8 || src.empty()) return src;
  Size out = orientedSize({src.width, src.height}, o);
  Bitmap dst;
  if (!dst.allocate(out.width, out.height, src.channels, src.depth)) return {};
  const OrientationMap m = orientationMap(o, src.width, src.height);
  const size_t bpp = src.bytesPerPixel();
  parallelFor(out.height, rowsPerPiece(out.width), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      uint8_t* d = dst.row(y);
      for (int x = 0; x < out.width; ++x) {
        int sx = m.x0 + m.xx * x + m.xy * y, sy = m.y0 + m.yx * x + m.yy * y;
        std::memcpy(d + size_t(x) * bpp, src.row(sy) + size_t(sx) * bpp, bpp);
      }
    }
  });
  return dst;
}

int exifOrientation(const uint8_t* d, size_t n) {
  if (n >= 6 && std::memcmp(d, "Exif\0\0", 6) == 0) {
    d += 6;
    n -= 6;
  }
  if (n < 8) return 1;
  const bool le = d[0] == 'I' && d[1] == 'I';
  if (!le && !(d[0] == 'M' && d[1] == 'M')) return 1;
  auto u16 = [&](size_t o) -> unsigned { return le ? d[o] | (d[o + 1] << 8) : (d[o] << 8) | d[o + 1]; };
  auto u32 = [&](size_t o) -> uint32_t {
    return le ? uint32_t(d[o]) | uint32_t(d[o + 1]) << 8 | uint32_t(d[o + 2]) << 16 | uint32_t(d[o + 3]) << 24
              : uint32_t(d[o]) << 24 | uint32_t(d[o + 1]) << 16 | uint32_t(d[o + 2]) << 8 | uint32_t(d[o + 3]);
  };
  uint32_t ifd = u32(4);
  if (ifd > n - 2 || ifd < 8) return 1;
  unsigned count = u16(ifd);
  for (unsigned i = 0; i < count; ++i) {
    size_t e = size_t(ifd) + 2 + size_t(i) * 12;
    if (e + 12 > n) break;
    if (u16(e) == 0x0112) {
      unsigned v = u16(e + 8);
      return v >= 1 && v <= 8 ? int(v) : 1;
    }
  }
  return 1;
}

Bitmap to8Bit(const Bitmap& b) {
  if (b.depth == 8) return b;
  Bitmap out;
  if (!out.allocate(b.width, b.height, b.channels, 8)) return {};
  const size_t n = size_t(b.width) * size_t(b.channels);
  for (int y = 0; y < b.height; ++y) {
    uint8_t* o = out.row(y);
    if (b.depth == 16) {
      const uint16_t* s = reinterpret_cast<const uint16_t*>(b.row(y));
      for (size_t i = 0; i < n; ++i) o[i] = uint8_t((s[i] * 255u + 32767u) / 65535u);
    } else {
      const float* s = reinterpret_cast<const float*>(b.row(y));
      for (size_t i = 0; i < n; ++i) o[i] = uint8_t(std::clamp(s[i], 0.f, 1.f) * 255.f + 0.5f);
    }
  }
  return out;
}

namespace detail {
int chooseReduction(Size stored, int orientation, Size fit, const int* allowed, int count) {
  Size s = orientedSize(stored, orientation);
  if (s.isEmpty() || (fit.width <= 0 && fit.height <= 0)) return 1;
  // The picture is shown scaled to fit inside the box; it needs this scale of the full size.
  double t =
      std::min(fit.width > 0 ? double(fit.width) / s.width : 1e9, fit.height > 0 ? double(fit.height) / s.height : 1e9);
  if (t >= 1) return 1;
  int best = 1;
  for (int i = 0; i < count; ++i) {
    int k = allowed[i];
    // Reduced sizes round up, as the decoders do.
    long w = (s.width + k - 1) / k, h = (s.height + k - 1) / k;
    if (w + 0.5 >= t * s.width && h + 0.5 >= t * s.height && k > best) best = k;
  }
  return best;
}
int chooseEighths(Size stored, int orientation, Size fit) {
  Size s = orientedSize(stored, orientation);
  if (s.isEmpty() || (fit.width <= 0 && fit.height <= 0)) return 8;
  double t =
      std::min(fit.width > 0 ? double(fit.width) / s.width : 1e9, fit.height > 0 ? double(fit.height) / s.height : 1e9);
  for (int m = 1; m < 8; ++m) {
    long w = (long(s.width) * m + 7) / 8, h = (long(s.height) * m + 7) / 8;
    if (w + 0.5 >= t * s.width && h + 0.5 >= t * s.height) return m;
  }
  return 8;
}
}  // namespace detail

bool readInfo(const uint8_t* d, size_t n, const std::string& ext, ImageInfo& info, std::string* error) {
  switch (detectFormat(d, n, ext)) {
    case Format::JPEG:
      return detail::readInfoJPEG(d, n, info, error);
    case Format::PNG:
      if (!detail::readInfoPNG(d, n, info, error)) return false;
      if (info.orientation == 1) info.orientation = metadataOrientation(d, n);
      return true;
    case Format::TIFF:
      return detail::readInfoTIFF(d, n, info, error);
    case Format::WebP:
      return detail::readInfoWebP(d, n, info, error);
    case Format::JPEG2000:
      return detail::readInfoJPEG2000(d, n, info, error);
    case Format::RAW:
    case Format::DNG:
      return detail::readInfoRAW(d, n, info, error);
    default:
      if (error) *error = "unknown image format";
      return false;
  }
}

bool decode(const uint8_t* d, size_t n, const std::string& ext, const DecodeRequest& req, DecodeResult& res,
            std::string* error) {
  res.streamed = false;
  switch (detectFormat(d, n, ext)) {
    case Format::JPEG:
      return detail::decodeJPEG(d, n, req, res, error);
    case Format::PNG:
      if (!detail::decodePNG(d, n, req, res, error)) return false;
      // Older writers keep EXIF in a text chunk that libpng does not parse.
      if (res.info.orientation == 1) res.info.orientation = metadataOrientation(d, n);
      return true;
    case Format::TIFF:
      return detail::decodeTIFF(d, n, req, res, error);
    case Format::WebP:
      return detail::decodeWebP(d, n, req, res, error);
    case Format::JPEG2000:
      return detail::decodeJPEG2000(d, n, req, res, error);
    case Format::RAW:
    case Format::DNG:
      return detail::decodeRAW(d, n, req, res, error);
    default:
      if (error) *error = "unknown image format";
      return false;
  }
}

namespace {
// Encoded bytes with the options' metadata written in; empty when that fails.
std::vector<uint8_t> withMetadata(std::vector<uint8_t> out, const EncodeOptions& o, std::string* error) {
  if (!out.empty() && !o.metadata.empty() && !writeMetadata(out, o.metadata, error)) return {};
  return out;
}
}  // namespace

std::vector<uint8_t> encode(const Bitmap& b, const EncodeOptions& o, std::string* error) {
  if (b.empty() || b.channels < 1 || b.channels > 4 || (b.depth != 8 && b.depth != 16)) {
    if (error) *error = "nothing to encode";
    return {};
  }
  std::vector<uint8_t> out;
  switch (o.format) {
    case Format::JPEG:
      out = detail::encodeJPEG(b, o, error);
      break;
    case Format::PNG:
      out = detail::encodePNG(b, o, error);
      break;
    case Format::TIFF:
      out = detail::encodeTIFF(b, o, error);
      break;
    case Format::WebP:
      out = detail::encodeWebP(b, o, error);
      break;
    case Format::JPEG2000:
      out = detail::encodeJPEG2000(b, o, error);
      break;
    default:
      if (error) *error = "cannot write this format";
      return {};
  }
  return withMetadata(std::move(out), o, error);
}

std::vector<uint8_t> encodeJPEG(const RowSource& rows, const EncodeOptions& o, std::string* error) {
  if (rows.width <= 0 || rows.height <= 0 || rows.channels < 1 || rows.channels > 4 || !rows.row) {
    if (error) *error = "nothing to encode";
    return {};
  }
  return withMetadata(detail::encodeJPEGRows(rows, o, error), o, error);
}

}  // namespace rova::codecs
