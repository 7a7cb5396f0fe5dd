// JPEG through libjpeg-turbo: DCT-scaled decoding for previews, ICC profiles, EXIF orientation.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include <opencv2/core.hpp>

#include <jerror.h>
#include <jpeglib.h>

#include "rova/ImageData.h"

#include "rova/codecs/Codecs.h"

// No variable is changed between a setjmp and the jumps back to it, so none can be clobbered.
#pragma GCC diagnostic ignored "-Wclobbered"

namespace rova::codecs::detail {

namespace {

// Progressive files can hold any number of scans; a few hundred is already far beyond real ones.
constexpr int kMaxScans = 500;

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  longjmp(e->jump, 1);
}

// libjpeg only warns about damaged data and goes on, inventing grey or garbled blocks for what it
// could not decode. A picture with invented parts is no picture of the file: those warnings are
// errors. (Extraneous bytes before other markers, which many cameras write before the end marker,
// and odd but decodable progressions stay warnings.)
void onMessage(j_common_ptr c, int level) {
  if (level >= 0) return;
  const int code = c->err->msg_code;
  // Bytes left over before a restart marker: a damaged segment decoded into something else.
  const bool beforeRestart =
      code == JWRN_EXTRANEOUS_DATA && c->err->msg_parm.i[1] >= 0xD0 && c->err->msg_parm.i[1] <= 0xD7;
  if (code != JWRN_JPEG_EOF && code != JWRN_HIT_MARKER && code != JWRN_MUST_RESYNC && code != JWRN_HUFF_BAD_CODE &&
      !beforeRestart)
    return;
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  char text[JMSG_LENGTH_MAX];
  (*c->err->format_message)(c, text);
  std::snprintf(e->message, JMSG_LENGTH_MAX, "%s", code == JWRN_JPEG_EOF ? "premature end of data" : text);
  longjmp(e->jump, 5);
}

struct Progress {
  jpeg_progress_mgr pub;
  const CancelFlag* cancel;
};

void onProgress(j_common_ptr c) {
  auto* p = reinterpret_cast<Progress*>(c->progress);
  if (isCancelled(*p->cancel)) {
    std::snprintf(reinterpret_cast<ErrorManager*>(c->err)->message, JMSG_LENGTH_MAX, "cancelled");
    longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 2);
  }
  if (c->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (d->input_scan_number > kMaxScans) {
      std::snprintf(reinterpret_cast<ErrorManager*>(c->err)->message, JMSG_LENGTH_MAX, "too many scans");
      longjmp(reinterpret_cast<ErrorManager*>(c->err)->jump, 3);
    }
  }
}

void setupErrors(jpeg_decompress_struct& cinfo, ErrorManager& err) {
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.emit_message = onMessage;
  err.pub.output_message = [](j_common_ptr) {};
  err.message[0] = 0;
}

void collectMarkers(jpeg_decompress_struct& cinfo, ImageInfo& info) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      info.orientation = exifOrientation(m->data, m->data_length);
      break;
    }
  JOCTET* icc = nullptr;
  unsigned int iccLen = 0;
  if (jpeg_read_icc_profile(&cinfo, &icc, &iccLen) && icc) {
    info.icc.assign(icc, icc + iccLen);
    free(icc);
  }
}

void fillInfo(jpeg_decompress_struct& cinfo, ImageInfo& info) {
  info.format = Format::JPEG;
  info.size = {int(cinfo.image_width), int(cinfo.image_height)};
  info.bitsPerSample = 8;
  info.channels = cinfo.num_components == 1 ? 1 : 3;
  info.hasAlpha = false;
  info.isFloat = false;
  collectMarkers(cinfo, info);
}

// The libjpeg quality (1-100) of the options' 0..1 quality.
int jpegQuality(const EncodeOptions& o) {
  const int q = int(o.quality * 100 + 0.5);
  return q < 1 ? 1 : (q > 100 ? 100 : q);
}

// High qualities keep full colour resolution (4:4:4); lower ones halve it both ways (4:2:0).
bool jpegKeepsFullChroma(const EncodeOptions& o, bool grey) { return !grey && jpegQuality(o) >= 90; }

// Where a baseline file's entropy-coded data breaks at restart markers that fall on MCU-row starts.
// Such a file splits into bands that decode on their own, each a small JPEG of its own: the same
// headers with a band's height, and that band's segments. Solvane's own files restart every MCU row;
// many cameras write restart markers as well.
struct RestartLayout {
  size_t headerEnd = 0;  // just after the SOS segment
  size_t heightPos = 0;  // the frame height in the SOF segment
  int width = 0, height = 0, mcuHeight = 8, mcuRows = 0, segmentsPerRow = 0, maxV = 1;
  std::vector<std::pair<size_t, size_t>> segments;  // entropy data between restart markers
};

int readU16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

bool findRestartLayout(const uint8_t* d, size_t n, RestartLayout& l) {
  if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
  size_t pos = 2;
  int interval = 0, components = 0, maxH = 1;
  for (;;) {
    while (pos < n && d[pos] == 0xFF && pos + 1 < n && d[pos + 1] == 0xFF) ++pos;  // fill bytes
    if (pos + 4 > n || d[pos] != 0xFF) return false;
    const int code = d[pos + 1];
    const size_t len = size_t(readU16(d + pos + 2));
    if (len < 2 || pos + 2 + len > n) return false;
    const uint8_t* seg = d + pos + 4;
    if (code == 0xC0 || code == 0xC1) {
      if (len < 8) return false;
      l.heightPos = pos + 5;
      l.height = readU16(seg + 1);
      l.width = readU16(seg + 3);
      components = seg[5];
      if (components < 1 || len < size_t(8 + 3 * components)) return false;
      for (int c = 0; c < components; ++c) {
        maxH = std::max(maxH, seg[6 + 3 * c + 1] >> 4);
        l.maxV = std::max(l.maxV, seg[6 + 3 * c + 1] & 15);
      }
    } else if ((code >= 0xC2 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) || code == 0xDC) {
      return false;  // progressive, lossless, arithmetic or DNL: decode those in one piece
    } else if (code == 0xDD) {
      if (len != 4) return false;
      interval = readU16(seg);
    } else if (code == 0xDA) {
      if (components == 0 || len < 3 || seg[0] != components) return false;  // one interleaved scan only
      l.headerEnd = pos + 2 + len;
      break;
    } else if (code == 0xD9) {
      return false;
    }
    pos += 2 + len;
  }
  if (interval <= 0 || l.width <= 0 || l.height <= 0) return false;
  const int mcuW = components == 1 ? 8 : 8 * maxH;
  l.mcuHeight = components == 1 ? 8 : 8 * l.maxV;
  const int mcusPerRow = (l.width + mcuW - 1) / mcuW;
  l.mcuRows = (l.height + l.mcuHeight - 1) / l.mcuHeight;
  if (mcusPerRow % interval != 0) return false;
  l.segmentsPerRow = mcusPerRow / interval;
  const size_t expected = size_t(l.segmentsPerRow) * size_t(l.mcuRows);
  l.segments.reserve(expected);
  size_t start = l.headerEnd;
  for (size_t i = l.headerEnd; i + 1 < n; ++i) {
    // Entropy-coded data holds 0xFF rarely (stuffed or before a marker): jump from one to the next.
    const void* ff = std::memchr(d + i, 0xFF, n - 1 - i);
    if (!ff) break;
    i = size_t(static_cast<const uint8_t*>(ff) - d);
    const uint8_t next = d[i + 1];
    if (next == 0x00 || next == 0xFF) continue;  // stuffed byte or fill
    if (next >= 0xD0 && next <= 0xD7) {
      l.segments.emplace_back(start, i);
      start = i + 2;
      ++i;
      continue;
    }
    if (next != 0xD9) return false;  // anything but the end of the image after the scan
    l.segments.emplace_back(start, i);
    return l.segments.size() == expected;
  }
  return false;  // no end marker: truncated, which the one-piece decode reports
}

struct BandSettings {
  unsigned scale;
  J_COLOR_SPACE colorSpace;
  bool fast;
  const CancelFlag* cancel;
};

// Where decoded rows go: the bitmap's rows, or a row sink (through a small buffer per band).
struct BandTarget {
  int width = 0, height = 0, channels = 0;
  Bitmap* bitmap = nullptr;
  RowSink* sink = nullptr;
};

// Decodes MCU rows [row0, row1) into the target rows from `outRow0` on; false on any fault.
bool decodeBand(const uint8_t* d, const RestartLayout& l, int row0, int row1, const BandSettings& s,
                const BandTarget& out, int outRow0) {
  const size_t first = size_t(row0) * size_t(l.segmentsPerRow), last = size_t(row1) * size_t(l.segmentsPerRow);
  size_t bytes = l.headerEnd;
  for (size_t i = first; i < last; ++i) bytes += l.segments[i].second - l.segments[i].first + 2;
  std::vector<uint8_t> band;
  band.reserve(bytes);
  band.assign(d, d + l.headerEnd);
  const int bandHeight = std::min(l.height, row1 * l.mcuHeight) - row0 * l.mcuHeight;
  band[l.heightPos] = uint8_t(bandHeight >> 8);
  band[l.heightPos + 1] = uint8_t(bandHeight & 255);
  for (size_t i = first; i < last; ++i) {
    const auto [a, b] = l.segments[i];
    band.insert(band.end(), d + a, d + b);
    band.push_back(0xFF);
    band.push_back(i + 1 < last ? uint8_t(0xD0 + (i - first) % 8) : uint8_t(0xD9));
  }
  constexpr int kRowsPerCall = 16;
  const size_t rowBytes = size_t(out.width) * size_t(out.channels);
  std::vector<uint8_t> buffer(out.sink ? rowBytes * kRowsPerCall : 0);
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  setupErrors(cinfo, err);
  jpeg_create_decompress(&cinfo);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_mem_src(&cinfo, band.data(), static_cast<unsigned long>(band.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = s.scale;
  cinfo.scale_denom = 8;
  cinfo.out_color_space = s.colorSpace;
  if (s.fast) {
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
  }
  jpeg_start_decompress(&cinfo);
  bool ok = int(cinfo.output_width) == out.width && int(cinfo.output_components) == out.channels &&
            outRow0 + int(cinfo.output_height) <= out.height;
  while (ok && cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[kRowsPerCall];
    const int firstRow = int(cinfo.output_scanline);
    const int count = std::min(kRowsPerCall, int(cinfo.output_height) - firstRow);
    for (int i = 0; i < count; ++i)
      rows[i] = out.sink ? buffer.data() + rowBytes * size_t(i) : out.bitmap->row(outRow0 + firstRow + i);
    const int got = int(jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count)));
    ok = got > 0 && !isCancelled(*s.cancel);
    if (ok && out.sink) out.sink->rows(outRow0 + firstRow, got, buffer.data(), rowBytes);
  }
  if (ok) jpeg_finish_decompress(&cinfo);
  // Any complaint (a damaged segment, a restart marker out of turn) leaves the file to the one-piece
  // decode, so damaged files read exactly as they always have.
  ok = ok && cinfo.err->num_warnings == 0;
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

// Whether the whole image can be decoded in bands on all cores: the layout of its restart markers.
bool bandLayout(const uint8_t* d, size_t n, const jpeg_decompress_struct& whole, const BandSettings& s,
                RestartLayout& l) {
  if (int64_t(whole.image_width) * whole.image_height < (1 << 21)) return false;  // not worth the threads
  if (cv::getNumThreads() < 2) return false;
  if (!findRestartLayout(d, n, l) || l.width != int(whole.image_width) || l.height != int(whole.image_height))
    return false;
  // Smooth chroma upsampling looks at the rows above and below, which a band does not have.
  return l.maxV == 1 || s.fast;
}

// The whole image in bands on all cores; false (any band failing) leaves the one-piece decode to it.
bool decodeInBands(const uint8_t* d, const RestartLayout& l, const BandSettings& s, const BandTarget& out) {
  const int bands = std::min(l.mcuRows, std::max(1, cv::getNumThreads()) * 2);
  std::atomic<bool> ok{true};
  cv::parallel_for_(
      cv::Range(0, bands),
      [&](const cv::Range& r) {
        for (int b = r.start; b < r.end; ++b) {
          if (!ok.load(std::memory_order_relaxed)) return;
          const int row0 = int(int64_t(l.mcuRows) * b / bands), row1 = int(int64_t(l.mcuRows) * (b + 1) / bands);
          const int outRow0 = row0 * l.mcuHeight * int(s.scale) / 8;
          if (!decodeBand(d, l, row0, row1, s, out, outRow0)) ok.store(false);
        }
      },
      bands);
  return ok.load();
}

// Hands the finished rows of a one-piece (serial) decode to a row sink on a second thread, so the
// sink's work on them overlaps the decoding of the rows after them. Rows go in order, in runs.
class RowForwarder {
 public:
  RowForwarder() = default;
  RowForwarder(const RowForwarder&) = delete;
  RowForwarder& operator=(const RowForwarder&) = delete;
  ~RowForwarder() { finish(); }

  void start(RowSink* sink, const Bitmap* bitmap) {
    sink_ = sink, bitmap_ = bitmap;
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // No thread to be had: finish() hands the rows over itself.
    }
  }
  // Rows [0, rows) are final.
  void publish(int rows) {
    if (!thread_.joinable() || rows - notified_ < kRun) return;
    notified_ = rows;
    {
      std::lock_guard lock(mutex_);
      done_ = rows;
    }
    wake_.notify_one();
  }
  // Passes on rows [0, rows) (none when negative: the decode failed) and waits for the sink.
  void finish(int rows = -1) {
    if (!thread_.joinable()) {
      if (sink_ && rows > 0) sink_->rows(0, rows, bitmap_->row(0), bitmap_->rowBytes());
      sink_ = nullptr;
      return;
    }
    {
      std::lock_guard lock(mutex_);
      if (rows >= 0) done_ = rows;
      finished_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

 private:
  static constexpr int kRun = 64;
  void run() {
    int sent = 0;
    for (;;) {
      int upTo;
      bool last;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return finished_ || done_ - sent >= kRun; });
        upTo = done_, last = finished_;
      }
      if (upTo > sent) sink_->rows(sent, upTo - sent, bitmap_->row(sent), bitmap_->rowBytes());
      sent = upTo;
      if (last) return;
    }
  }
  RowSink* sink_ = nullptr;
  const Bitmap* bitmap_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int done_ = 0, notified_ = 0;
  bool finished_ = false;
};

}  // namespace

bool readInfoJPEG(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  setupErrors(cinfo, err);
  jpeg_create_decompress(&cinfo);
  if (setjmp(err.jump)) {
    if (error) *error = std::string("JPEG: ") + err.message;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_mem_src(&cinfo, d, static_cast<unsigned long>(n));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  fillInfo(cinfo, info);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

bool decodeJPEG(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  Progress progress;
  std::vector<uint8_t> cmykRow;  // made before setjmp so a jump back never skips its destructor
  RestartLayout layout;          // the same
  RowForwarder forwarder;        // the same; stopped before any jump back returns
  setupErrors(cinfo, err);
  jpeg_create_decompress(&cinfo);
  progress.pub.progress_monitor = onProgress;
  progress.cancel = &req.cancel;
  cinfo.progress = &progress.pub;
  if (setjmp(err.jump)) {
    forwarder.finish();
    if (error) *error = std::string("JPEG: ") + err.message;
    jpeg_destroy_decompress(&cinfo);
    res.bitmap = {};
    return false;
  }
  jpeg_mem_src(&cinfo, d, static_cast<unsigned long>(n));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  fillInfo(cinfo, res.info);
  if (!isAcceptableImageSize(cinfo.image_width, cinfo.image_height)) {
    std::snprintf(err.message, sizeof err.message, "image size %ux%u out of range", cinfo.image_width,
                  cinfo.image_height);
    longjmp(err.jump, 4);
  }
  // Every block of every component costs at least one bit of entropy-coded data (its DC code, in
  // any scan order), so a header promising more blocks than the file has bits is refused before
  // the decoder allocates for them.
  uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c)
    blocks += uint64_t(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks;
  if (blocks > uint64_t(n) * 8) {
    std::snprintf(err.message, sizeof err.message, "image size %ux%u needs more data than the file holds",
                  cinfo.image_width, cinfo.image_height);
    longjmp(err.jump, 4);
  }
  // libjpeg-turbo scales by M/8 inside the inverse DCT; take the smallest M that still covers the box.
  const int m = chooseEighths(res.info.size, res.info.orientation, req.fitSize);
  cinfo.scale_num = unsigned(m);
  cinfo.scale_denom = 8;
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_RGB);
  if (m < 8) {
    // A reduced decode already averages each 8x8 block down to a few pixels: the fast integer IDCT and
    // plain chroma replication cost nothing visible there, and leave little besides entropy decoding.
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
  }
  jpeg_start_decompress(&cinfo);
  const int outChannels = cmyk ? 3 : int(cinfo.output_components);
  const int outWidth = int(cinfo.output_width), outHeight = int(cinfo.output_height);
  const BandSettings bands{unsigned(m), cinfo.out_color_space, m < 8, &req.cancel};
  bool inBands = !cmyk && bandLayout(d, n, cinfo, bands, layout);
  auto finishedInBands = [&] {
    jpeg_destroy_decompress(&cinfo);
    res.scale = double(outWidth) / res.info.size.width;
    res.linear = false;
    return true;
  };
  // Rows straight to the caller's sink when the bands allow it. A band failing leaves the one-piece
  // decode below to fill the bitmap, and to hand every row to the sink again as it goes.
  // (Small pictures are not worth a second thread.)
  const bool toSink = req.rowSink && (inBands || int64_t(outWidth) * outHeight >= (1 << 20)) &&
                      req.rowSink->begin(outWidth, outHeight, outChannels, res.info);
  if (inBands && toSink) {
    if (decodeInBands(d, layout, bands, {outWidth, outHeight, outChannels, nullptr, req.rowSink})) {
      res.streamed = true;
      return finishedInBands();
    }
    inBands = false;  // a band failed: no second try
  }
  if (!res.bitmap.allocate(outWidth, outHeight, outChannels, 8)) {
    std::snprintf(err.message, sizeof err.message, "out of memory");
    longjmp(err.jump, 4);
  }
  cmykRow.resize(cmyk ? size_t(cinfo.output_width) * 4 : 0);
  if (inBands && decodeInBands(d, layout, bands, {outWidth, outHeight, outChannels, &res.bitmap, nullptr}))
    return finishedInBands();
  if (toSink) forwarder.start(req.rowSink, &res.bitmap);
  while (cinfo.output_scanline < cinfo.output_height) {
    if (!cmyk) {
      // Straight into the bitmap, as many rows per call as the decoder produces at once.
      JSAMPROW rows[16];
      const int first = int(cinfo.output_scanline);
      const int count = std::min(16, int(cinfo.output_height) - first);
      for (int i = 0; i < count; ++i) rows[i] = res.bitmap.row(first + i);
      const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count));
      if (got == 0) break;  // suspended on data that is not there: reported as truncated below
    } else {
      uint8_t* row = res.bitmap.row(int(cinfo.output_scanline));
      JSAMPROW rows[1] = {cmykRow.data()};
      jpeg_read_scanlines(&cinfo, rows, 1);
      // Adobe writes CMYK JPEGs inverted; that is what nearly every CMYK JPEG is.
      for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
        const uint8_t* p = &cmykRow[x * 4];
        for (int c = 0; c < 3; ++c) row[x * 3 + c] = uint8_t((p[c] * p[3] + 127) / 255);
      }
    }
    if (isCancelled(req.cancel)) {
      std::snprintf(err.message, sizeof err.message, "cancelled");
      longjmp(err.jump, 2);
    }
    forwarder.publish(int(cinfo.output_scanline));
  }
  if (cinfo.output_scanline < cinfo.output_height) {
    std::snprintf(err.message, sizeof err.message, "premature end of data");
    longjmp(err.jump, 5);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  res.scale = double(cinfo.output_width) / cinfo.image_width;
  res.linear = false;
  if (toSink) {
    forwarder.finish(outHeight);
    res.streamed = true;
    res.bitmap = {};
  }
  return true;
}

namespace {

// One complete JPEG of the source rows [y0, y1): every MCU row a restart interval, the profile only
// when asked. optimizeCoding computes Huffman tables for these rows alone (a second pass over a
// buffer of all their coefficients); without it the standard tables are used, the same in every
// strip, so strips can be joined.
std::vector<uint8_t> encodeJPEGStrip(const RowSource& src, const EncodeOptions& o, int y0, int y1, bool withProfile,
                                     bool optimizeCoding, std::string* error) {
  const bool grey = src.channels <= 2;
  const int outComponents = grey ? 1 : 3;
  std::vector<uint8_t> row(size_t(src.width) * outComponents);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  jpeg_compress_struct cinfo;
  ErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = onError;
  err.pub.output_message = [](j_common_ptr) {};
  jpeg_create_compress(&cinfo);
  if (setjmp(err.jump)) {
    if (error) *error = std::string("JPEG: ") + err.message;
    jpeg_destroy_compress(&cinfo);
    free(mem);
    return {};
  }
  jpeg_mem_dest(&cinfo, &mem, &memSize);
  cinfo.image_width = JDIMENSION(src.width);
  cinfo.image_height = JDIMENSION(y1 - y0);
  cinfo.input_components = outComponents;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, jpegQuality(o), TRUE);
  cinfo.optimize_coding = optimizeCoding ? TRUE : FALSE;
  // A restart marker at each MCU row costs a few bytes a row and lets readers decode bands in parallel.
  cinfo.restart_in_rows = 1;
  if (jpegKeepsFullChroma(o, grey)) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  if (withProfile && !o.icc.empty()) jpeg_write_icc_profile(&cinfo, o.icc.data(), unsigned(o.icc.size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* s = src.row(y0 + int(cinfo.next_scanline));
    JSAMPROW rows[1] = {row.data()};
    if (src.channels == outComponents) {
      rows[0] = const_cast<uint8_t*>(s);  // libjpeg only reads input rows
    } else {
      for (int x = 0; x < src.width; ++x)
        for (int c = 0; c < outComponents; ++c) row[size_t(x) * outComponents + c] = s[size_t(x) * src.channels + c];
    }
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(mem, mem + memSize);
  jpeg_destroy_compress(&cinfo);
  free(mem);
  return out;
}

}  // namespace

// Large pictures are cut into strips of whole groups of eight MCU rows, encoded on all cores and
// joined into one scan: with a restart marker after every MCU row, a strip's entropy-coded data
// stands alone, and since strips start on a multiple of eight rows their own markers (RST0..RST7,
// counted from their first row) already carry the numbers the whole picture needs; only the marker
// between two strips (after the last row of a group of eight: RST7) is added. The strips share the
// standard Huffman tables, so the file is a few per cent larger than a one-piece encode with
// optimised tables, which small pictures keep.
std::vector<uint8_t> encodeJPEGRows(const RowSource& src, const EncodeOptions& o, std::string* error) {
  const bool grey = src.channels <= 2;
  const int mcuHeight = jpegKeepsFullChroma(o, grey) || grey ? 8 : 16;
  const int groupHeight = 8 * mcuHeight;
  const int threads = std::max(1, cv::getNumThreads());
  if (int64_t(src.width) * src.height < (1 << 21) || threads < 2 || src.height < 2 * groupHeight)
    return encodeJPEGStrip(src, o, 0, src.height, true, true, error);

  const int groups = (src.height + groupHeight - 1) / groupHeight;
  const int strips = std::min(groups, threads * 3);
  std::vector<std::vector<uint8_t>> parts{size_t(strips)};
  std::vector<std::string> errors{size_t(strips)};
  auto stripStart = [&](int i) { return std::min(src.height, int(int64_t(groups) * i / strips) * groupHeight); };
  cv::parallel_for_(
      cv::Range(0, strips),
      [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i)
          parts[size_t(i)] = encodeJPEGStrip(src, o, stripStart(i), stripStart(i + 1), i == 0, false, &errors[size_t(i)]);
      },
      strips);

  std::vector<uint8_t> out;
  for (int i = 0; i < strips; ++i) {
    const auto& part = parts[size_t(i)];
    RestartLayout layout;
    if (part.empty() || !findRestartLayout(part.data(), part.size(), layout) || layout.segments.empty()) {
      if (error) *error = errors[size_t(i)].empty() ? "JPEG: a strip could not be joined" : errors[size_t(i)];
      return {};
    }
    if (i == 0) {
      out.reserve(part.size() * size_t(strips) + part.size() / 2);
      out.assign(part.begin(), part.begin() + std::ptrdiff_t(layout.headerEnd));
      out[layout.heightPos] = uint8_t(src.height >> 8);
      out[layout.heightPos + 1] = uint8_t(src.height & 255);
    } else {
      out.push_back(0xFF);
      out.push_back(0xD7);
    }
    // The scan's data up to the strip's end-of-image marker.
    out.insert(out.end(), part.begin() + std::ptrdiff_t(layout.headerEnd),
               part.begin() + std::ptrdiff_t(layout.segments.back().second));
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

std::vector<uint8_t> encodeJPEG(const Bitmap& src, const EncodeOptions& o, std::string* error) {
  Bitmap b8 = src.depth == 8 ? Bitmap{} : to8Bit(src);
  const Bitmap& b = src.depth == 8 ? src : b8;
  return encodeJPEGRows({b.width, b.height, b.channels, [&b](int y) { return b.row(y); }}, o, error);
}

}  // namespace rova::codecs::detail
