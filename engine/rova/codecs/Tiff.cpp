// TIFF through libtiff: 8/16-bit integer and 32-bit float, strips and tiles, any libtiff
// compression (LZW, ZIP, JPEG, ...); other layouts go through libtiff's RGBA reader.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include <opencv2/core.hpp>

#include <tiffio.h>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"

namespace rova::codecs::detail {

namespace {

// The largest single buffer libtiff may allocate for one file (strips, tiles, tag arrays).
constexpr tmsize_t kMaxTiffAlloc = tmsize_t(1) << 30;

struct MemFile {
  const uint8_t* data = nullptr;        // reading
  std::vector<uint8_t>* out = nullptr;  // writing
  size_t size = 0;
  size_t pos = 0;
  std::string error;
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemFile*>(h);
  if (f->out) {
    size_t avail = f->pos < f->out->size() ? f->out->size() - f->pos : 0;
    size_t k = std::min(avail, size_t(n));
    std::memcpy(buf, f->out->data() + f->pos, k);
    f->pos += k;
    return tmsize_t(k);
  }
  size_t avail = f->pos < f->size ? f->size - f->pos : 0;
  size_t k = std::min(avail, size_t(n));
  std::memcpy(buf, f->data + f->pos, k);
  f->pos += k;
  return tmsize_t(k);
}

tmsize_t writeProc(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemFile*>(h);
  if (!f->out || n < 0) return -1;
  // Bytes past the end are appended rather than zero-filled first and then copied over (libtiff
  // writes a large picture's strips at the end, one after the other).
  const auto* src = static_cast<const uint8_t*>(buf);
  if (f->pos > f->out->size()) f->out->resize(f->pos);  // a seek past the end leaves zeros between
  const size_t overlap = std::min(f->pos + size_t(n), f->out->size()) - f->pos;
  std::memcpy(f->out->data() + f->pos, src, overlap);
  f->out->insert(f->out->end(), src + overlap, src + n);
  f->pos += size_t(n);
  return n;
}

toff_t seekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemFile*>(h);
  size_t size = f->out ? f->out->size() : f->size;
  size_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : size;
  f->pos = base + size_t(off);
  return toff_t(f->pos);
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) {
  auto* f = static_cast<MemFile*>(h);
  return toff_t(f->out ? f->out->size() : f->size);
}
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  char buf[512];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (user) static_cast<MemFile*>(user)->error = buf;
  return 1;
}
int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr openMem(MemFile& f, const char* mode) {
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, kMaxTiffAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(opts, onError, &f);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, onWarning, &f);
  TIFF* t = TIFFClientOpenExt("memory", mode, &f, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
                              unmapProc, opts);
  TIFFOpenOptionsFree(opts);
  return TiffPtr(t);
}

struct Layout {
  uint32_t width = 0, height = 0;
  uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK,
           planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT, compression = COMPRESSION_NONE;
  uint16_t extraCount = 0;
  bool associatedAlpha = false;  // the first extra sample is premultiplied alpha
  bool direct = false;           // readable sample by sample into our bitmap
  int baseChannels = 0, outChannels = 0;
};

Layout readLayout(TIFF* t) {
  Layout l;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &l.width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &l.height);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &l.bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &l.format);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &l.planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &l.orientation);
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &l.compression);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &l.photometric))
    l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  uint16_t* extra = nullptr;
  TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &l.extraCount, &extra);
  l.associatedAlpha = l.extraCount > 0 && extra && extra[0] == EXTRASAMPLE_ASSOCALPHA;
  if (l.photometric == PHOTOMETRIC_YCBCR && l.compression == COMPRESSION_JPEG) {
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    l.photometric = PHOTOMETRIC_RGB;
  }
  const bool intDepth = l.format == SAMPLEFORMAT_UINT && (l.bps == 8 || l.bps == 16);
  const bool floatDepth = l.format == SAMPLEFORMAT_IEEEFP && l.bps == 32;
  l.baseChannels = l.photometric == PHOTOMETRIC_RGB ? 3 : (l.photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0);
  l.direct = (intDepth || floatDepth) && l.baseChannels > 0 && l.spp >= l.baseChannels &&
             (l.planar == PLANARCONFIG_CONTIG || !TIFFIsTiled(t));
  const bool alpha = l.spp > l.baseChannels && l.extraCount > 0;
  l.outChannels = l.baseChannels + (alpha ? 1 : 0);
  return l;
}

void fillInfo(TIFF* t, const Layout& l, ImageInfo& info) {
  info.format = Format::TIFF;
  info.size = {int(std::min<uint32_t>(l.width, INT32_MAX)), int(std::min<uint32_t>(l.height, INT32_MAX))};
  info.bitsPerSample = l.direct ? l.bps : 8;
  info.isFloat = l.direct && l.format == SAMPLEFORMAT_IEEEFP;
  info.channels = l.direct ? l.outChannels : 4;
  info.hasAlpha = l.direct ? l.outChannels == 2 || l.outChannels == 4 : l.extraCount > 0;
  // libtiff's RGBA reader hands out associated alpha whatever the file stores.
  info.premultipliedAlpha = info.hasAlpha && (!l.direct || l.associatedAlpha);
  info.orientation = l.orientation >= 1 && l.orientation <= 8 ? l.orientation : 1;
  uint32_t iccLen = 0;
  void* icc = nullptr;
  if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccLen, &icc) && icc && iccLen)
    info.icc.assign(static_cast<uint8_t*>(icc), static_cast<uint8_t*>(icc) + iccLen);
}

// Copies one decoded row of `spp` interleaved samples into the bitmap row (keeping outChannels).
void copyRow(const uint8_t* src, uint8_t* dst, uint32_t pixels, const Layout& l, size_t bytesPerSample) {
  if (l.spp == l.outChannels) {
    std::memcpy(dst, src, pixels * l.spp * bytesPerSample);
    return;
  }
  for (uint32_t x = 0; x < pixels; ++x)
    std::memcpy(dst + size_t(x) * l.outChannels * bytesPerSample, src + size_t(x) * l.spp * bytesPerSample,
                size_t(l.outChannels) * bytesPerSample);
}

bool readDirect(TIFF* t, const Layout& l, Bitmap& b, const CancelFlag& cancel, MemFile& f) {
  const size_t bps = l.bps / 8;
  if (TIFFIsTiled(t)) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(t, TIFFTAG_TILELENGTH, &th);
    tmsize_t tileSize = TIFFTileSize(t);
    if (tw == 0 || th == 0 || tileSize <= 0 || uint64_t(tw) * th * l.spp * bps > uint64_t(tileSize)) {
      f.error = "bad tile layout";
      return false;
    }
    std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
    for (uint32_t ty = 0; ty < l.height; ty += th)
      for (uint32_t tx = 0; tx < l.width; tx += tw) {
        if (isCancelled(cancel)) {
          f.error = "cancelled";
          return false;
        }
        if (TIFFReadTile(t, tile.data(), tx, ty, 0, 0) < 0) return false;
        uint32_t w = std::min(tw, l.width - tx), h = std::min(th, l.height - ty);
        for (uint32_t y = 0; y < h; ++y)
          copyRow(tile.data() + size_t(y) * tw * l.spp * bps, b.row(int(ty + y)) + size_t(tx) * l.outChannels * bps, w,
                  l, bps);
      }
    return true;
  }
  tmsize_t lineSize = TIFFScanlineSize(t);
  if (lineSize <= 0) return false;
  std::vector<uint8_t> line(static_cast<size_t>(lineSize));
  if (l.planar == PLANARCONFIG_CONTIG) {
    if (size_t(lineSize) < size_t(l.width) * l.spp * bps) return false;
    for (uint32_t y = 0; y < l.height; ++y) {
      if (TIFFReadScanline(t, line.data(), y, 0) < 0) return false;
      copyRow(line.data(), b.row(int(y)), l.width, l, bps);
      if ((y & 63) == 0 && isCancelled(cancel)) {
        f.error = "cancelled";
        return false;
      }
    }
    return true;
  }
  // Separate planes, stored strip by strip: one plane at a time.
  if (size_t(lineSize) < size_t(l.width) * bps) return false;
  for (int c = 0; c < l.outChannels; ++c)
    for (uint32_t y = 0; y < l.height; ++y) {
      if (TIFFReadScanline(t, line.data(), y, uint16_t(c)) < 0) return false;
      uint8_t* row = b.row(int(y));
      for (uint32_t x = 0; x < l.width; ++x)
        std::memcpy(row + (size_t(x) * l.outChannels + c) * bps, line.data() + size_t(x) * bps, bps);
      if ((y & 63) == 0 && isCancelled(cancel)) {
        f.error = "cancelled";
        return false;
      }
    }
  return true;
}

}  // namespace

bool isDNG(const uint8_t* d, size_t n) {
  MemFile f;
  f.data = d;
  f.size = n;
  TiffPtr t = openMem(f, "r");
  if (!t) return false;
  void* version = nullptr;
  return TIFFGetField(t.get(), TIFFTAG_DNGVERSION, &version) != 0;
}

bool readInfoTIFF(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  MemFile f;
  f.data = d;
  f.size = n;
  TiffPtr t = openMem(f, "r");
  if (!t) {
    if (error) *error = "TIFF: " + (f.error.empty() ? std::string("cannot open") : f.error);
    return false;
  }
  fillInfo(t.get(), readLayout(t.get()), info);
  return true;
}

bool decodeTIFF(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  MemFile f;
  f.data = d;
  f.size = n;
  auto fail = [&](const std::string& why) {
    if (error) *error = "TIFF: " + (f.error.empty() ? why : f.error);
    res.bitmap = {};
    return false;
  };
  TiffPtr t = openMem(f, "r");
  if (!t) return fail("cannot open");
  Layout l = readLayout(t.get());
  fillInfo(t.get(), l, res.info);
  if (!isAcceptableImageSize(l.width, l.height)) {
    f.error.clear();
    return fail("image size out of range");
  }
  // No TIFF compression we read shrinks data by more than about 4096:1 (LZW's longest code); a file
  // too short for its stated size is refused before the bitmap is allocated.
  const uint64_t raw = uint64_t(l.width) * l.height * l.spp * std::max<uint16_t>(l.bps, 1) / 8;
  if (raw > uint64_t(n) * (l.compression == COMPRESSION_NONE ? 1 : 4200) + (1u << 20)) {
    f.error.clear();
    return fail("data too short for the image size");
  }
  res.scale = 1.0;
  res.linear = false;
  if (l.direct) {
    if (!res.bitmap.allocate(int(l.width), int(l.height), l.outChannels, l.bps)) return fail("out of memory");
    if (!readDirect(t.get(), l, res.bitmap, req.cancel, f)) return fail("read error");
    return true;
  }
  if (l.format == SAMPLEFORMAT_IEEEFP) return fail("unsupported floating-point layout");
  // Everything else (palette, CMYK, YCbCr, bit depths below 8, ...) through the RGBA reader, kept in
  // stored orientation: the reader applies the orientation like every other format.
  char why[1024] = {};
  if (!TIFFRGBAImageOK(t.get(), why)) return fail(why);
  std::vector<uint32_t> raster;
  try {
    raster.resize(size_t(l.width) * l.height);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
  if (!TIFFReadRGBAImageOriented(t.get(), l.width, l.height, raster.data(), res.info.orientation, 0))
    return fail("read error");
  const int ch = l.extraCount > 0 ? 4 : 3;
  if (!res.bitmap.allocate(int(l.width), int(l.height), ch, 8)) return fail("out of memory");
  for (uint32_t y = 0; y < l.height; ++y) {
    uint8_t* row = res.bitmap.row(int(y));
    const uint32_t* s = raster.data() + size_t(y) * l.width;
    for (uint32_t x = 0; x < l.width; ++x) {
      row[x * ch] = uint8_t(TIFFGetR(s[x]));
      row[x * ch + 1] = uint8_t(TIFFGetG(s[x]));
      row[x * ch + 2] = uint8_t(TIFFGetB(s[x]));
      if (ch == 4) row[x * ch + 3] = uint8_t(TIFFGetA(s[x]));
    }
  }
  res.info.channels = ch;
  res.info.bitsPerSample = 8;
  return true;
}

namespace {

struct TiffWriteSettings {
  uint16_t compression = COMPRESSION_NONE;
  bool jpeg = false;
  uint32_t rowsPerStrip = 1;
};

TiffWriteSettings tiffWriteSettings(const Bitmap& b, const EncodeOptions& o) {
  TiffWriteSettings w;
  w.jpeg = o.tiffCompression == TiffCompression::JPEG && b.depth == 8 && b.channels == 3;
  w.compression = w.jpeg                                           ? COMPRESSION_JPEG
                  : o.tiffCompression == TiffCompression::LZW      ? COMPRESSION_LZW
                  : o.tiffCompression == TiffCompression::ZIP      ? COMPRESSION_ADOBE_DEFLATE
                  : o.tiffCompression == TiffCompression::PackBits ? COMPRESSION_PACKBITS
                                                                   : COMPRESSION_NONE;
  w.rowsPerStrip = uint32_t(std::max<size_t>(1, (256u << 10) / b.rowBytes()));
  if (w.jpeg) w.rowsPerStrip = std::max<uint32_t>(16, w.rowsPerStrip / 16 * 16);  // whole JPEG MCU rows
  return w;
}

// The tags of a picture of `height` rows of the bitmap's layout, compressed as `w` says.
void setTiffTags(TIFF* tif, const Bitmap& b, const EncodeOptions& o, const TiffWriteSettings& w, uint32_t height,
                 bool withProfile) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(b.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(b.channels));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(b.depth));
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, b.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (b.channels == 2 || b.channels == 4) {
    uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  TIFFSetField(tif, TIFFTAG_COMPRESSION, w.compression);
  if (w.jpeg) {
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    int q = int(o.quality * 100 + 0.5);
    TIFFSetField(tif, TIFFTAG_JPEGQUALITY, q < 1 ? 1 : q > 100 ? 100 : q);
  } else if (w.compression == COMPRESSION_LZW || w.compression == COMPRESSION_ADOBE_DEFLATE) {
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  }
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::min(w.rowsPerStrip, height));
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0f);
  if (withProfile && !o.icc.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(o.icc.size()), o.icc.data());
}

// Rows [y0, y1) through libtiff's encoder into `tif`, whose tags are set; false with the reason.
bool writeTiffRows(TIFF* tif, const Bitmap& b, int y0, int y1, MemFile& f, std::string* error) {
  std::vector<uint8_t> row(b.rowBytes());
  for (int y = y0; y < y1; ++y) {
    std::memcpy(row.data(), b.row(y), row.size());  // libtiff may modify the buffer (predictor)
    if (TIFFWriteScanline(tif, row.data(), uint32_t(y - y0), 0) < 0) {
      if (error) *error = "TIFF: " + f.error;
      return false;
    }
  }
  return true;
}

// Uncompressed strips are the rows themselves, in the host's byte order, which is the order libtiff
// writes a new file in: each strip goes to the file whole instead of a scanline at a time through
// libtiff's strip buffer (two copies of every byte fewer on a 144 MB 16-bit picture).
bool writeRawStrips(TIFF* tif, const Bitmap& b, uint32_t rowsPerStrip, MemFile& f, std::string* error) {
  const size_t rowBytes = b.rowBytes();
  const bool contiguous = b.height < 2 || b.row(1) == b.row(0) + rowBytes;
  std::vector<uint8_t> gathered;
  uint32_t strip = 0;
  for (int y0 = 0; y0 < b.height; y0 += int(rowsPerStrip), ++strip) {
    const int n = std::min(int(rowsPerStrip), b.height - y0);
    const uint8_t* data = b.row(y0);
    if (!contiguous) {
      gathered.resize(size_t(n) * rowBytes);
      for (int k = 0; k < n; ++k) std::memcpy(gathered.data() + size_t(k) * rowBytes, b.row(y0 + k), rowBytes);
      data = gathered.data();
    }
    if (TIFFWriteRawStrip(tif, strip, const_cast<uint8_t*>(data), tmsize_t(size_t(n) * rowBytes)) < 0) {
      if (error) *error = "TIFF: " + f.error;
      return false;
    }
  }
  return true;
}

// The compressed bytes of one strip (rows [y0, y1)), made by an encoder of its own: strips are
// compressed independently (the predictor works within a row), so a picture's strips can be made
// on several cores and written raw, in order, into the file.
bool compressTiffStrip(const Bitmap& b, const EncodeOptions& o, const TiffWriteSettings& w, int y0, int y1,
                       std::vector<uint8_t>& strip, std::string* error) {
  std::vector<uint8_t> mini;
  mini.reserve(size_t(y1 - y0) * b.rowBytes() + 4096);
  MemFile f;
  f.out = &mini;
  {
    TiffPtr t = openMem(f, "w");
    if (!t) return false;
    setTiffTags(t.get(), b, o, w, uint32_t(y1 - y0), false);
    if (!writeTiffRows(t.get(), b, y0, y1, f, error) || !TIFFWriteDirectory(t.get())) return false;
  }
  MemFile r;
  r.data = mini.data();
  r.size = mini.size();
  TiffPtr t = openMem(r, "r");
  if (!t || TIFFNumberOfStrips(t.get()) != 1) return false;
  uint64_t* counts = nullptr;
  if (!TIFFGetField(t.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts) return false;
  strip.resize(size_t(counts[0]));
  return TIFFReadRawStrip(t.get(), 0, strip.data(), tmsize_t(strip.size())) == tmsize_t(strip.size());
}

}  // namespace

std::vector<uint8_t> encodeTIFF(const Bitmap& src, const EncodeOptions& o, std::string* error) {
  Bitmap b8 = (o.depth == 8 && src.depth != 8) ? to8Bit(src) : Bitmap{};
  const Bitmap& b = b8.empty() ? src : b8;
  const TiffWriteSettings w = tiffWriteSettings(b, o);
  const uint32_t strips = (uint32_t(b.height) + w.rowsPerStrip - 1) / w.rowsPerStrip;
  // Compression is the slow part of a large TIFF: its strips are made on all cores. (JPEG-in-TIFF
  // shares its tables between strips, so it stays with libtiff's own writer.)
  const bool parallel = w.compression != COMPRESSION_NONE && !w.jpeg && strips > 1 &&
                        int64_t(b.width) * b.height >= (1 << 21) && cv::getNumThreads() > 1;
  std::vector<std::vector<uint8_t>> parts(parallel ? strips : 0);
  if (parallel) {
    std::atomic<bool> ok{true};
    std::vector<std::string> errors(strips);
    cv::parallel_for_(cv::Range(0, int(strips)), [&](const cv::Range& r) {
      for (int i = r.start; i < r.end && ok.load(std::memory_order_relaxed); ++i) {
        const int y0 = int(uint32_t(i) * w.rowsPerStrip), y1 = std::min(b.height, y0 + int(w.rowsPerStrip));
        if (!compressTiffStrip(b, o, w, y0, y1, parts[size_t(i)], &errors[size_t(i)])) ok.store(false);
      }
    });
    if (!ok.load()) {
      if (error) {
        auto found = std::find_if(errors.begin(), errors.end(), [](const std::string& e) { return !e.empty(); });
        *error = found != errors.end() ? *found : "TIFF: a strip could not be compressed";
      }
      return {};
    }
  }

  std::vector<uint8_t> out;
  // The directory comes last, with an offset and a byte count for every strip: room for it all, so
  // the buffer never grows (a 144 MB picture was copied whole into a larger one for its directory).
  size_t expected = 4096 + o.icc.size() + size_t(strips) * 16;
  if (parallel)
    for (const auto& part : parts) expected += part.size();
  else
    expected += w.compression == COMPRESSION_NONE ? size_t(b.height) * b.rowBytes() : 0;
  out.reserve(expected);
  rova::detail::preferHugePages(out.data(), out.capacity());
  MemFile f;
  f.out = &out;
  {
    TiffPtr t = openMem(f, "w");
    if (!t) {
      if (error) *error = "TIFF: cannot create";
      return {};
    }
    TIFF* tif = t.get();
    setTiffTags(tif, b, o, w, uint32_t(b.height), true);
    if (parallel) {
      for (uint32_t i = 0; i < strips; ++i)
        if (TIFFWriteRawStrip(tif, i, parts[i].data(), tmsize_t(parts[i].size())) < 0) {
          if (error) *error = "TIFF: " + f.error;
          return {};
        }
    } else if (w.compression == COMPRESSION_NONE && std::endian::native == std::endian::little) {
      if (!writeRawStrips(tif, b, w.rowsPerStrip, f, error)) return {};
    } else if (!writeTiffRows(tif, b, 0, b.height, f, error)) {
      return {};
    }
    if (!TIFFWriteDirectory(tif)) {
      if (error) *error = "TIFF: " + f.error;
      return {};
    }
  }
  return out;
}

}  // namespace rova::codecs::detail
