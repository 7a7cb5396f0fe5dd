#include "engine/rova/EngineTestFiles.h"

#include "DngWriter.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>

namespace enginetest {

using rova::codecs::Bitmap;

Bitmap makeBitmap(int w, int h, const std::function<Rgb8(int, int)>& f) {
  Bitmap b;
  b.allocate(w, h, 3, 8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgb8 c = f(x, y);
      std::copy(c.begin(), c.end(), b.row(y) + x * 3);
    }
  return b;
}

Bitmap makeBitmap16(int w, int h, int channels, const std::function<uint16_t(int, int, int)>& f) {
  Bitmap b;
  b.allocate(w, h, channels, 16);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(b.row(y));
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) row[x * channels + c] = f(x, y, c);
  }
  return b;
}

void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream o(p, std::ios::binary);
  o.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> readFile(const std::filesystem::path& p) {
  std::ifstream i(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(i), std::istreambuf_iterator<char>()};
}

std::filesystem::path writeImage(const std::filesystem::path& p, const Bitmap& b,
                                 const rova::codecs::EncodeOptions& o) {
  std::string error;
  auto bytes = rova::codecs::encode(b, o, &error);
  EXPECT_FALSE(bytes.empty()) << error;
  writeFile(p, bytes);
  return p;
}

void writeTiff(const std::filesystem::path& p, const TiffSpec& s, const std::function<double(int, int, int)>& value) {
  TIFF* t = TIFFOpen(p.c_str(), "w");
  ASSERT_TRUE(t);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(s.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(s.height));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(s.floatSamples ? 32 : s.bits));
  TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, s.floatSamples ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(s.compression));
  if (s.compression == COMPRESSION_JPEG) {
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(t, TIFFTAG_JPEGQUALITY, 95);
  } else {
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  }
  const int bytesPerSample = s.floatSamples ? 4 : s.bits / 8;
  auto put = [&](uint8_t* dst, int x, int y) {
    for (int c = 0; c < 3; ++c) {
      double v = value(x, y, c);
      if (s.floatSamples) {
        float f = float(v);
        std::memcpy(dst + c * 4, &f, 4);
      } else if (s.bits == 16) {
        uint16_t u = uint16_t(std::lround(std::clamp(v, 0.0, 1.0) * 65535));
        std::memcpy(dst + c * 2, &u, 2);
      } else {
        dst[c] = uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
      }
    }
  };
  if (s.tiled) {
    const uint32_t tw = 16, th = 16;
    TIFFSetField(t, TIFFTAG_TILEWIDTH, tw);
    TIFFSetField(t, TIFFTAG_TILELENGTH, th);
    std::vector<uint8_t> tile(size_t(tw) * th * 3 * bytesPerSample);
    for (int ty = 0; ty < s.height; ty += th)
      for (int tx = 0; tx < s.width; tx += tw) {
        std::fill(tile.begin(), tile.end(), 0);
        for (uint32_t y = 0; y < th && ty + int(y) < s.height; ++y)
          for (uint32_t x = 0; x < tw && tx + int(x) < s.width; ++x)
            put(&tile[(size_t(y) * tw + x) * 3 * bytesPerSample], tx + int(x), ty + int(y));
        ASSERT_GE(TIFFWriteTile(t, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0), 0);
      }
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(s.compression == COMPRESSION_JPEG ? 16 : 4));
    std::vector<uint8_t> row(size_t(s.width) * 3 * bytesPerSample);
    for (int y = 0; y < s.height; ++y) {
      for (int x = 0; x < s.width; ++x) put(&row[size_t(x) * 3 * bytesPerSample], x, y);
      ASSERT_GE(TIFFWriteScanline(t, row.data(), uint32_t(y), 0), 0);
    }
  }
  TIFFClose(t);
}

void writePalettePng(const std::filesystem::path& p, int w, int h, const std::vector<Rgb8>& colours,
                     const std::function<int(int, int)>& index) {
  FILE* f = fopen(p.c_str(), "wb");
  ASSERT_TRUE(f);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> pal;
  for (auto& c : colours) pal.push_back({c[0], c[1], c[2]});
  png_set_PLTE(png, info, pal.data(), int(pal.size()));
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) row[size_t(x)] = uint8_t(index(x, y));
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

void writeBayerDng(const std::filesystem::path& p, int w, int h,
                   const std::function<std::array<double, 3>(int, int)>& f) {
  std::vector<float> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto c = f(x, y);
      for (int k = 0; k < 3; ++k) rgb[(size_t(y) * w + x) * 3 + k] = float(c[size_t(k)]);
    }
  solvane::dng::SensorSpec sensor;
  sensor.sensitivity = {1, 1, 1};
  sensor.bits = 16;
  sensor.blackLevel = 0;
  sensor.pictureWhite = 1;
  std::string error;
  ASSERT_TRUE(solvane::dng::writeBayerDng(p.string(), w, h, rgb.data(), sensor, &error)) << error;
}

}  // namespace enginetest
