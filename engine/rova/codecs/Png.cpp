// PNG through libpng: 1..16-bit grey, palette, RGB, alpha; ICC profiles; eXIf orientation.
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"

// No variable is changed between a setjmp and the jumps back to it, so none can be clobbered.
#pragma GCC diagnostic ignored "-Wclobbered"

namespace rova::codecs::detail {

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

struct Errors {
  std::string message;
};

void readFn(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (n > r->size - r->pos) png_error(png, "premature end of data");
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
}

void errorFn(png_structp png, png_const_charp msg) {
  auto* e = static_cast<Errors*>(png_get_error_ptr(png));
  if (e) e->message = msg ? msg : "error";
  png_longjmp(png, 1);
}
void warningFn(png_structp, png_const_charp) {}

// Sets up a reader and reads the header; false when the file is not a readable PNG.
bool openPNG(png_structp& png, png_infop& info, Reader& r, Errors& errs) {
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errs, errorFn, warningFn);
  if (!png) return false;
  info = png_create_info_struct(png);
  if (!info) return false;
  png_set_read_fn(png, &r, readFn);
  // Refuse absurd headers before libpng allocates anything for them.
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_set_chunk_cache_max(png, 1000);
  png_set_chunk_malloc_max(png, 16u << 20);
  return true;
}

void fillInfo(png_structp png, png_infop pi, ImageInfo& info) {
  png_uint_32 w = 0, h = 0;
  int depth = 0, color = 0;
  png_get_IHDR(png, pi, &w, &h, &depth, &color, nullptr, nullptr, nullptr);
  info.format = Format::PNG;
  info.size = {int(w), int(h)};
  info.bitsPerSample = depth == 16 ? 16 : 8;
  const bool trns = png_get_valid(png, pi, PNG_INFO_tRNS);
  info.hasAlpha = (color & PNG_COLOR_MASK_ALPHA) || trns;
  const bool grey = !(color & PNG_COLOR_MASK_COLOR);
  info.channels = (grey ? 1 : 3) + (info.hasAlpha ? 1 : 0);
  info.isFloat = false;
  png_charp name = nullptr;
  int comp = 0;
  png_bytep prof = nullptr;
  png_uint_32 len = 0;
  if (png_get_iCCP(png, pi, &name, &comp, &prof, &len) && prof && len) info.icc.assign(prof, prof + len);
#ifdef PNG_eXIf_SUPPORTED
  png_bytep exif = nullptr;
  png_uint_32 exifLen = 0;
  if (png_get_eXIf_1(png, pi, &exifLen, &exif) && exif) info.orientation = exifOrientation(exif, exifLen);
#endif
}

// Every chunk must lie inside the file. libpng trusts a chunk's stated length far enough to allocate
// and clear that much before it finds the data missing, so a few hundred bytes claiming a 2 GB text
// chunk would cost seconds; such files are refused before libpng sees them.
// For the header alone (headerOnly), the chunks before the first IDAT are enough.
bool chunksFit(const uint8_t* d, size_t n, bool headerOnly) {
  size_t at = 8;
  while (at + 12 <= n) {
    const uint32_t len = uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
    if (headerOnly && std::memcmp(d + at + 4, "IDAT", 4) == 0) return true;
    if (len > 0x7FFFFFFFu || len > n - at - 12) return false;
    if (std::memcmp(d + at + 4, "IEND", 4) == 0) return true;
    at += 12 + size_t(len);
  }
  return at == n;
}

}  // namespace

bool readInfoPNG(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  if (!chunksFit(d, n, true)) {
    if (error) *error = "PNG: premature end of data";
    return false;
  }
  Reader r{d, n, 0};
  Errors errs;
  png_structp png = nullptr;
  png_infop pi = nullptr;
  bool ok = openPNG(png, pi, r, errs);
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_read_info(png, pi);
    fillInfo(png, pi, info);
  } else {
    ok = false;
  }
  png_destroy_read_struct(&png, &pi, nullptr);
  if (!ok && error) *error = "PNG: " + errs.message;
  return ok;
}

bool decodePNG(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  if (!chunksFit(d, n, false)) {
    if (error) *error = "PNG: premature end of data";
    return false;
  }
  Reader r{d, n, 0};
  Errors errs;
  png_structp png = nullptr;
  png_infop pi = nullptr;
  std::vector<png_bytep> rows;
  bool ok = openPNG(png, pi, r, errs);
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_read_info(png, pi);
    fillInfo(png, pi, res.info);
    {
      // Deflate shrinks data at most about 1032:1: a file too short for its stated size is refused
      // before the bitmap is allocated.
      png_uint_32 w = 0, h = 0;
      int depth = 0, color = 0;
      png_get_IHDR(png, pi, &w, &h, &depth, &color, nullptr, nullptr, nullptr);
      const uint64_t raw = (uint64_t(w) * png_get_channels(png, pi) * uint64_t(depth) / 8 + 1) * h;
      if (raw > uint64_t(n) * 1100 + (1u << 20)) {
        errs.message = "data too short for the image size";
        png_longjmp(png, 1);
      }
    }
    png_set_expand(png);                                  // palette to RGB, low-bit grey to 8 bits, tRNS to alpha
    if (res.info.bitsPerSample == 16) png_set_swap(png);  // host order (little-endian)
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, pi);
    const int channels = png_get_channels(png, pi);
    const int depth = png_get_bit_depth(png, pi);
    if (!res.bitmap.allocate(res.info.size.width, res.info.size.height, channels, depth == 16 ? 16 : 8) ||
        res.bitmap.rowBytes() != png_get_rowbytes(png, pi)) {
      errs.message = "image size out of range";
      png_longjmp(png, 1);
    }
    rows.resize(size_t(res.bitmap.height));
    for (int y = 0; y < res.bitmap.height; ++y) rows[size_t(y)] = res.bitmap.row(y);
    for (int p = 0; p < passes; ++p)
      for (int y = 0; y < res.bitmap.height; ++y) {
        png_read_row(png, rows[size_t(y)], nullptr);
        if ((y & 63) == 0 && isCancelled(req.cancel)) {
          errs.message = "cancelled";
          png_longjmp(png, 1);
        }
      }
    png_read_end(png, nullptr);
    res.scale = 1.0;
    res.linear = false;
  } else {
    ok = false;
    res.bitmap = {};
  }
  png_destroy_read_struct(&png, &pi, nullptr);
  if (!ok && error) *error = "PNG: " + errs.message;
  return ok;
}

namespace {
void writeFn(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void flushFn(png_structp) {}
}  // namespace

std::vector<uint8_t> encodePNG(const Bitmap& src, const EncodeOptions& o, std::string* error) {
  Bitmap b8 = (o.depth == 8 && src.depth != 8) ? to8Bit(src) : Bitmap{};
  const Bitmap& b = b8.empty() ? src : b8;
  std::vector<uint8_t> out;
  Errors errs;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errs, errorFn, warningFn);
  png_infop pi = png ? png_create_info_struct(png) : nullptr;
  if (!png || !pi || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &pi);
    if (error) *error = "PNG: " + errs.message;
    return {};
  }
  png_set_write_fn(png, &out, writeFn, flushFn);
  static const int kTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                               PNG_COLOR_TYPE_RGB_ALPHA};
  png_set_IHDR(png, pi, png_uint_32(b.width), png_uint_32(b.height), b.depth, kTypes[b.channels], PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Level 3: on photographs about three times faster than zlib's default 6 for files some 10 %
  // larger at 8 bits (no larger at 16); a 24 MP export is otherwise seconds of deflate.
  png_set_compression_level(png, 3);
  if (!o.icc.empty()) png_set_iCCP(png, pi, "ICC Profile", 0, o.icc.data(), png_uint_32(o.icc.size()));
  png_write_info(png, pi);
  if (b.depth == 16) png_set_swap(png);
  for (int y = 0; y < b.height; ++y) png_write_row(png, const_cast<png_bytep>(b.row(y)));
  png_write_end(png, pi);
  png_destroy_write_struct(&png, &pi);
  return out;
}

}  // namespace rova::codecs::detail
