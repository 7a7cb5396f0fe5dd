// Pixels that live only in memory are cached in the document's history when a layer joins it, so
// a saved step brings them back; layers with a file are not copied.
#include <gtest/gtest.h>

#include <filesystem>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorStackTestSupport.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;
namespace fs = std::filesystem;

namespace {

struct PixelsCacheTest : ProcessorWithHistoryTest {
  size_t cachedFiles() {
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(manager->resourcesPath(), ec); !ec && it != fs::directory_iterator(); ++it)
      ++n;
    return n;
  }
  static rova::ImageDataRGBfPtr pattern() {
    auto data = rova::ImageDataRGBf::create(400, 300);
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 400; ++x) data->at(x, y) = {float(x) / 400, float(y) / 300, 0.25f};
    return data;
  }
};

}  // namespace

TEST_F(PixelsCacheTest, PixelsWithoutAFileAreCachedOnAttachAndComeBackWithASavedStep) {
  auto& p = *processor;
  p.setActiveLayer(p.createLayer());
  settle(p);
  EXPECT_FALSE(p.initialLayer()->historyTextureName()) << "the opened picture has its file";
  const size_t before = cachedFiles();

  auto layer = QVIPLayerFactory::layerWithImageData(pattern());
  ASSERT_TRUE(layer);
  EXPECT_FALSE(layer->historyTextureName()) << "no history before it joins the document";
  p.addLayer(layer);
  ASSERT_TRUE(layer->historyTextureName());
  EXPECT_TRUE(fs::exists(fs::path(manager->resourcesPath()) / *layer->historyTextureName()));
  EXPECT_EQ(cachedFiles(), before + 1);
  settle(p);

  // A step saved now holds the cache name; after the layer is gone the step brings its pixels back.
  bool saved = false;
  p.historyManagerSaveStateForHistoryWithUUID(*manager, "with", [&](bool ok) { saved = ok; });
  ASSERT_TRUE(saved);
  p.removeLayer(layer);
  settle(p);
  ASSERT_EQ(p.layers().size(), 1u);
  bool restored = false;
  p.historyManagerRestoreStateForUUID(*manager, "with", [&](bool ok) { restored = ok; });
  settle(p);
  ASSERT_TRUE(restored);
  auto list = p.layers();
  ASSERT_EQ(list.size(), 2u);
  rova::ImagePtr back;
  p.performOnImageProcessingQueue(
      [&] {
        if (auto engine = list[1]->cppLayer(); engine && engine->kind() == rova::kLayerKindImage)
          back = static_cast<rova::ImageLayer&>(*engine).getSourceImage();
      },
      true);
  ASSERT_TRUE(back) << "the restored layer shows the cached pixels";
  auto pixels = back->imageData();
  ASSERT_TRUE(pixels);
  EXPECT_NEAR(pixels->at(200, 150).r, 0.5f, 1e-3f);
  EXPECT_NEAR(pixels->at(200, 150).g, 0.5f, 1e-3f);
}

TEST_F(PixelsCacheTest, AnAttachOffTheMainThreadCachesThereLater) {
  auto& p = *processor;
  auto layer = QVIPLayerFactory::layerWithImageData(pattern());
  p.performOnImageProcessingQueue([&] { layer->setParent(p.weakAs<QVParentLayerProtocol>()); }, true);
  EXPECT_FALSE(layer->historyTextureName()) << "the history is not called from the processing queue";
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_TRUE(layer->historyTextureName());
  layer->setParent({});
}
