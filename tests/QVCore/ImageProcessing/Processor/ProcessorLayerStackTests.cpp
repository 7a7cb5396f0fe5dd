// The processor's layer stack over a real engine processor: the engine's flat list follows the
// model after every operation, names, activation and removal rules, and preset layers.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorStackTestSupport.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/Model/Entities/QVLayerState.h"

using namespace solvane::test;
using LayerPtr = QVRovaProcessor::LayerPtr;

namespace {

struct LayerStackTest : ProcessorStackTest {};

TEST_F(LayerStackTest, EngineListFollowsTheModelAfterEveryOperation) {
  auto& p = *processor;
  expectEngineMatchesModel(p);
  auto a = p.createLayer();
  auto b = p.createLayer();
  auto c = p.createLayerAtIndex(0);
  expectEngineMatchesModel(p);
  EXPECT_EQ(p.layers(), (std::vector<LayerPtr>{c, a, b}));

  // A layer with a subtree, inserted in the middle: the subtree goes with it, one level down.
  auto withChildren = QVIPLayerFactory::layer();
  withChildren->setLayers({catalogueLayer("ExposureAdjustmentLayer"), catalogueLayer("SharpenAdjustmentLayer")});
  p.addLayer(withChildren, 1);
  expectEngineMatchesModel(p);

  p.moveLayer(withChildren, 3);
  expectEngineMatchesModel(p);
  p.removeLayer(a);
  expectEngineMatchesModel(p);
  auto sharpen = p.createSharpenLayerWithLevel(2, 1);
  ASSERT_TRUE(sharpen);
  ASSERT_EQ(sharpen->effects().size(), 1u);
  EXPECT_EQ(sharpen->effects()[0]->identifier(), "ROVASharpenEffect");
  EXPECT_TRUE(sharpen->subLayers().empty());
  expectEngineMatchesModel(p);
  EXPECT_EQ(p.createSharpenLayerWithLevel(0, 0), nullptr);

  p.applyPresetWithLayers({catalogueLayer("ExposureAdjustmentLayer")}, std::string("preset-1"), c);
  EXPECT_EQ(c->presetUUID(), std::optional<std::string>("preset-1"));
  expectEngineMatchesModel(p);
  p.applyLayers({catalogueLayer("SharpenAdjustmentLayer")});
  EXPECT_EQ(p.layers().back()->subLayers().size(), 1u);
  expectEngineMatchesModel(p);
  p.removeLastLayer();
  p.removeLayer(p.layers().front());
  expectEngineMatchesModel(p);
}

TEST_F(LayerStackTest, NewLayersTakeTheNextFreeNumber) {
  auto& p = *processor;
  EXPECT_EQ(p.createLayer()->name(), "Adjustment Layer 1");
  p.layers()[0]->setName("Adjustment Layer 3");
  EXPECT_EQ(p.createLayer()->name(), "Adjustment Layer 4");
  p.layers()[1]->setName("Adjustment Layer x");  // no number: counts as 0
  EXPECT_EQ(p.incrementedLayerName("Adjustment Layer", 1), "Adjustment Layer 4");
  // Sublayers are not looked at.
  p.layers()[0]->setLayers({[] {
    auto l = QVIPLayerFactory::layer();
    l->setName("Adjustment Layer 9");
    return l;
  }()});
  EXPECT_EQ(p.incrementedLayerName("Adjustment Layer", 1), "Adjustment Layer 4");
  EXPECT_EQ(p.layerNameWithNumber(7), "Adjustment Layer 7");

  auto beach = p.createOriginalImageLayerAtIndex(0, "Beach");
  EXPECT_EQ(beach->name(), "Beach 2");
  EXPECT_EQ(p.createOriginalImageLayerAtIndex(0, "Beach")->name(), "Beach 3");
  EXPECT_EQ(beach->historyTextureName(), p.initialLayer()->historyTextureName());
  expectEngineMatchesModel(p);
}

TEST_F(LayerStackTest, AddingRefusesNullAndIndexesPastTheEnd) {
  auto& p = *processor;
  p.createLayer();
  NotificationLog added(kQVImageProcessorLayersListDidChange);
  p.addLayer(nullptr, 0);
  p.addLayer(QVIPLayerFactory::layer(), 2);  // count + 1
  EXPECT_EQ(p.layers().size(), 1u);
  auto top = QVIPLayerFactory::layer();
  p.addLayer(top, 1);  // count: appends
  ASSERT_EQ(p.layers().size(), 2u);
  EXPECT_EQ(p.layers()[1], top);
  ASSERT_EQ(added.posts.size(), 1u);
  EXPECT_EQ(added.posts[0].info(kQVImageProcessorAddedLayersIndexes).asInt(-1), 1);
}

TEST_F(LayerStackTest, ActivationMarksEveryLayerAtOrBelowTheActiveOne) {
  auto& p = *processor;
  for (int i = 0; i < 4; ++i) p.createLayer();
  auto list = p.layers();
  p.setActiveLayer(list[1]);
  expectActiveFlags(p);
  EXPECT_TRUE(list[1]->isActive());
  EXPECT_FALSE(list[2]->isActive());
  // A layer outside the stack is not activated.
  p.setActiveLayer(QVIPLayerFactory::layer());
  EXPECT_EQ(p.activeLayer(), list[1]);
}

TEST_F(LayerStackTest, RemovalRules) {
  struct Case {
    const char* what;
    size_t active, removed;
    size_t activeAfter;  // index in the original list
  };
  const Case cases[] = {
      {"active at 0: the layer moving into 0", 0, 0, 1},
      {"active at 3: the one below", 3, 3, 2},
      {"another layer: the active stays", 2, 0, 2},
      {"a layer above the active", 1, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto p = loadedProcessor();
    for (int i = 0; i < 4; ++i) p->createLayer();
    auto list = p->layers();
    p->setActiveLayer(list[c.active]);
    NotificationLog removed(kQVImageProcessorLayersListDidChange);
    p->removeLayer(list[c.removed]);
    EXPECT_EQ(p->activeLayer(), list[c.activeAfter]);
    ASSERT_EQ(removed.posts.size(), 1u);
    EXPECT_EQ(removed.posts[0].info(kQVRemovedLayersIndexes).asInt(-1), int64_t(c.removed));
    expectActiveFlags(*p);
    expectEngineMatchesModel(*p);
  }

  // The last remaining layer stays; a layer outside the stack is ignored.
  auto p = loadedProcessor();
  auto only = p->createLayer();
  EXPECT_FALSE(p->canRemoveLayer(only));
  p->removeLayer(only);
  p->removeLayer(QVIPLayerFactory::layer());
  EXPECT_EQ(p->layers().size(), 1u);

  // Removing the edited layer clears it.
  auto second = p->createLayer();
  p->setEditedLayer(second);
  EXPECT_EQ(p->editedLayer(), second);
  p->removeLayer(second);
  EXPECT_EQ(p->editedLayer(), nullptr);
}

TEST_F(LayerStackTest, DuplicateGoesAboveTheSourceAndBecomesActive) {
  auto& p = *processor;
  for (int i = 0; i < 4; ++i) p.createLayer();
  auto source = p.layers()[2];
  source->setLayers({catalogueLayer("ExposureAdjustmentLayer")});
  source->setAmount(0.4);
  NotificationLog added(kQVImageProcessorLayersListDidChange);
  p.duplicateLayer(source);
  auto list = p.layers();
  ASSERT_EQ(list.size(), 5u);
  auto copy = list[3];
  EXPECT_NE(copy, source);
  EXPECT_EQ(copy->name(), "Copy of Adjustment Layer 3");
  EXPECT_FLOAT_EQ(float(copy->amount()), 0.4f);
  ASSERT_EQ(copy->subLayers().size(), 1u);
  EXPECT_NE(copy->subLayers()[0], source->subLayers()[0]);
  EXPECT_EQ(p.activeLayer(), copy);
  ASSERT_EQ(added.posts.size(), 1u);
  EXPECT_EQ(added.posts[0].info(kQVImageProcessorAddedLayersIndexes).asInt(-1), 3);
  EXPECT_TRUE(p.notify());
  expectEngineMatchesModel(p);
  p.duplicateLayer(QVIPLayerFactory::layer());  // not in the stack
  EXPECT_EQ(p.layers().size(), 5u);
}

TEST_F(LayerStackTest, PresetLayersOnTheInitialLayerRender) {
  auto& p = *processor;
  const CGRect whole = CGRectMake(0, 0, 400, 300);
  Delivery before;
  p.processImageWithParams(request(whole, CGSizeMake(400, 300), false), before.completion());
  ASSERT_TRUE(before.image);

  auto exposure = catalogueLayer("ExposureAdjustmentLayer");
  ASSERT_FALSE(exposure->effects().empty());
  auto parameter = exposure->effects()[0]->parameters().at(0);
  parameter->setValue(parameter->maxValue());
  p.applyPresetWithLayers({exposure}, std::string("preset-uuid"), p.initialLayer());
  ASSERT_FALSE(p.initialLayer()->subLayers().empty());
  EXPECT_EQ(p.initialLayer()->subLayers().back(), exposure);  // above the picture's own develop layer
  EXPECT_FALSE(p.isNotifyAsync());                            // put back afterwards
  expectEngineMatchesModel(p);

  Delivery after;
  p.processImageWithParams(request(whole, CGSizeMake(400, 300), false), after.completion());
  ASSERT_TRUE(after.image);
  EXPECT_GT(meanDifference(*before.image, *after.image), 0.01);
}

}  // namespace
