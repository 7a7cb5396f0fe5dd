// Layers made from renders: merge, stamp and rasterize, the denoise layer and the erase tool.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "QVCore/ImageProcessing/Processor/ProcessorStackTestSupport.h"
#include "rova/Inpaint.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;
using LayerPtr = QVRovaProcessor::LayerPtr;

namespace {

struct RenderedLayersTest : ProcessorStackTest {
  // Five enabled layers named "Layer 0" .. "Layer 4".
  std::vector<LayerPtr> fiveLayers() {
    std::vector<LayerPtr> list;
    for (int i = 0; i < 5; ++i) {
      auto layer = processor->createLayer();
      layer->setName("Layer " + std::to_string(i));
      list.push_back(layer);
    }
    processor->setActiveLayer(list.back());
    settle(*processor);
    return list;
  }
  LayerPtr merge(const std::vector<uint64_t>& indexes, uint64_t leaveState) {
    bool called = false;
    LayerPtr merged;
    processor->mergeLayersWithIndexes(indexes, leaveState, [&](LayerPtr l) { called = true, merged = l; });
    for (int i = 0; i < 200 && !called; ++i) settle(*processor);
    EXPECT_TRUE(called);
    return merged;
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const auto& l : processor->layers()) out.push_back(l->name());
    return out;
  }
  rova::ImageDataRGBfPtr pixelsOf(const LayerPtr& layer) {
    auto image = layer ? layer->cppSourceImage() : nullptr;
    return image ? image->source()->data() : nullptr;
  }
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(RenderedLayersTest, MergeRemovesWhatItsLeaveStateSaysAndPlacesTheNewLayerAboveTheSet) {
  auto list = fiveLayers();
  auto merged = merge({1, 3}, 0);
  ASSERT_TRUE(merged);
  EXPECT_EQ(names(), (Names{"Layer 0", "Layer 2", "Merged Layer 3", "Layer 4"}));
  EXPECT_TRUE(list[2]->isEnabled()) << "switched off for the render only";
  EXPECT_EQ(processor->activeLayer(), merged);
  EXPECT_EQ(merged->layerType(), 3u);
  auto pixels = pixelsOf(merged);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->width(), 400);
  EXPECT_EQ(pixels->height(), 300);
  expectEngineMatchesModel(*processor);

  // Stamp: nothing leaves; the top of the stack gets the new layer.
  auto stamped = merge({2, 3}, 2);
  ASSERT_TRUE(stamped);
  EXPECT_EQ(names(), (Names{"Layer 0", "Layer 2", "Merged Layer 3", "Layer 4", "Stamped Layer"}));
}

TEST_F(RenderedLayersTest, RasterizeTakesTheWholeRangeAndLeaveStateOneKeepsDisabledMembers) {
  auto list = fiveLayers();
  list[4]->setName("Layer 7");
  list[2]->setEnabled(false);
  settle(*processor);
  auto merged = merge({1, 2, 4}, 1);
  ASSERT_TRUE(merged);
  EXPECT_EQ(names(), (Names{"Layer 0", "Layer 2", "Layer 3", "Merged Layer 7"}))
      << "the disabled member stays, the enabled ones leave, the enabled outsider stays";
  EXPECT_TRUE(list[3]->isEnabled());

  list[2]->setEnabled(true);
  settle(*processor);
  auto rasterized = merge({0, 2}, 3);
  ASSERT_TRUE(rasterized);
  EXPECT_EQ(names(), (Names{"Layer 2", "Rasterize Layer 3", "Merged Layer 7"}))
      << "the whole range leaves except the enabled outsider in it";
}

TEST_F(RenderedLayersTest, DenoiseInsertsTheSourcesRenderAboveTheActiveLayer) {
  auto list = fiveLayers();
  processor->setActiveLayer(list[1]);
  settle(*processor);
  auto source = loadedProcessor();
  LayerPtr added;
  processor->applyDenoise(source, [&](LayerPtr l) { added = l; });
  for (int i = 0; i < 100 && !added; ++i) {
    settle(*source);
    settle(*processor);
  }
  ASSERT_TRUE(added);
  EXPECT_EQ(processor->layers()[2], added);
  EXPECT_EQ(added->name(), "Denoise layer");
  EXPECT_EQ(processor->activeLayer(), added);
  EXPECT_EQ(processor->editedLayer(), added);
  EXPECT_TRUE(added->isActive());
  auto pixels = pixelsOf(added);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->width(), 400);
  expectEngineMatchesModel(*processor);
  settle(*source);
}

TEST_F(RenderedLayersTest, EraseIsRefusedForLargeAreasAndInsertsTheInpaintedPictureBelowTheEditedLayer) {
  auto& p = *processor;
  auto edited = p.createLayer();
  p.setActiveLayer(edited);
  edited->createMaskAndFillWith(0, true);
  p.setEditedLayer(edited);
  settle(p);
  const size_t total = 400 * 300;
  auto selectFirst = [&](size_t selected) {
    p.performOnImageProcessingQueue(
        [&] {
          auto mask = edited->cppLayer()->getMask();
          for (size_t i = 0; i < total; ++i) mask->values()[i] = i < selected ? 1.0f : 0.0f;
          edited->cppLayer()->resetMaskCache();
        },
        true);
  };
  struct Outcome {
    bool refused = false;
    LayerPtr layer;
    std::string title;
  };
  auto erase = [&] {
    Outcome o;
    bool done = false;
    p.applyEraseCompletion(
        [&](LayerPtr l) { done = true, o.layer = l; },
        [&](const std::string& title, const std::string&) { done = true, o.refused = true, o.title = title; });
    // The inpainting runs on a background queue: its result reaches the main thread when it is done.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < deadline) {
      settle(p);
      if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(p.processingCounter(), 0u) << "lowered on every path";
    return o;
  };

  int calls = 0;
  QVRovaProcessor::setInpainter([&](const rova::ImageDataRGBf& source, rova::ImageDataRGBf& destination,
                                    const rova::ImageDataF& mask, int method, float parameter,
                                    const std::atomic<uint8_t>&, const std::function<void(float)>& progress) {
    ++calls;
    EXPECT_EQ(method, 1);
    EXPECT_FLOAT_EQ(parameter, 0.5f);
    EXPECT_EQ(mask.width(), source.width());
    for (int y = 0; y < source.height(); ++y)
      for (int x = 0; x < source.width(); ++x)
        destination.at(x, y) = mask.at(x, y) > 0 ? rova::PixelRGB<float>{0.5f, 0.5f, 0.5f} : source.at(x, y);
    progress(1.0f);
    return 0;
  });

  selectFirst(total);
  EXPECT_TRUE(erase().refused) << "no unselected pixel";
  selectFirst(total / 2 + 1);
  auto refused = erase();
  EXPECT_TRUE(refused.refused) << "more than half selected";
  EXPECT_EQ(refused.title, "Erase can't be done");
  EXPECT_EQ(calls, 0);

  selectFirst(total / 2);
  auto done = erase();
  ASSERT_FALSE(done.refused);
  ASSERT_TRUE(done.layer);
  EXPECT_EQ(calls, 1);
  auto list = p.layers();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], done.layer);
  EXPECT_EQ(list[1], edited) << "the edited layer sits directly above the erased picture";
  EXPECT_EQ(done.layer->name(), "Erased image layer");
  EXPECT_EQ(p.activeLayer(), done.layer);
  EXPECT_EQ(p.editedLayer(), done.layer);
  auto pixels = pixelsOf(done.layer);
  ASSERT_TRUE(pixels);
  EXPECT_FLOAT_EQ(pixels->at(0, 0).g, 0.5f) << "the selected rows are filled";

  // A cancelled inpainting leaves its destination unfilled: it must not become a layer.
  QVRovaProcessor::setInpainter([](const rova::ImageDataRGBf&, rova::ImageDataRGBf&, const rova::ImageDataF&, int,
                                   float, const std::atomic<uint8_t>&,
                                   const std::function<void(float)>&) { return int(rova::kInpaintCancelled); });
  p.setEditedLayer(edited);
  EXPECT_TRUE(erase().refused);

  // Without an inpainting every erase fails through the error handler.
  QVRovaProcessor::setInpainter(nullptr);
  p.setEditedLayer(edited);
  EXPECT_TRUE(erase().refused);

  // The engine's own inpainting fills the selected rows from the picture around them.
  QVRovaProcessor::setInpainter(QVRovaProcessor::engineInpainter());
  p.setEditedLayer(edited);
  auto engineDone = erase();
  ASSERT_FALSE(engineDone.refused);
  auto filled = pixelsOf(engineDone.layer);
  auto below = pixelsOf(done.layer);
  ASSERT_TRUE(filled && below);
  auto rowMean = [](const rova::ImageDataRGBf& image, int y) {
    double sum = 0;
    for (int x = 0; x < image.width(); ++x) sum += image.at(x, y).g;
    return sum / image.width();
  };
  // The selected rows held flat grey; the fill continues the unselected picture across the edge.
  EXPECT_NEAR(rowMean(*filled, 149), rowMean(*below, 150), 0.03) << "filled from the unselected rows";
  EXPECT_GT(std::fabs(rowMean(*filled, 149) - 0.5), 0.2);
  EXPECT_EQ(filled->at(7, 299), below->at(7, 299)) << "unselected pixels stay";
}
