// The text the result caches are keyed on: the saved-state hashes of the layers, the clipping
// marks and the active layer's place.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/Model/Entities/QVLayerState.h"

using namespace solvane::test;

namespace {

std::string hashOf(const std::shared_ptr<QVIPLayer>& layer) {
  return std::dynamic_pointer_cast<QVLayerState>(layer->state())->stateHash();
}

QVIPImagePtr renderOnce(QVRovaProcessor& p) {
  Delivery d;
  p.processImageWithParams(request(CGRectMake(0, 0, 320, 240), CGSizeMake(160, 120), false), d.completion());
  EXPECT_TRUE(d.image);
  return d.image;
}

}  // namespace

TEST(ProcessorStateID, IsTheLayersStateHashesTheClippingMarksAndTheActiveIndex) {
  QVLayerState::registerAsLayerStateMaker();
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  p->createLayer();
  p->createLayer();
  settle(*p);
  auto list = p->layers();
  ASSERT_EQ(list.size(), 2u);
  p->setActiveLayer(list[0]);
  settle(*p);
  EXPECT_EQ(p->stateID(), hashOf(p->initialLayer()) + ":" + hashOf(list[0]) + ":" + hashOf(list[1]) + ":0:0:0");

  p->setShowColdPixels(true);
  p->setActiveLayer(list[1]);
  settle(*p);
  EXPECT_EQ(p->stateID(), hashOf(p->initialLayer()) + ":" + hashOf(list[0]) + ":" + hashOf(list[1]) + ":0:1:1");
}

TEST(ProcessorStateID, FollowsLayerSettingsAndAnswersAStateReachedAgainFromTheCache) {
  QVLayerState::registerAsLayerStateMaker();
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  auto layer = p->createLayer();
  ASSERT_TRUE(layer);
  settle(*p);
  const std::string before = p->stateID();
  auto first = renderOnce(*p);

  layer->setAmount(0.5);
  settle(*p);
  EXPECT_NE(p->stateID(), before) << "a changed layer is a new state";
  auto changed = renderOnce(*p);
  EXPECT_NE(changed, first);

  // Back to the earlier settings: a new state record, but the same settings and so the same text.
  layer->setAmount(1.0);
  settle(*p);
  EXPECT_EQ(p->stateID(), before);
  EXPECT_EQ(renderOnce(*p), first) << "answered from the cache";
}
