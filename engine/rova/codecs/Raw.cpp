// Camera RAW and DNG through LibRaw: half-size decoding for previews, full demosaicing for export
// (our own for plain Bayer sensors, after LibRaw's unpacking and, when it runs, its denoising),
// embedded previews. The development is a faithful base for the layers above it: the file's black
// and white levels, its white balance as shot and its colour matrix, the exposure the file states
// (no brightening by the histogram), and what lies above the sensor's white kept as values over 1
// that lose their colour as they near the clip instead of shifting in hue.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include <libraw/libraw.h>
#include <omp.h>

#include "rova/ImageData.h"
#include "rova/Parallel.h"
#include "rova/codecs/BayerDemosaic.h"
#include "rova/codecs/Codecs.h"

namespace rova::codecs::detail {

namespace {

int orientationFromFlip(int flip) {
  static const int kMap[8] = {1, 2, 4, 3, 5, 8, 6, 7};
  return flip >= 0 && flip < 8 ? kMap[flip] : 1;
}

int onProgress(void* data, LibRaw_progress, int, int) {
  return isCancelled(*static_cast<const CancelFlag*>(data)) ? 1 : 0;
}

// Opens the buffer and checks every size LibRaw read from the file against the pixel ceiling.
std::unique_ptr<LibRaw> openRaw(const uint8_t* d, size_t n, std::string* error) {
  auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
  int rc = raw->open_buffer(const_cast<uint8_t*>(d), n);
  if (rc != LIBRAW_SUCCESS) {
    if (error) *error = std::string("RAW: ") + libraw_strerror(rc);
    return nullptr;
  }
  const auto& s = raw->imgdata.sizes;
  if (!isAcceptableImageSize(s.width, s.height) || !isAcceptableImageSize(s.raw_width, s.raw_height)) {
    if (error) *error = "RAW: image size out of range";
    return nullptr;
  }
  return raw;
}

void fillInfo(LibRaw& raw, ImageInfo& info, bool dng) {
  info.format = dng ? Format::DNG : Format::RAW;
  info.size = {raw.imgdata.sizes.width, raw.imgdata.sizes.height};
  info.bitsPerSample = 16;
  info.channels = 3;
  info.hasAlpha = false;
  info.isFloat = false;
  info.orientation = orientationFromFlip(raw.imgdata.sizes.flip);
}

// LibRaw's demosaicing, where ours (BayerDemosaic) does not develop the file or a caller asks for it:
// DHT, of LibRaw's AHD, AAHD, DCB, PPG, VNG and DHT the one with the fewest colour errors on fine
// detail (see docs/ENGINE.md, "RAW development").
constexpr int kDemosaic = 11, kDemosaicWhenDenoising = 3;

// Where a camera puts its white: a third of a stop under the sensor's clip, the headroom a
// developer keeps for highlights. A DNG's BaselineExposure, when it has one, says it instead.
const double kDefaultBaselineEV = std::log2(1.25);

double baselineEV(const LibRaw& raw) {
  const auto& levels = raw.imgdata.color.dng_levels;
  // LibRaw leaves -999 when the tag is absent.
  if (raw.imgdata.idata.dng_version && levels.baseline_exposure > -100 && std::isfinite(levels.baseline_exposure))
    return std::clamp(double(levels.baseline_exposure), -4.0, 4.0);
  return kDefaultBaselineEV;
}

// LibRaw's wavelet denoising while decoding, by the ISO speed: a base-ISO file keeps its fine
// detail; the threshold grows with the stops of gain over ISO 200 up to ISO 3200 (on DNGs with the
// noise of those speeds, the mean error to the clean picture falls by about a third at ISO 800-3200
// and no further past 600). Unknown ISO: none (the noise reduction layer still measures the picture).
float denoiseThreshold(float iso) {
  if (!(iso > 200)) return 0;
  return float(std::min(600.0, 150.0 * std::log2(iso / 200.0)));
}

// Where a pixel starts to lose its colour on the way to the clip: the share of the clip its nearest
// channel has reached. Over the clip one channel no longer follows the light, so its hue would be
// wrong; the pixel is taken to grey of its own luminance, reached when a channel clips.
constexpr float kHighlightKnee = 0.85f;

// How LibRaw's output (white-balanced camera colour, 16 bits, scaled so that channel c reaches
// 65535 * pre_mul[c] at the sensor's white; see `highlight` below) becomes linear Rec. 709 floats:
// the channel that clips first reaches 1 at the sensor's white, then the colour matrix and the
// baseline exposure.
struct Development {
  float unit = 1.f / 65535;
  float clip[3] = {1, 1, 1};     // each channel's clip in those units (1 for the first to clip)
  float perClip[3] = {1, 1, 1};  // their inverses
  float matrix[3][3] = {};

  // `cameraColour` false: LibRaw converted to linear sRGB itself (sensors of other than three
  // colours); the scale and exposure are the same, the roll-off has no channel clips to go by.
  // `preMul`: the white balance multipliers LibRaw scaled by (its own after its development).
  Development(const LibRaw& raw, bool cameraColour) : Development(raw, cameraColour, raw.imgdata.color.pre_mul) {}
  Development(const LibRaw& raw, bool cameraColour, const float preMul[4]) {
    const auto& c = raw.imgdata.color;
    const int colors = std::clamp(raw.imgdata.idata.colors, 1, 4);
    float lowest = 1;
    for (int k = 0; k < colors; ++k)
      if (preMul[k] > 0) lowest = std::min(lowest, preMul[k]);
    unit = 1.f / (65535.f * lowest);
    const float exposure = float(std::exp2(baselineEV(raw)));
    for (int i = 0; i < 3; ++i) {
      clip[i] = !cameraColour ? 1e30f : preMul[i] > 0 ? preMul[i] / lowest : 1.f;
      perClip[i] = 1 / clip[i];
      for (int k = 0; k < 3; ++k) matrix[i][k] = (cameraColour ? c.rgb_cam[i][k] : float(i == k)) * exposure;
    }
  }

  // One pixel: camera colour (r, g, b) in units (the first channel to clip reaches 1 at the sensor's
  // white) to Rec. 709 in `o`; near the clip it rolls off to grey of its own luminance.
  void pixel(float r, float g, float b, float* o) const {
    const float near = std::max(std::max(r * perClip[0], g * perClip[1]), b * perClip[2]);
    if (!(near > kHighlightKnee)) {
      o[0] = std::max(0.f, matrix[0][0] * r + matrix[0][1] * g + matrix[0][2] * b);
      o[1] = std::max(0.f, matrix[1][0] * r + matrix[1][1] * g + matrix[1][2] * b);
      o[2] = std::max(0.f, matrix[2][0] * r + matrix[2][1] * g + matrix[2][2] * b);
      return;
    }
    float t = std::min(1.f, (near - kHighlightKnee) / (1 - kHighlightKnee));
    t = t * t * (3 - 2 * t);
    const float o0 = matrix[0][0] * r + matrix[0][1] * g + matrix[0][2] * b;
    const float o1 = matrix[1][0] * r + matrix[1][1] * g + matrix[1][2] * b;
    const float o2 = matrix[2][0] * r + matrix[2][1] * g + matrix[2][2] * b;
    const float grey = std::max(0.f, 0.2126f * o0 + 0.7152f * o1 + 0.0722f * o2);
    o[0] = std::max(0.f, o0 + t * (grey - o0));
    o[1] = std::max(0.f, o1 + t * (grey - o1));
    o[2] = std::max(0.f, o2 + t * (grey - o2));
  }

  // `rows` rows of LibRaw's 16-bit `camera` output (out's width) become out's rows from `outRow` on.
  void apply(const uint16_t* camera, int rows, Bitmap& out, int outRow) const {
    const int w = out.width;
    parallelFor(rows, rowsPerPiece(w), [&](int64_t y0, int64_t y1) {
      for (int y = int(y0); y < int(y1); ++y) {
        float* o = reinterpret_cast<float*>(out.row(outRow + y));
        const uint16_t* px = camera + size_t(y) * w * 3;
        for (int x = 0; x < w; ++x, o += 3, px += 3) {
          pixel(px[0] * unit, px[1] * unit, px[2] * unit, o);
        }
      }
    });
  }
};

}  // namespace

bool isRawLibRaw(const uint8_t* d, size_t n) { return openRaw(d, n, nullptr) != nullptr; }

bool readInfoRAW(const uint8_t* d, size_t n, ImageInfo& info, std::string* error) {
  auto raw = openRaw(d, n, error);
  if (!raw) return false;
  fillInfo(*raw, info, raw->imgdata.idata.dng_version != 0);
  return true;
}

namespace {

// The development's settings, the same for the whole picture and for each band of it.
void setDevelopment(LibRaw& raw, const DecodeRequest& req, bool half) {
  auto& p = raw.imgdata.params;
  p.half_size = half ? 1 : 0;
  p.use_camera_wb = 1;      // the white balance as shot
  p.use_camera_matrix = 1;  // the file's own colour matrix (DNG ColorMatrix) over LibRaw's table
  // Camera colour out: the matrix is applied below, in float, without clipping (sensors of other than
  // three colours: LibRaw's own conversion to sRGB primaries).
  p.output_color = raw.imgdata.idata.colors == 3 ? 0 : 1;
  p.gamm[0] = 1.0;  // linear
  p.gamm[1] = 1.0;
  p.output_bps = 16;
  p.no_auto_bright = 1;        // the exposure is the file's own (see below), never a histogram's guess
  p.adjust_maximum_thr = 0.f;  // the sensor's white is the file's, not the brightest pixel's
  p.highlight = 1;             // scale so no channel clips: what lies above the sensor's white is ours to roll off
  p.user_flip = 0;             // stored orientation; the reader turns every format the same way
  if (req.rawDenoise) p.threshold = denoiseThreshold(raw.imgdata.other.iso_speed);
  // LibRaw's wavelet denoising works on a shrunk image that its DHT does not take back (the picture
  // comes out scrambled): AHD then, whose maze the denoising smooths anyway.
  p.user_qual = p.threshold > 0 ? kDemosaicWhenDenoising : kDemosaic;
  raw.set_progress_handler(onProgress, const_cast<CancelFlag*>(&req.cancel));
}

// Rows a band of a full-size development reads around it. With the wavelet denoising: its five
// levels reach 124 rows (62 of its half-size image), the demosaicing a few more. Without it, only
// DHT's neighbourhoods and their refinement passes, a handful of rows. A multiple of 16, so a band's
// first row keeps the colour filter's phase and the half-size grouping of the denoising.
constexpr int kBandContextDenoised = 160, kBandContextPlain = 32;
// Rows of a band, at least, in context rows: shorter bands would develop more context than picture.
constexpr int kBandRowsPerContext = 5;

int bandContext(const LibRaw& raw, const DecodeRequest& req) {
  return req.rawDenoise && denoiseThreshold(raw.imgdata.other.iso_speed) > 0 ? kBandContextDenoised : kBandContextPlain;
}

// A decoder that develops one band of a picture another decoder has unpacked: it parses the file
// itself (its own decoding state), then reads the other's unpacked sensor data instead of unpacking
// the file again. The development only reads that data (it copies the band's rows out first), so
// bands share one unpacked file; this decoder never frees what it borrowed.
class BandDecoder : public LibRaw {
 public:
  BandDecoder() : LibRaw(LIBRAW_OPTIONS_NONE) {}
  ~BandDecoder() override { returnBorrowed(); }

  // Takes `unpacked`'s sensor data and what its unpacking measured (black levels, sizes), keeping this
  // decoder's own allocations of the file's metadata (ICC profile, XMP), which it frees itself.
  void borrow(const LibRaw& unpacked) {
    auto& mine = imgdata.rawdata;
    void* const profile = imgdata.color.profile;
    char* const xmp = imgdata.idata.xmpdata;
    mine = unpacked.imgdata.rawdata;
    mine.color.profile = profile;
    mine.iparams.xmpdata = xmp;
    imgdata.progress_flags = unpacked.imgdata.progress_flags;
    borrowed_ = true;
  }

  // Makes the development stop short of LibRaw's demosaicing (ours follows): the mosaic is then left
  // in imgdata.image, one colour a pixel, at its levels, white-balanced and denoised.
  void skipDemosaicing() {
    callbacks.interpolate_bayer_cb = [](void*) {};
  }

  // Forgets the borrowed sensor data so that freeing this decoder's buffers leaves it alone.
  void returnBorrowed() {
    if (!borrowed_) return;
    auto& r = imgdata.rawdata;
    r.raw_alloc = nullptr;
    r.raw_image = nullptr;
    r.color4_image = nullptr;
    r.color3_image = nullptr;
    r.float_image = nullptr;
    r.float3_image = nullptr;
    r.float4_image = nullptr;
    r.ph1_cblack = nullptr;
    r.ph1_rblack = nullptr;
    borrowed_ = false;
  }

 private:
  bool borrowed_ = false;
};

// LibRaw spreads some steps of its development over OpenMP's threads. Bands already run side by
// side, one a core, so a band's development stays on its worker: each band's team of a thread a core
// only took turns with the others on the same cores, spinning between steps (five bands of a 24 MP
// file developed in about 0.6 of the time on one thread each). OpenMP keeps this setting per thread;
// the worker gets its own back after the band.
class OneThreadOfOpenMp {
 public:
  OneThreadOfOpenMp() : saved_(omp_get_max_threads()) { omp_set_num_threads(1); }
  ~OneThreadOfOpenMp() { omp_set_num_threads(saved_); }
  OneThreadOfOpenMp(const OneThreadOfOpenMp&) = delete;
  OneThreadOfOpenMp& operator=(const OneThreadOfOpenMp&) = delete;

 private:
  int saved_;
};

// How many bands a full-size development of this file takes: plain Bayer sensors of three colours,
// tall enough for bands of at least kBandRowsPerContext times their context rows, one band a core.
int bandsFor(const LibRaw& raw, const DecodeRequest& req) {
  const auto& s = raw.imgdata.sizes;
  const bool plainBayer = raw.imgdata.idata.filters >= 1000 && raw.imgdata.idata.filters != LIBRAW_XTRANS &&
                          raw.imgdata.idata.colors == 3 && s.pixel_aspect == 1.0 &&
                          raw.imgdata.rawdata.ioparams.fuji_width == 0;
  if (req.rawBands == 1 || !plainBayer) return 1;
  const int byCores = std::max(1, int(std::thread::hardware_concurrency()));
  const int context = bandContext(raw, req);
  const int bySize = std::max(1, s.height / (kBandRowsPerContext * context));
  return req.rawBands > 1 ? std::min(req.rawBands, std::max(1, s.height / (2 * context))) : std::min(byCores, bySize);
}

// LibRaw's colour of a filter (0 red, 1 green, 2 blue, 3 the second green) at a place of the picture.
int filterColour(const LibRaw& raw, int y, int x) {
  return int(raw.imgdata.idata.filters >> ((((y << 1) & 14) | (x & 1)) << 1) & 3);
}

// Our demosaicing's colour (0 red, 1 green, 2 blue) of the filter at (y, x): both greens are green.
int plainColour(const LibRaw& raw, int y, int x) {
  const int c = filterColour(raw, y, x);
  return c == 3 ? 1 : c;
}

// A plain Bayer sensor: a 2 x 2 pattern of three colours, square pixels, none of the makers' special
// layouts, and more than a few tiles' borders across.
bool isPlainBayerSensor(LibRaw& raw) {
  const auto& id = raw.imgdata.idata;
  const auto& s = raw.imgdata.sizes;
  if (id.filters < 1000 || id.filters == LIBRAW_XTRANS || id.colors != 3 || s.pixel_aspect != 1.0) return false;
  const auto& output = raw.get_internal_data_pointer()->internal_output_params;
  if (output.fuji_width || output.zero_is_bad || raw.is_sraw() || raw.is_floating_point()) return false;
  if (s.width < 4 * BayerDemosaic::kBorder || s.height < 4 * BayerDemosaic::kBorder) return false;
  int colours[4];
  for (int p = 0; p < 4; ++p) colours[p] = plainColour(raw, p >> 1, p & 1);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 2; ++x)
      if (filterColour(raw, y, x) != filterColour(raw, y & 1, x)) return false;
  return BayerDemosaic::isPlainBayer(colours);
}

// Whether our own demosaicing develops this file at full size straight from its unpacked mosaic: a
// plain Bayer sensor without LibRaw's denoising.
bool ownDemosaicFor(LibRaw& raw, const DecodeRequest& req) {
  if (req.rawLibRawDemosaic || (req.rawDenoise && denoiseThreshold(raw.imgdata.other.iso_speed) > 0)) return false;
  return isPlainBayerSensor(raw);
}

// The unpacked mosaic's levels as LibRaw's development would scale them: each place's black level
// (per colour, and the file's repeating pattern of black levels) subtracted, the white balance as
// shot, and the sensor's white (less the lowest black) at 1 for the channel with the largest
// multiplier, clipped to [0, 1] as LibRaw's 16 bits are.
struct MosaicLevels {
  int colours[4] = {};                    // 0 red, 1 green, 2 blue at (y & 1) * 2 + (x & 1)
  float preMul[4] = {};                   // the white balance, the largest 1
  int periodRows = 2, periodColumns = 2;  // of the tables below, over picture coordinates
  std::vector<float> black, scale;

  // False for levels LibRaw reads from a table of the camera's own (old cameras) or patterns of
  // black levels longer than 16 pixels: LibRaw then develops the file.
  bool read(const LibRaw& raw) {
    const auto& c = raw.imgdata.color;
    for (const auto& row : c.white)
      for (const auto v : row)
        if (v) return false;
    float pre[4];
    std::copy(c.pre_mul, c.pre_mul + 4, pre);
    if (c.cam_mul[0] != -1 && c.cam_mul[0] > 0 && c.cam_mul[2] > 0) std::copy(c.cam_mul, c.cam_mul + 4, pre);
    if (pre[1] == 0) pre[1] = 1;
    if (pre[3] == 0) pre[3] = pre[1];
    const float largest = *std::max_element(pre, pre + 4);
    for (int k = 0; k < 4; ++k) {
      if (!(pre[k] > 0)) return false;
      preMul[k] = pre[k] / largest;
    }
    const unsigned patternRows = c.cblack[4], patternColumns = c.cblack[5];
    const bool pattern = patternRows && patternColumns;
    if (pattern) {
      periodRows = int(std::lcm(2u, patternRows));
      periodColumns = int(std::lcm(2u, patternColumns));
      if (periodRows > 16 || periodColumns > 16 || 6 + patternRows * patternColumns > LIBRAW_CBLACK_SIZE) return false;
    }
    black.resize(size_t(periodRows) * periodColumns);
    scale.resize(black.size());
    for (int y = 0; y < periodRows; ++y)
      for (int x = 0; x < periodColumns; ++x)
        black[size_t(y) * periodColumns + x] = float(
            c.black + c.cblack[filterColour(raw, y, x)] +
            (pattern ? c.cblack[6 + (unsigned(y) % patternRows) * patternColumns + unsigned(x) % patternColumns] : 0));
    const float white = float(c.maximum) - *std::min_element(black.begin(), black.end());
    if (!(white > 0)) return false;
    for (int y = 0; y < periodRows; ++y)
      for (int x = 0; x < periodColumns; ++x)
        scale[size_t(y) * periodColumns + x] = preMul[filterColour(raw, y, x)] / white;
    for (int p = 0; p < 4; ++p) colours[p] = plainColour(raw, p >> 1, p & 1);
    return true;
  }
};

// A tile of our own demosaicing gives this many rows and columns (it reads BayerDemosaic::kBorder more on each side).
constexpr int kTileSize = 240;

// Picture coordinate of a tile's sample at `v`, mirrored at the picture's edges about its first and
// last pixel, which keeps the filter's phase.
inline int mirrored(int v, int size) { return v < 0 ? -v : v >= size ? 2 * size - 2 - v : v; }

// A row of our demosaicing's red, green and blue (LibRaw's 16-bit scale over 65535, times `toUnits`)
// through the development into `out`, three floats a pixel.
void convertRow(const Development& development, float toUnits, const float* red, const float* green, const float* blue,
                int n, float* out) {
  for (int i = 0; i < n; ++i) development.pixel(red[i] * toUnits, green[i] * toUnits, blue[i] * toUnits, out + 3 * i);
}

// Where our own demosaicing reads the mosaic: row y's samples at `columns` (picture coordinates) into
// `out`, in [0, 1] of LibRaw's 16-bit scale.
using MosaicRow = std::function<void(int y, const std::vector<int>& columns, float* out)>;

// Our own demosaicing of rows [bounds.front(), bounds.back()) of a `width` x `height` mosaic, tile by
// tile on every core (no sample developed twice but each tile's thin border; tiles start again at each
// of `bounds`), each tile converted while in cache and handed to `sink` (or, without one, copied into
// `out`'s rows). Samples past the picture's edges are mirrored about its first and last pixels.
std::string developTiles(int width, int height, const std::vector<int>& bounds, const int colours[4],
                         const MosaicRow& mosaicRow, const Development& development, const CancelFlag& cancel,
                         RowSink* sink, Bitmap* out) {
  struct Tile {
    int y0, y1, x0, x1;
  };
  std::vector<Tile> tiles;
  for (size_t b = 0; b + 1 < bounds.size(); ++b)
    for (int y = bounds[b]; y < bounds[b + 1]; y += kTileSize)
      for (int x = 0; x < width; x += kTileSize)
        tiles.push_back({y, std::min(bounds[b + 1], y + kTileSize), x, std::min(width, x + kTileSize)});
  const float toUnits = 65535.f * development.unit;
  constexpr int kB = BayerDemosaic::kBorder;
  std::atomic<size_t> next{0};
  std::atomic<bool> cancelled{false};
  const int workers = int(std::min<size_t>(tiles.size(), std::max(1u, std::thread::hardware_concurrency())));
  parallelFor(workers, 1, [&](int64_t, int64_t) {
    BayerDemosaic demosaic(colours);
    std::vector<int> columns;
    std::vector<float> block(size_t(kTileSize) * kTileSize * 3);
    for (size_t t = next++; t < tiles.size(); t = next++) {
      if (isCancelled(cancel)) {
        cancelled = true;
        return;
      }
      const Tile& tile = tiles[t];
      const int bw = tile.x1 - tile.x0 + 2 * kB, bh = tile.y1 - tile.y0 + 2 * kB;
      columns.resize(size_t(bw));
      for (int i = 0; i < bw; ++i) columns[size_t(i)] = mirrored(tile.x0 - kB + i, width);
      float* m = demosaic.mosaic(bw, bh);
      for (int r = 0; r < bh; ++r) mosaicRow(mirrored(tile.y0 - kB + r, height), columns, m + size_t(r) * bw);
      demosaic.run();
      const int tw = tile.x1 - tile.x0, th = tile.y1 - tile.y0;
      for (int r = 0; r < th; ++r)
        convertRow(development, toUnits, demosaic.row(0, r + kB) + kB, demosaic.row(1, r + kB) + kB,
                   demosaic.row(2, r + kB) + kB, tw, block.data() + size_t(r) * tw * 3);
      if (sink) {
        sink->linearBlock(tile.x0, tile.y0, tw, th, block.data(), size_t(tw) * 3);
      } else {
        for (int r = 0; r < th; ++r)
          std::memcpy(reinterpret_cast<float*>(out->row(tile.y0 + r)) + size_t(tile.x0) * 3,
                      block.data() + size_t(r) * tw * 3, sizeof(float) * 3 * tw);
      }
    }
  });
  return cancelled ? "cancelled" : "";
}

// Our own development of a plain Bayer sensor at full size from the unpacked mosaic at LibRaw's
// levels. Bands (rawBands over 1) only move where the tiles start.
std::string developMosaic(const LibRaw& raw, const MosaicLevels& levels, const DecodeRequest& req, RowSink* sink,
                          Bitmap* out) {
  const auto& s = raw.imgdata.sizes;
  const int width = s.width, height = s.height;
  const uint16_t* const mosaic = raw.imgdata.rawdata.raw_image;
  const size_t pitch = s.raw_pitch / sizeof(uint16_t);
  const int top = s.top_margin, left = s.left_margin;
  if (!mosaic || top + height > s.raw_height || left + width > s.raw_width) return "unexpected layout";
  std::vector<int> bounds{0};
  const int bands = req.rawBands > 1 ? std::min(req.rawBands, height / kTileSize + 1) : 1;
  const int step = bands > 1 ? (height / bands + 15) / 16 * 16 : height;
  for (int b = 1; b <= bands; ++b) bounds.push_back(b == bands ? height : std::min(height, b * step));
  const int period = levels.periodColumns;
  auto row = [&](int y, const std::vector<int>& columns, float* m) {
    const uint16_t* src = mosaic + size_t(y + top) * pitch + left;
    const size_t first = size_t(y % levels.periodRows) * period;
    const float *black = levels.black.data() + first, *scale = levels.scale.data() + first;
    const int n = int(columns.size());
    if (period == 2 && columns.back() - columns.front() == n - 1) {  // no mirrored edge: a plain run
      const uint16_t* run = src + columns.front();
      const int p = columns.front() & 1;
      const float black0 = black[p], scale0 = scale[p], black1 = black[p ^ 1], scale1 = scale[p ^ 1];
#pragma omp simd
      for (int i = 0; i < n; ++i) {
        const float v = (float(run[i]) - ((i & 1) ? black1 : black0)) * ((i & 1) ? scale1 : scale0);
        m[i] = std::min(1.f, std::max(0.f, v));
      }
      return;
    }
    for (int i = 0; i < n; ++i) {
      const int x = columns[size_t(i)], p = period == 2 ? x & 1 : x % period;
      m[i] = std::min(1.f, std::max(0.f, (float(src[x]) - black[p]) * scale[p]));
    }
  };
  return developTiles(width, height, bounds, levels.colours, row, Development(raw, true, levels.preMul), req.cancel,
                      sink, out);
}

// The development of one band: rows [y0, y1) of the picture, developed with the context rows
// around them from `unpacked`'s sensor data by a decoder of its own. With `ownDemosaic`, LibRaw's
// development (its levels, white balance and wavelet denoising) stops before demosaicing and ours
// follows, into `sink` or out's rows; else LibRaw develops the whole band, into out's rows y0..y1.
std::string developBand(const uint8_t* d, size_t n, const LibRaw& unpacked, const DecodeRequest& req, int y0, int y1,
                        bool ownDemosaic, RowSink* sink, Bitmap* out) {
  const OneThreadOfOpenMp oneThread;
  auto raw = std::make_unique<BandDecoder>();
  if (int rc = raw->open_buffer(const_cast<uint8_t*>(d), n); rc != LIBRAW_SUCCESS) return libraw_strerror(rc);
  const int width = unpacked.imgdata.sizes.width, height = unpacked.imgdata.sizes.height;
  if (raw->imgdata.sizes.width != width || raw->imgdata.sizes.height != height) return "unexpected size";
  const int context = bandContext(unpacked, req);
  const int ya = std::max(0, y0 - context), yb = std::min(height, y1 + context);
  setDevelopment(*raw, req, false);
  auto& crop = raw->imgdata.params.cropbox;
  crop[0] = 0, crop[1] = unsigned(ya), crop[2] = unsigned(width), crop[3] = unsigned(yb - ya);
  raw->borrow(unpacked);
  if (ownDemosaic) raw->skipDemosaicing();
  int rc = raw->dcraw_process();
  if (rc != LIBRAW_SUCCESS) return isCancelled(req.cancel) ? "cancelled" : libraw_strerror(rc);
  if (ownDemosaic) {
    const auto& s = raw->imgdata.sizes;
    const auto* image = raw->imgdata.image;
    // Full size again after the denoising's half-size pass (the working sizes may still say half).
    if (!image || s.width != width || s.height != yb - ya) return "unexpected output";
    int channels[4], colours[4];
    for (int p = 0; p < 4; ++p) {
      channels[p] = filterColour(*raw, ya + (p >> 1), p & 1);
      colours[p] = channels[p] == 3 ? 1 : channels[p];
    }
    if (!BayerDemosaic::isPlainBayer(colours)) return "unexpected output";
    auto row = [&](int y, const std::vector<int>& columns, float* m) {
      const auto* src = image + size_t(y - ya) * width;
      const int* channel = channels + (y & 1) * 2;
      const int count = int(columns.size());
      for (int i = 0; i < count; ++i) {
        const int x = columns[size_t(i)];
        m[i] = src[x][channel[x & 1]] * (1.f / 65535);
      }
    };
    const std::string why =
        developTiles(width, height, {y0, y1}, colours, row, Development(*raw, true), req.cancel, sink, out);
    raw->returnBorrowed();
    return why;
  }
  int err = 0;
  libraw_processed_image_t* img = raw->dcraw_make_mem_image(&err);
  if (!img) return libraw_strerror(err);
  std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> guard(img, LibRaw::dcraw_clear_mem);
  if (img->type != LIBRAW_IMAGE_BITMAP || img->colors != 3 || img->bits != 16 || img->width != width ||
      img->height != yb - ya)
    return "unexpected output";
  const Development development(*raw, true);
  raw->returnBorrowed();
  raw->recycle();
  development.apply(reinterpret_cast<const uint16_t*>(img->data) + size_t(y0 - ya) * width * 3, y1 - y0, *out, y0);
  return {};
}

}  // namespace

bool decodeRAW(const uint8_t* d, size_t n, const DecodeRequest& req, DecodeResult& res, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "RAW: " + why;
    res.bitmap = {};
    return false;
  };
  auto raw = openRaw(d, n, error);
  if (!raw) return false;
  fillInfo(*raw, res.info, raw->imgdata.idata.dng_version != 0);
  static const int kHalf[] = {1, 2};
  const bool half = req.rawHalfSize || chooseReduction(res.info.size, res.info.orientation, req.fitSize, kHalf, 2) == 2;
  bool unpacked = false;
  if (!half && ownDemosaicFor(*raw, req)) {
    setDevelopment(*raw, req, false);
    if (int rc = raw->unpack(); rc != LIBRAW_SUCCESS) return fail(libraw_strerror(rc));
    unpacked = true;
    MosaicLevels levels;
    if (raw->imgdata.rawdata.raw_image && levels.read(*raw)) {
      // Straight into the caller's image when it takes linear blocks: no full-size bitmap between.
      const int width = raw->imgdata.sizes.width, height = raw->imgdata.sizes.height;
      RowSink* sink = req.rowSink && req.rowSink->beginLinear(width, height, res.info) ? req.rowSink : nullptr;
      if (!sink && !res.bitmap.allocate(width, height, 3, 32)) return fail("out of memory");
      if (const std::string why = developMosaic(*raw, levels, req, sink, sink ? nullptr : &res.bitmap); !why.empty())
        return fail(why);
      res.streamed = sink != nullptr;
      res.scale = 1.0;
      res.linear = true;
      return true;
    }
    // A mosaic LibRaw keeps in another form, or levels from a camera's own tables: LibRaw's development.
  }
  const int bands = half || unpacked ? 1 : bandsFor(*raw, req);
  // With LibRaw's denoising, a plain Bayer sensor is demosaiced by us after it too, in bands.
  const bool ownAfterDenoising = !half && !unpacked && !req.rawLibRawDemosaic &&
                                 bandContext(*raw, req) == kBandContextDenoised && isPlainBayerSensor(*raw);
  if (bands > 1 || ownAfterDenoising) {
    // Each band is developed by a decoder of its own, side by side: LibRaw's development runs mostly
    // on one core. The file is unpacked once and every band reads that (the sensor data is a third of
    // a band's working memory at 8 bands). The bands' rows are whole-picture rows rounded to 16.
    const int width = raw->imgdata.sizes.width, height = raw->imgdata.sizes.height;
    setDevelopment(*raw, req, false);
    if (int rc = raw->unpack(); rc != LIBRAW_SUCCESS) return fail(libraw_strerror(rc));
    RowSink* sink =
        ownAfterDenoising && req.rowSink && req.rowSink->beginLinear(width, height, res.info) ? req.rowSink : nullptr;
    if (!sink && !res.bitmap.allocate(width, height, 3, 32)) return fail("out of memory");
    const int step = (height / bands + 15) / 16 * 16;
    std::vector<std::string> errors(static_cast<size_t>(bands));
    parallelFor(bands, 1, [&](int64_t b0, int64_t b1) {
      for (int64_t b = b0; b < b1; ++b) {
        const int y0 = int(b) * step, y1 = b + 1 == bands ? height : std::min(height, int(b + 1) * step);
        if (y0 < y1)
          errors[size_t(b)] =
              developBand(d, n, *raw, req, y0, y1, ownAfterDenoising, sink, sink ? nullptr : &res.bitmap);
      }
    });
    for (const auto& why : errors)
      if (!why.empty()) return fail(why);
    res.streamed = sink != nullptr;
    res.scale = 1.0;
    res.linear = true;
    return true;
  }
  setDevelopment(*raw, req, half);
  const bool cameraColour = raw->imgdata.idata.colors == 3;
  int rc = unpacked ? LIBRAW_SUCCESS : raw->unpack();
  if (rc != LIBRAW_SUCCESS) return fail(libraw_strerror(rc));
  rc = raw->dcraw_process();
  if (rc != LIBRAW_SUCCESS) return fail(isCancelled(req.cancel) ? "cancelled" : libraw_strerror(rc));
  // LibRaw's own copy of its result: its working image may still be laid out shrunk (denoising
  // works on half the pixels), which only its copy knows to undo.
  int err = 0;
  libraw_processed_image_t* img = raw->dcraw_make_mem_image(&err);
  if (!img) return fail(libraw_strerror(err));
  std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> guard(img, LibRaw::dcraw_clear_mem);
  if (img->type != LIBRAW_IMAGE_BITMAP || img->colors != 3 || img->bits != 16) return fail("unexpected output");
  const int width = img->width, height = img->height;
  if (size_t(img->data_size) < size_t(width) * height * 6) return fail("short output");
  const Development development(*raw, cameraColour);
  raw->recycle();  // LibRaw's working buffers are no longer needed: free them before the float copy
  if (!res.bitmap.allocate(width, height, 3, 32)) return fail("out of memory");
  development.apply(reinterpret_cast<const uint16_t*>(img->data), height, res.bitmap, 0);
  res.scale = double(width) / res.info.size.width;
  res.linear = true;
  return true;
}

bool rawEmbeddedPreview(const uint8_t* d, size_t n, Bitmap& out, std::string* error) {
  auto raw = openRaw(d, n, error);
  if (!raw) return false;
  if (raw->unpack_thumb() != LIBRAW_SUCCESS) {
    if (error) *error = "RAW: no embedded preview";
    return false;
  }
  int err = 0;
  libraw_processed_image_t* img = raw->dcraw_make_mem_thumb(&err);
  if (!img) {
    if (error) *error = "RAW: no embedded preview";
    return false;
  }
  std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> guard(img, LibRaw::dcraw_clear_mem);
  if (img->type == LIBRAW_IMAGE_JPEG) {
    DecodeRequest req;
    DecodeResult res;
    if (!decodeJPEG(img->data, img->data_size, req, res, error)) return false;
    out = std::move(res.bitmap);
    return true;
  }
  if (img->type == LIBRAW_IMAGE_BITMAP && (img->colors == 3 || img->colors == 1) && img->bits == 8) {
    if (!out.allocate(img->width, img->height, img->colors, 8) || size_t(img->data_size) < out.pixels.size())
      return false;
    std::memcpy(out.pixels.data(), img->data, out.pixels.size());
    return true;
  }
  if (error) *error = "RAW: unsupported preview";
  return false;
}

bool rawMetadata(const uint8_t* d, size_t n, OrvantaExifData& exif) {
  auto raw = openRaw(d, n, nullptr);
  if (!raw) return false;
  const auto& o = raw->imgdata.other;
  const auto& id = raw->imgdata.idata;
  if (exif.isoSpeed < 0 && o.iso_speed > 0) exif.isoSpeed = o.iso_speed;
  if (exif.shutterSpeed < 0 && o.shutter > 0) exif.shutterSpeed = o.shutter;
  if (exif.fNumber < 0 && o.aperture > 0) exif.fNumber = o.aperture;
  if (exif.focalLength == 0 && o.focal_len > 0) exif.focalLength = o.focal_len;
  if (exif.cameraName.empty()) exif.cameraName = id.make;
  if (exif.cameraModel.empty()) exif.cameraModel = id.model;
  const auto& lens = raw->imgdata.lens;
  if (exif.minFocalLen == 0 && lens.MinFocal > 0) exif.minFocalLen = lens.MinFocal;
  if (exif.maxFocalLen == 0 && lens.MaxFocal > 0) exif.maxFocalLen = lens.MaxFocal;
  if (exif.lensModel.empty() && lens.Lens[0]) exif.lensModel = lens.Lens;
  if (exif.orientation == 1) exif.orientation = orientationFromFlip(raw->imgdata.sizes.flip);
  exif.isRaw = true;
  return true;
}

}  // namespace rova::codecs::detail
