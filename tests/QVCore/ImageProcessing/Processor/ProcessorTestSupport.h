#pragma once
// Helpers for processor tests: a picture file made in code, loading a processor and letting its
// queue and the main thread's work settle.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <memory>
#include <string>

#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVPlatform/MainExecutor.h"
#include "common/TestSupport.h"
#include "rova/codecs/Codecs.h"

namespace solvane::test {

// A JPEG of w x h whose colours vary smoothly across it (written once per size and process).
inline std::string gradientJpeg(int w, int h) {
  auto path = testHome() / ("gradient-" + std::to_string(w) + "x" + std::to_string(h) + ".jpg");
  if (std::filesystem::exists(path)) return path.string();
  rova::codecs::Bitmap bitmap;
  EXPECT_TRUE(bitmap.allocate(w, h, 3, 8));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bitmap.row(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = uint8_t(30 + 200 * x / w);
      row[3 * x + 1] = uint8_t(40 + 180 * y / h);
      row[3 * x + 2] = uint8_t(90 + ((x / 37 + y / 41) % 2) * 60);
    }
  }
  std::string error;
  auto bytes = rova::codecs::encode(bitmap, {}, &error);
  EXPECT_FALSE(bytes.empty()) << error;
  FILE* f = std::fopen(path.string().c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path.string();
}

// Runs the processor's queued engine work and the main thread's queued work until both are idle.
inline void settle(QVRovaProcessor& p) {
  for (int i = 0; i < 50; ++i) {
    p.imageProcessingQueue()->waitUntilAllOperationsAreFinished();
    if (qv::MainExecutor::shared().runUntilIdle() == 0 && p.imageProcessingQueue()->operationCount() == 0) return;
  }
}

// Loads the picture at the fit size (through the processor's own loading call) and settles.
inline QVIPImagePtr loadAndSettle(QVRovaProcessor& p, const std::string& path, CGSize fitSize) {
  std::promise<QVIPImagePtr> loaded;
  p.loadImageAtURL(path, fitSize, [&](QVIPImagePtr image) { loaded.set_value(image); });
  auto image = loaded.get_future().get();
  settle(p);
  return image;
}

// One delivered render.
struct Delivery {
  bool called = false;
  QVIPImagePtr image, thumbnail, region;
  CGSize fitSize{};
  CGRect rect{};
  QVRovaProcessor::Completion completion() {
    return [this](QVIPImagePtr i, QVIPImagePtr t, QVIPImagePtr r, CGSize s, CGRect rc) {
      called = true;
      image = std::move(i);
      thumbnail = std::move(t);
      region = std::move(r);
      fitSize = s;
      rect = rc;
    };
  }
};

inline std::shared_ptr<QVIPProcessParams> request(CGRect rect, CGSize fit, bool async = true) {
  auto params = QVIPProcessParams::defaultParams();
  params->setRect(rect);
  params->setFitSize(fit);
  params->setIsAsync(async);
  return params;
}

}  // namespace solvane::test
