#pragma once
// Small image files made in code for the engine tests.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "rova/codecs/Codecs.h"

namespace enginetest {

using Rgb8 = std::array<uint8_t, 3>;

// An 8-bit RGB bitmap whose pixel (x, y) is f(x, y).
rova::codecs::Bitmap makeBitmap(int w, int h, const std::function<Rgb8(int, int)>& f);
// A 16-bit bitmap of 1..4 channels whose sample c of (x, y) is f(x, y, c).
rova::codecs::Bitmap makeBitmap16(int w, int h, int channels, const std::function<uint16_t(int, int, int)>& f);

void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::filesystem::path& p);
// Encodes with the engine's writer and saves; fails the test on error.
std::filesystem::path writeImage(const std::filesystem::path& p, const rova::codecs::Bitmap& b,
                                 const rova::codecs::EncodeOptions& o);

// A TIFF written with libtiff directly: 8/16-bit integer or 32-bit float RGB samples, strips or tiles.
struct TiffSpec {
  int width = 16, height = 16, bits = 8;
  bool floatSamples = false, tiled = false;
  int compression = 1;  // libtiff COMPRESSION_*
};
void writeTiff(const std::filesystem::path& p, const TiffSpec& spec, const std::function<double(int, int, int)>& value);

// An 8-bit palette PNG written with libpng directly (pixel (x, y) has palette index f(x, y) of colours).
void writePalettePng(const std::filesystem::path& p, int w, int h, const std::vector<Rgb8>& colours,
                     const std::function<int(int, int)>& index);

// A DNG holding an RGGB Bayer mosaic of 16-bit samples whose scene colour at (x, y) is f(x, y), each
// channel 0..1 in linear light; neutral white balance and an identity-like colour matrix.
void writeBayerDng(const std::filesystem::path& p, int w, int h,
                   const std::function<std::array<double, 3>(int, int)>& f);

}  // namespace enginetest
