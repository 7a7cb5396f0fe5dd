#include "DngWriter.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace solvane::dng {
namespace {

bool fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// XYZ (D65) to linear sRGB.
constexpr double kXyzToSrgb[3][3] = {
    {3.2404542, -1.5371385, -0.4985314}, {-0.9692660, 1.8760108, 0.0415560}, {0.0556434, -0.2040259, 1.0572252}};

}  // namespace

bool writeBayerDng(const std::string& path, int w, int h, const float* rgb, const SensorSpec& spec,
                   std::string* error) {
  if (w < 2 || h < 2 || !rgb) return fail(error, "DNG: no picture");
  if (spec.bits < 8 || spec.bits > 16) return fail(error, "DNG: bits out of range");
  // The sensor's answer to the picture: camera = response x linear sRGB; its answer to white is
  // the camera neutral.
  double response[3][3], neutralOf[3];
  for (int c = 0; c < 3; ++c) {
    neutralOf[c] = 0;
    for (int k = 0; k < 3; ++k) {
      response[c][k] = spec.sensitivity[size_t(c)] * spec.mixing[size_t(3 * c + k)];
      neutralOf[c] += response[c][k];
    }
  }
  const double top = std::max({neutralOf[0], neutralOf[1], neutralOf[2]});
  if (!(std::min({neutralOf[0], neutralOf[1], neutralOf[2]}) > 0))
    return fail(error, "DNG: every channel must see white");
  const uint32_t white = (1u << spec.bits) - 1;
  if (spec.blackLevel < 0 || uint32_t(spec.blackLevel) >= white) return fail(error, "DNG: black level out of range");

  std::unique_ptr<TIFF, void (*)(TIFF*)> t(TIFFOpen(path.c_str(), "w"), [](TIFF* p) {
    if (p) TIFFClose(p);
  });
  if (!t) return fail(error, "DNG: cannot create " + path);
  TIFF* tif = t.get();

  // The EXIF directory (ISO speed) first, so the main directory can point at it.
  uint64_t exifOffset = 0;
  if (spec.iso > 0) {
    if (TIFFCreateEXIFDirectory(tif) != 0) return fail(error, "DNG: no EXIF directory");
    uint16_t iso = uint16_t(std::min(spec.iso, 65535));
    TIFFSetField(tif, EXIFTAG_ISOSPEEDRATINGS, 1, &iso);
    if (!TIFFWriteCustomDirectory(tif, &exifOffset)) return fail(error, "DNG: cannot write the EXIF directory");
    TIFFCreateDirectory(tif);
  }

  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(16));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(32803));  // colour filter array
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(std::max(1, std::min(h, (1 << 20) / (2 * w) + 1))));
  TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(std::clamp(spec.orientation, 1, 8)));
  TIFFSetField(tif, TIFFTAG_MAKE, "Testmaker");
  TIFFSetField(tif, TIFFTAG_MODEL, "Bayer One");
  static const uint8_t kVersion[4] = {1, 4, 0, 0};
  TIFFSetField(tif, TIFFTAG_DNGVERSION, kVersion);
  TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, kVersion);
  TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Testmaker Bayer One");
  uint16_t dim[2] = {2, 2};
  TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, dim);
  uint8_t pattern[4] = {0, 1, 1, 2};  // R G / G B
  TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, pattern);
  uint8_t planeColor[3] = {0, 1, 2};
  TIFFSetField(tif, TIFFTAG_CFAPLANECOLOR, 3, planeColor);
  TIFFSetField(tif, TIFFTAG_CFALAYOUT, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
  float black = float(spec.blackLevel);
  TIFFSetField(tif, TIFFTAG_BLACKLEVEL, 1, &black);
  // XYZ to camera: the sensor sees linear sRGB scaled per channel; scaled so that the light of the
  // calibration illuminant (D65, sRGB's white) gives a camera neutral whose largest value is 1.
  float matrix[9];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += response[r][k] * kXyzToSrgb[k][c];
      matrix[3 * r + c] = float(v / top);
    }
  TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, matrix);
  TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, uint16_t(21));  // D65
  float neutral[3];
  for (int c = 0; c < 3; ++c) neutral[c] = float(neutralOf[c] / top);
  TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
  if (!std::isnan(spec.baselineExposure)) TIFFSetField(tif, TIFFTAG_BASELINEEXPOSURE, spec.baselineExposure);
  if (spec.iso > 0) TIFFSetField(tif, TIFFTAG_EXIFIFD, exifOffset);

  const double range = double(white) - spec.blackLevel;
  const double gain = spec.pictureWhite * std::exp2(spec.exposureEV) / top;
  std::mt19937 random(1234567);
  std::normal_distribution<double> normal(0, 1);
  std::vector<uint16_t> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    const float* px = rgb + size_t(y) * w * 3;
    for (int x = 0; x < w; ++x) {
      const int ch = (y % 2 == 0) ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
      double v = 0;  // 1: the sensor's white
      for (int k = 0; k < 3; ++k) v += response[ch][k] * std::max(0.f, px[3 * x + k]);
      v *= gain;
      if (spec.photonsAtWhite > 0) v += normal(random) * std::sqrt(std::min(v, 1.0) / spec.photonsAtWhite);
      double sample = spec.blackLevel + std::min(v, 1.0) * range;
      if (spec.readNoise > 0) sample += normal(random) * spec.readNoise;
      row[size_t(x)] = uint16_t(std::clamp(std::lround(sample), 0L, long(white)));
    }
    if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) return fail(error, "DNG: cannot write " + path);
  }
  if (!TIFFWriteDirectory(tif)) return fail(error, "DNG: cannot write " + path);
  return true;
}

}  // namespace solvane::dng
