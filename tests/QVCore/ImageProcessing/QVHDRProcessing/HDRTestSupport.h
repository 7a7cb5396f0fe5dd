#pragma once
// Synthetic brackets: a known scene of radiances, its exposures as the camera would record them
// (clipped, 8-bit sRGB steps) and JPEG/PNG files with chosen EXIF.
#include <cmath>
#include <filesystem>
#include <string>

#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Value.h"
#include "rova/ImageData.h"

namespace hdrtest {

// Radiance over a w x h frame: 15 stops from left (1/4096) to right (8), with a fine texture of
// +-10 % so detail can be seen in every part.
inline float sceneRadiance(int x, int y, int w) {
  const float stops = -12.0f + 15.0f * float(x) / float(w - 1);
  const float texture = ((x / 2 + y / 2) % 2) ? 1.1f : 0.9f;
  return std::exp2(stops) * texture;
}

inline float quantizeEncoded(float linear) {
  const float v = std::clamp(linear, 0.0f, 1.0f);
  const float e = v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
  const float q = std::round(e * 255.0f) / 255.0f;
  return q <= 0.04045f ? q / 12.92f : std::pow((q + 0.055f) / 1.055f, 2.4f);
}

// The scene at a relative exposure as an 8-bit camera records it, back in linear float.
inline rova::ImageDataRGBfPtr exposure(int w, int h, float e, int shiftX = 0, int shiftY = 0) {
  auto d = rova::ImageDataRGBf::create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int sx = std::clamp(x - shiftX, 0, w - 1), sy = std::clamp(y - shiftY, 0, h - 1);
      const float v = quantizeEncoded(sceneRadiance(sx, sy, w) * e);
      d->at(x, y) = {v, v, v};
    }
  return d;
}

// Writes engine data (linear) as an image file of the type with the property dictionary.
inline bool writeImage(const std::filesystem::path& path, const rova::ImageDataRGBf& data, const std::string& type,
                       const qv::Value& properties) {
  // Stored sRGB-encoded, as a camera writes it.
  auto encoded = rova::ImageDataRGBf::create(data.width(), data.height(), rova::kColorProfileSRGB);
  auto enc = [](float v) {
    v = std::clamp(v, 0.0f, 1.0f);
    return v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
  };
  for (size_t i = 0; i < data.pixelCount(); ++i) {
    const auto& p = data.data()[i];
    encoded->data()[i] = {enc(p.r), enc(p.g), enc(p.b)};
  }
  auto image = qv::imageFromEngineData(*encoded);
  auto dest = CGImageDestinationCreateWithURL(path.string(), type, 1);
  if (!image || !dest) return false;
  qv::Value props = properties.isNull() ? qv::Value(qv::Dictionary{}) : properties;
  props.set(kCGImageDestinationLossyCompressionQuality, 1.0);
  CGImageDestinationAddImage(dest, image, props);
  return CGImageDestinationFinalize(dest);
}

struct Exif {
  double exposureTime = 0.01;
  double fNumber = 8;
  int iso = 100;
  double bias = 0;
  int program = 1;
  double focal = 35;
  std::string date = "2024:05:01 12:00:00";
  bool hasProgram = true;
};

inline qv::Value exifProperties(const Exif& e) {
  qv::Dictionary exif{{"ExposureTime", e.exposureTime},
                      {"FNumber", e.fNumber},
                      {"ISOSpeedRatings", qv::Array{qv::Value(e.iso)}},
                      {"ExposureBiasValue", e.bias},
                      {"ShutterSpeedValue", -std::log2(e.exposureTime)},
                      {"FocalLength", e.focal},
                      {"DateTimeOriginal", e.date}};
  if (e.hasProgram) exif["ExposureProgram"] = e.program;
  return qv::Dictionary{{"{Exif}", exif}};
}

}  // namespace hdrtest
