#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "QVCore/ImageProcessing/Base/ModelFakes.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/HDRTestSupport.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRProcessor.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;

namespace {

// Counts merges (every merge reports its reading phase once).
class CountingHDRProcessor : public QVHDRProcessor {
 public:
  std::atomic<int> merges{0};
  void handleProgressWithPhaseName(rova::HDRMergingPhaseName phase) override {
    if (phase == rova::HDRMergingPhaseName::kReading) ++merges;
  }
};

class HistoryWithResources : public solvane::test::FakeHistory {
 public:
  std::string resources;
  std::optional<std::string> cachedTexture;
  std::string resourcesPath() override { return resources; }
  std::optional<std::string> cachedInitialTexturePath() override { return cachedTexture; }
};

// The process-wide reader and catalogue switches the first use of the class sets, put back after
// each test so other tests see what they expect.
class SavedSwitches {
 public:
  SavedSwitches()
      : newOpen_(QVImageReader::isNewOpenMethod()),
        rawDevelop_(QVImageReader::isApplyRawDevelop()),
        replaceRaw_(QVIPEffectsProvider::replaceEffectIDIntoRawID()) {}
  ~SavedSwitches() {
    QVImageReader::useNewOpenMethod(newOpen_);
    QVImageReader::setApplyRawDevelop(rawDevelop_);
    QVIPEffectsProvider::setReplaceEffectIDIntoRawID(replaceRaw_);
  }

 private:
  bool newOpen_, rawDevelop_, replaceRaw_;
};

struct HDRProcessorTest : ::testing::Test {
  SavedSwitches switches;
  fs::path dir;
  std::vector<std::string> paths;
  std::shared_ptr<HistoryWithResources> history = std::make_shared<HistoryWithResources>();

  void SetUp() override {
    dir = solvane::test::makeTempDir("hdr-processor");
    history->resources = (dir / "resources").string();
    const float exposures[] = {0.25f, 1.0f, 4.0f};
    for (int i = 0; i < 3; ++i) {
      hdrtest::Exif exif;
      exif.exposureTime = 0.01 * exposures[i];
      exif.bias = i - 1;
      const fs::path p = dir / ("bracket" + std::to_string(i) + ".jpg");
      ASSERT_TRUE(hdrtest::writeImage(p, *hdrtest::exposure(120, 40, exposures[i]), kUTTypeJPEG,
                                      hdrtest::exifProperties(exif)));
      paths.push_back(p.string());
    }
  }

  std::shared_ptr<CountingHDRProcessor> load(const std::vector<std::string>& files) {
    auto p = QVRovaProcessor::create<CountingHDRProcessor>();
    p->setHistoryManager(history);
    bool delivered = false;
    QVIPImagePtr preview;
    p->loadImageFromURLs(files, false, [&](QVIPImagePtr image, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) {
      delivered = true;
      preview = image;
    });
    solvane::test::settle(*p);
    EXPECT_TRUE(delivered);
    EXPECT_TRUE(preview);
    return p;
  }
};

}  // namespace

TEST_F(HDRProcessorTest, LoadingMergesKeepsTheMiddleExposureAndCachesIt) {
  int updates = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVImageProcessorMiddleBracketDataUpdated, nullptr,
                                                                   [&](const qv::Notification&) { ++updates; });
  auto p = load(paths);
  EXPECT_EQ(p->merges.load(), 1);
  EXPECT_EQ(p->paths(), paths);
  ASSERT_TRUE(p->initialLayer());
  EXPECT_TRUE(p->hdrSettings());  // defaults put in place
  EXPECT_EQ(updates, 1);

  // The middle exposure is the second of three files, as read.
  auto middle = p->middleBracketDataPtr();
  ASSERT_TRUE(middle);
  auto second = QVImageReader::make()->readImageWithPath(paths[1], false)->imageData();
  ASSERT_EQ(middle->width(), second->width());
  EXPECT_NEAR(middle->at(60, 20).g, second->at(60, 20).g, 1e-6f);
  EXPECT_TRUE(fs::exists(p->cachedMiddleBracketPath()));
  EXPECT_EQ(fs::path(p->cachedMiddleBracketPath()).filename(), "cachedMiddleBracketData.rovacompressedimagedata");

  // The merged picture holds the highlights the middle file clipped (radiance 3 near x = 108).
  auto source = p->initialLayer()->cppSourceImage();
  ASSERT_TRUE(source);
  EXPECT_GT(source->imageData()->at(110, 20).g, 1.5f);
  EXPECT_LE(middle->at(110, 20).g, 1.0f);
  // The compare image is the middle exposure (clamped), placed as the bottom layer is.
  auto compare = p->obtainOriginalRoiFromLayer(p->initialLayer()->cppLayer(), false);
  ASSERT_TRUE(compare);
  auto compareData = compare->imageData();
  ASSERT_TRUE(compareData);
  EXPECT_EQ(compareData->width(), middle->width());
  EXPECT_NEAR(compareData->at(30, 20).g, middle->at(30, 20).g, 1e-3f);
  ASSERT_TRUE(p->originalCroppedImageForCompare());

  // Setting the same data again changes nothing.
  p->setMiddleBracketDataPtr(middle);
  EXPECT_EQ(updates, 1);

  // Layers: the first layer made above the merged picture cannot be duplicated, a sublayer of the
  // active layer cannot be edited.
  auto list = p->layers();
  ASSERT_FALSE(list.empty());
  EXPECT_FALSE(p->canDuplicateLayer(list.front()));
  const QVRovaProcessor& base = *p;
  EXPECT_FALSE(base.canDuplicateLayer(list.front())) << "the rule holds through the base class too";
  auto second_layer = p->createLayerAtIndex(1);
  ASSERT_TRUE(second_layer);
  EXPECT_TRUE(p->canDuplicateLayer(second_layer));
  auto sub = QVIPLayerFactory::layer();
  p->activeLayer()->addLayer(sub);
  EXPECT_FALSE(p->canEditLayer(sub));

  // History clean-up keeps the bracket files and the middle-exposure cache.
  auto textures =
      p->historyManagerAllTexturesFromStateUUID(*history, "no-such-state").value_or(std::vector<std::string>{});
  for (const char* name :
       {"bracket0.jpg", "bracket1.jpg", "bracket2.jpg", "cachedMiddleBracketData.rovacompressedimagedata"})
    EXPECT_EQ(std::count(textures.begin(), textures.end(), name), 1) << name;

  // Copies share the bracket, its EVs and the middle exposure.
  auto copy = std::dynamic_pointer_cast<QVHDRProcessor>(p->allocSameClass());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->paths(), paths);
  EXPECT_EQ(copy->middleBracketDataPtr(), middle);
}

TEST_F(HDRProcessorTest, ReopeningFromTheCachedTexturesDoesNotMerge) {
  // What a first session leaves: the merged texture and the middle-exposure cache.
  auto first = load(paths);
  ASSERT_EQ(first->merges.load(), 1);
  auto merged = rova::make_HDR(paths, rova::HDRSettings{}, {0, 0}, nullptr);
  ASSERT_TRUE(merged.image);
  const fs::path texture = fs::path(history->resources) / "merged.rovacompressedimagedata";
  const auto bytes = QVRovaHelper::compressedImageDataForImage(merged.image);
  ASSERT_TRUE(qv::writeFileAtomically(texture.string(), bytes.data(), bytes.size()));
  history->cachedTexture = texture.string();

  auto p = load(paths);
  EXPECT_EQ(p->merges.load(), 0);
  ASSERT_TRUE(p->initialLayer());
  ASSERT_TRUE(p->middleBracketDataPtr());
  EXPECT_EQ(p->middleBracketDataPtr()->width(), 120);
  auto source = p->initialLayer()->cppSourceImage();
  ASSERT_TRUE(source);
  EXPECT_EQ(source->width(), merged.image->width());
  EXPECT_NEAR(source->imageData()->at(100, 20).g, merged.image->imageData()->at(100, 20).g, 1e-4f);

  // Without the middle-exposure cache the middle file is read in the background.
  fs::remove(p->cachedMiddleBracketPath());
  auto q = load(paths);
  // A background read: wait for it (bounded), pumping the main thread that receives it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!q->middleBracketDataPtr() && std::chrono::steady_clock::now() < deadline) {
    qv::MainExecutor::shared().runUntilIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(q->merges.load(), 0);
  EXPECT_TRUE(q->middleBracketDataPtr());

  // A cached texture that does not decode falls back to a merge.
  std::ofstream(texture, std::ios::trunc) << "garbage";
  auto r = load(paths);
  EXPECT_EQ(r->merges.load(), 1);
}

TEST_F(HDRProcessorTest, EvListNeedsTwoPathsAndIsComputedOnce) {
  auto p = QVHDRProcessor::init();
  p->setPaths({paths[0]});
  EXPECT_FALSE(p->hdrEVValues());
  p->setPaths({paths[2], paths[0], paths[1]});
  auto evs = p->hdrEVValues();
  ASSERT_TRUE(evs);
  ASSERT_EQ(evs->size(), 3u);
  EXPECT_LT((*evs)[0], (*evs)[1]);
  EXPECT_LT((*evs)[1], (*evs)[2]);
  p->setPaths({paths[0], paths[1]});
  EXPECT_EQ(p->hdrEVValues(), evs);
}

TEST(HDRProcessorClass, FirstUseSwitchesRawDevelopOnAndWorkspaceIsDefault) {
  SavedSwitches saved;
  QVImageReader::setApplyRawDevelop(false);
  QVIPEffectsProvider::setReplaceEffectIDIntoRawID(true);
  QVHDRProcessor::classSwitches().resetForTesting();
  auto p = QVHDRProcessor::init();
  EXPECT_TRUE(QVImageReader::isApplyRawDevelop());
  EXPECT_FALSE(QVIPEffectsProvider::replaceEffectIDIntoRawID());
  EXPECT_FALSE(p->useInitialLayerAsFirst());
  EXPECT_EQ(p->workspaceIdentifierForLayerIdx(0), "default");
  EXPECT_EQ(p->workspaceIdentifierForLayerIdx(7), "default");
  EXPECT_TRUE(std::dynamic_pointer_cast<QVHDRImageProcessorProtocol>(std::shared_ptr<QVImageProcessorProtocol>(p)));
}

namespace {
std::shared_ptr<QVIPLayer> catalogueLayer(const std::string& identifier, double amount) {
  auto layer = QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(identifier);
  layer->setAmount(amount);
  return layer;
}
}  // namespace

TEST_F(HDRProcessorTest, PresetsMatchLayersByPositionOrIdentifier) {
  auto p = load(paths);
  auto target = p->activeLayer();
  ASSERT_TRUE(target);
  target->setLayers({catalogueLayer("ExposureAdjustmentLayer", 1), catalogueLayer("SharpenAdjustmentLayer", 1)});
  solvane::test::settle(*p);

  // Same count: position by position.
  p->applyPresetWithLayers(
      {catalogueLayer("ExposureAdjustmentLayer", 0.3), catalogueLayer("SharpenAdjustmentLayer", 0.6)},
      std::string("preset-1"), target);
  auto subs = target->subLayers();
  ASSERT_EQ(subs.size(), 2u);
  EXPECT_NEAR(subs[0]->amount(), 0.3, 1e-6);
  EXPECT_NEAR(subs[1]->amount(), 0.6, 1e-6);
  EXPECT_EQ(target->presetUUID(), std::optional<std::string>("preset-1"));
  EXPECT_TRUE(p->notify());

  // Another count: by identifier; layers the preset does not name stay as they are.
  p->applyPresetWithLayers({catalogueLayer("SharpenAdjustmentLayer", 0.9)}, std::string("preset-2"), target);
  EXPECT_NEAR(subs[0]->amount(), 0.3, 1e-6);
  EXPECT_NEAR(subs[1]->amount(), 0.9, 1e-6);
  solvane::test::settle(*p);
}

TEST_F(HDRProcessorTest, BracketLayersAreReadInTheBackgroundAndInsertedOnTheMainThread) {
  auto p = load(paths);
  const size_t before = p->layers().size();
  QVRovaProcessor::LayerPtr made;
  bool called = false;
  p->createBracketImageLayerAtIndex(1, "Dark", paths[0], [&](QVRovaProcessor::LayerPtr layer) {
    called = true;
    made = layer;
  });
  ASSERT_FALSE(history->steps.empty());
  EXPECT_EQ(history->steps.back().actionName, "New HDR Bracket Layer: Dark");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!called && std::chrono::steady_clock::now() < deadline) {
    qv::MainExecutor::shared().runUntilIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(called);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->name(), "Dark");
  ASSERT_EQ(p->layers().size(), before + 1);
  EXPECT_EQ(p->layers()[1], made);
  solvane::test::settle(*p);
}
