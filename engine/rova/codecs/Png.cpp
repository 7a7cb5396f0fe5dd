// PNG through libpng: 1..16-bit grey, palette, RGB, alpha; ICC profiles; eXIf orientation.
#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <opencv2/core.hpp>

#include <png.h>
#include <zlib.h>

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

namespace {

// PNG's row filters, chosen per row as libpng does by default: the one whose output bytes, read as
// signed, sum to the least magnitude.
uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filters `cur` (n bytes; `prev` the row above, or null for the first row) into out[0..n] (the filter
// type first).
void filterRow(const uint8_t* cur, const uint8_t* prev, size_t n, size_t bpp, uint8_t* out, uint8_t* scratch) {
  uint64_t best = UINT64_MAX;
  for (uint8_t type = 0; type < 5; ++type) {
    uint8_t* f = scratch;
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const int a = i >= bpp ? cur[i - bpp] : 0, b = prev ? prev[i] : 0, c = prev && i >= bpp ? prev[i - bpp] : 0;
      const uint8_t pred = type == 0 ? 0 : type == 1 ? uint8_t(a) : type == 2 ? uint8_t(b)
                                       : type == 3 ? uint8_t((a + b) / 2) : paeth(a, b, c);
      f[i] = uint8_t(cur[i] - pred);
      sum += uint64_t(std::abs(int(int8_t(f[i]))));
    }
    if (sum < best) {
      best = sum;
      out[0] = type;
      std::memcpy(out + 1, f, n);
    }
  }
}

// A row as PNG stores it: 16-bit samples big-endian.
void storedRow(const Bitmap& b, int y, uint8_t* out) {
  const uint8_t* in = b.row(y);
  const size_t n = b.rowBytes();
  if (b.depth != 16) {
    std::memcpy(out, in, n);
    return;
  }
  for (size_t i = 0; i + 1 < n; i += 2) out[i] = in[i + 1], out[i + 1] = in[i];
}

struct DeflatedPart {
  std::vector<uint8_t> bytes;
  uLong adler = 1, length = 0;
  bool ok = false;
};

// The filtered rows [r0, r1) deflated as one piece of a continuous raw deflate stream: the piece is
// primed with the filtered bytes that precede it (up to the 32 KB window), ends on a byte boundary
// (a sync flush) unless it is the last, and keeps the Adler-32 of its own bytes for the stream's
// trailer.
DeflatedPart deflateRows(const Bitmap& b, int r0, int r1, bool last, int level) {
  DeflatedPart part;
  const size_t n = b.rowBytes(), bpp = b.bytesPerPixel();
  std::vector<uint8_t> cur(n), prev(n), filtered(n + 1), scratch(n);
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK) return part;
  // The window: the filtered rows just before this piece.
  if (r0 > 0) {
    const int k = int(std::min<size_t>(size_t(r0), (32768 + n) / (n + 1)));
    std::vector<uint8_t> window;
    window.reserve(size_t(k) * (n + 1));
    bool havePrev = r0 - k > 0;
    if (havePrev) storedRow(b, r0 - k - 1, prev.data());
    for (int y = r0 - k; y < r0; ++y) {
      storedRow(b, y, cur.data());
      filterRow(cur.data(), havePrev ? prev.data() : nullptr, n, bpp, filtered.data(), scratch.data());
      window.insert(window.end(), filtered.begin(), filtered.end());
      std::swap(cur, prev);
      havePrev = true;
    }
    const size_t use = std::min<size_t>(window.size(), 32768);
    deflateSetDictionary(&z, window.data() + window.size() - use, uInt(use));
    storedRow(b, r0 - 1, prev.data());
  }
  part.bytes.resize(deflateBound(&z, uLong(size_t(r1 - r0) * (n + 1))) + 64);
  z.next_out = part.bytes.data();
  z.avail_out = uInt(part.bytes.size());
  for (int y = r0; y < r1; ++y) {
    storedRow(b, y, cur.data());
    filterRow(cur.data(), y > 0 ? prev.data() : nullptr, n, bpp, filtered.data(), scratch.data());
    part.adler = adler32(part.adler, filtered.data(), uInt(filtered.size()));
    part.length += uLong(filtered.size());
    z.next_in = filtered.data();
    z.avail_in = uInt(filtered.size());
    if (deflate(&z, Z_NO_FLUSH) != Z_OK || z.avail_in != 0) {
      deflateEnd(&z);
      return part;
    }
    std::swap(cur, prev);
  }
  const int end = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
  part.ok = last ? end == Z_STREAM_END : end == Z_OK;
  part.bytes.resize(part.bytes.size() - z.avail_out);
  deflateEnd(&z);
  return part;
}

// The zlib stream of the whole image's filtered rows, deflated in pieces on all cores; empty when a
// piece failed.
std::vector<uint8_t> deflateImageInParallel(const Bitmap& b, int level) {
  const size_t n = b.rowBytes() + 1;
  const int rowsPerPart = int(std::max<size_t>(1, (size_t(2) << 20) / n));
  const int parts = (b.height + rowsPerPart - 1) / rowsPerPart;
  std::vector<DeflatedPart> done(static_cast<size_t>(parts));
  cv::parallel_for_(cv::Range(0, parts), [&](const cv::Range& r) {
    for (int i = r.start; i < r.end; ++i) {
      const int r0 = i * rowsPerPart, r1 = std::min(b.height, r0 + rowsPerPart);
      done[size_t(i)] = deflateRows(b, r0, r1, i + 1 == parts, level);
    }
  });
  std::vector<uint8_t> stream = {0x78, 0x5E};  // deflate, 32 KB window, "fast" level, no dictionary
  uLong adler = 1;
  size_t total = 6;
  for (const auto& p : done) total += p.bytes.size();
  stream.reserve(total);
  for (const auto& p : done) {
    if (!p.ok) return {};
    stream.insert(stream.end(), p.bytes.begin(), p.bytes.end());
    adler = adler32_combine(adler, p.adler, z_off_t(p.length));
  }
  for (int shift : {24, 16, 8, 0}) stream.push_back(uint8_t(adler >> shift));
  return stream;
}

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
  // Large pictures: the image data is filtered and deflated in pieces on all cores and written as
  // IDAT chunks of our own (the same filters and level libpng would use; the file is a few bytes
  // larger where the pieces meet).
  std::vector<uint8_t> idat;
  if (int64_t(b.width) * b.height >= (1 << 21) && cv::getNumThreads() > 1) {
    idat = deflateImageInParallel(b, 3);
    if (idat.empty()) {
      png_destroy_write_struct(&png, &pi);
      if (error) *error = "PNG: the image data could not be compressed";
      return {};
    }
  }
  png_write_info(png, pi);
  if (!idat.empty()) {
    static const png_byte kIDAT[5] = {'I', 'D', 'A', 'T', 0}, kIEND[5] = {'I', 'E', 'N', 'D', 0};
    constexpr size_t kChunk = size_t(1) << 20;
    for (size_t at = 0; at < idat.size(); at += kChunk)
      png_write_chunk(png, kIDAT, idat.data() + at, std::min(kChunk, idat.size() - at));
    png_write_chunk(png, kIEND, nullptr, 0);
  } else {
    if (b.depth == 16) png_set_swap(png);
    for (int y = 0; y < b.height; ++y) png_write_row(png, const_cast<png_bytep>(b.row(y)));
    png_write_end(png, pi);
  }
  png_destroy_write_struct(&png, &pi);
  return out;
}

}  // namespace rova::codecs::detail
