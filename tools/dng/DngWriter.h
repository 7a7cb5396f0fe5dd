#pragma once
// A camera RAW made from a known picture, for the tests and benchmarks of the RAW development: the
// picture (linear light, Rec. 709 primaries) is seen by a sensor whose three channels answer to its
// R, G and B with known sensitivities, laid out as an RGGB colour filter mosaic of `bits`-bit
// samples over a black level, and stored as a DNG whose ColorMatrix1 and AsShotNeutral describe
// exactly that sensor. A faithful development of the file gives the picture back.
#include <array>
#include <cstdint>
#include <string>

namespace solvane::dng {

struct SensorSpec {
  // How strongly each channel answers to the picture's linear R, G and B (the most sensitive
  // channel sets the scale).
  std::array<double, 3> sensitivity{0.55, 1.0, 0.7};
  // Channel c first sees sum over k of mixing[3c + k] times the picture's channel k (identity: the
  // sensor's filters have sRGB's primaries; other rows mix them, as real filters do).
  std::array<double, 9> mixing{1, 0, 0, 0, 1, 0, 0, 0, 1};
  int bits = 14;              // the sensor's white is 2^bits - 1
  int blackLevel = 512;       // added to every sample
  double pictureWhite = 0.8;  // where the picture's white lands in the channel that sees most of it, 0..1 of range
  double exposureEV = 0;      // the picture brighter (+) or darker (-) before it meets the sensor; past white clips
  // Sensor noise: shot noise of `photons` electrons at the sensor's white (0: none) and a read noise
  // in samples; deterministic (a fixed seed).
  double photonsAtWhite = 0;
  double readNoise = 0;
  int iso = 0;  // written as the EXIF ISO speed when positive
  // The DNG BaselineExposure tag in EV when set (NaN: not written).
  double baselineExposure = __builtin_nan("");
  int orientation = 1;  // the TIFF Orientation tag (1..8): how the stored picture is to be turned
};

// Writes `rgb` (w x h pixels, three floats each, rows top to bottom) as a DNG at `path`.
// False with a reason in *error when the file cannot be written.
bool writeBayerDng(const std::string& path, int w, int h, const float* rgb, const SensorSpec& spec,
                   std::string* error = nullptr);

}  // namespace solvane::dng
