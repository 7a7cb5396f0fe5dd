// Layer states of the older HDR layout (lens correction nested in the first sublayer, 14 filters in
// a second one) rewritten for image layers of HDR processors.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Base/QVHDRImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/Model/Entities/QVLayerState.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

struct HDRProcessor : TestProcessor, QVHDRImageProcessorProtocol {};

// Stand-ins of the image layer (type 3) and of the first layer (type 2) with its develop layer.
struct ImageLayer : QVIPLayer {
  uint64_t layerType() const override { return 3; }
};
struct FirstLayer : QVIPLayer {
  LayerPtr develop;
  uint64_t layerType() const override { return 2; }
  LayerPtr developLayer() override { return develop; }
};

LayerPtr catalogueLayer(const std::string& identifier) {
  return QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(identifier);
}
std::shared_ptr<QVEffectParameterProtocol> lensParameter(const LayerPtr& develop) {
  return develop->subLayers().at(0)->effects().at(0)->parameters().at(0);
}

struct MigrationTest : ::testing::Test {
  double lensValue = 0;
  std::vector<std::shared_ptr<TestProcessor>> processors;
  MigrationTest() { QVLayerState::registerAsLayerStateMaker(); }
  // Engine work still queued must finish before the processors go.
  ~MigrationTest() override {
    for (const auto& p : processors) p->waitForQueue();
  }
  template <class P>
  std::shared_ptr<P> processor() {
    auto p = std::make_shared<P>();
    processors.push_back(p);
    return p;
  }

  // The old layout: a develop layer whose lens-correction sublayer was tuned, then `filters`
  // exposure layers inside one more layer.
  std::shared_ptr<QVLayerState> oldLayoutState(size_t filters) {
    auto oldDevelop = catalogueLayer("DevelopAdjustmentLayer");
    auto p = lensParameter(oldDevelop);
    lensValue = double(float((p->defaultValue() + p->maxValue()) / 2));
    p->setValue(lensValue);
    auto filtersState = std::make_shared<QVLayerState>();
    for (size_t i = 0; i < filters; ++i)
      filtersState->subLayersStates().push_back(QVLayerState::initWithLayer(catalogueLayer("ExposureAdjustmentLayer")));
    auto state = std::make_shared<QVLayerState>();
    state->subLayersStates() = {QVLayerState::initWithLayer(oldDevelop), filtersState};
    return state;
  }
};

TEST_F(MigrationTest, OnlyTheOldLayoutOnAnHDRProcessorIsMigrated) {
  struct Case {
    bool hdr;
    size_t filters;
  };
  for (const Case& c : {Case{false, 14}, Case{true, 13}, Case{true, 15}}) {
    std::shared_ptr<TestProcessor> p = c.hdr ? processor<HDRProcessor>() : processor<TestProcessor>();
    auto layer = std::make_shared<ImageLayer>();
    p->addLayer(layer);
    auto state = oldLayoutState(c.filters);
    const std::string before = state->stateHash();
    EXPECT_FALSE(state->migrateForLayer(layer)) << c.hdr << " " << c.filters;
    EXPECT_EQ(state->stateHash(), before);
    EXPECT_TRUE(layer->subLayers().empty());
  }
  // A plain layer is never migrated.
  auto hdr = processor<HDRProcessor>();
  auto plain = namedLayer("Plain");
  hdr->addLayer(plain);
  EXPECT_FALSE(oldLayoutState(14)->migrateForLayer(plain));
}

TEST_F(MigrationTest, AnImageLayersStateGetsTheLensCorrectionInItsDevelopLayer) {
  auto hdr = processor<HDRProcessor>();
  auto layer = std::make_shared<ImageLayer>();
  hdr->addLayer(layer);
  auto state = oldLayoutState(14);
  ASSERT_TRUE(state->lensCorrectionSubState());
  ASSERT_TRUE(state->filtersSubState());

  ASSERT_TRUE(state->migrateForLayer(layer));
  ASSERT_EQ(state->subLayersStates().size(), 15u);
  const auto& develop = state->subLayersStates()[0];
  EXPECT_EQ(develop->layerIdentifier(), std::optional<std::string>(kQVDevelopLayerIdentifier));
  EXPECT_EQ(develop->subLayersStates().at(0)->effects().at(0)->parameters().at(0)->value(), lensValue);
  for (size_t i = 1; i < 15; ++i)
    EXPECT_EQ(state->subLayersStates()[i]->layerIdentifier(), std::optional<std::string>("ExposureAdjustmentLayer"));
  // Applied to the layer itself.
  EXPECT_EQ(layer->state(), state);
  ASSERT_EQ(layer->subLayers().size(), 15u);
  EXPECT_EQ(layer->subLayers()[0]->identifier(), kQVDevelopLayerIdentifier);
}

TEST_F(MigrationTest, SettingAnOldRecordOnAnImageLayerMigratesIt) {
  auto hdr = processor<HDRProcessor>();
  auto layer = std::make_shared<ImageLayer>();
  hdr->addLayer(layer);
  auto state = oldLayoutState(14);
  layer->setState(state);
  EXPECT_EQ(layer->state(), state);
  ASSERT_EQ(layer->subLayers().size(), 15u);
  EXPECT_EQ(layer->subLayers()[0]->identifier(), kQVDevelopLayerIdentifier);
}

TEST_F(MigrationTest, AFirstLayerTakesTheLensCorrectionIntoItsDevelopLayerAndTheFilters) {
  auto hdr = processor<HDRProcessor>();
  auto layer = std::make_shared<FirstLayer>();
  layer->develop = catalogueLayer("DevelopAdjustmentLayer");
  hdr->addLayer(layer);
  auto state = oldLayoutState(14);
  auto filters = state->filtersSubState();

  ASSERT_TRUE(state->migrateForLayer(layer));
  EXPECT_EQ(lensParameter(layer->develop)->value(), lensValue);
  EXPECT_EQ(layer->state(), filters);
  EXPECT_EQ(layer->subLayers().size(), 14u);
}

}  // namespace
