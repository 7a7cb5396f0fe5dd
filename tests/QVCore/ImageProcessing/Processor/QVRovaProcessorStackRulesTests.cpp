// The processor's stack rules beyond insertion and removal, over a real engine processor: moves
// with their history step, the edited layer across activations and child reports, the reporting
// modes, long restores, overlays, memory and low-resolution geometry, brush-stroke migration,
// following another processor, and the initial layer's installation from the loading queue.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <typeinfo>

#include "QVCore/ImageProcessing/Base/ModelFakes.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorStackTestSupport.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVPlatform/PropertyList.h"

using namespace solvane::test;
using LayerPtr = QVRovaProcessor::LayerPtr;

namespace {

// A history whose "applying a level" switch and folder the test sets.
struct SwitchableHistory : FakeHistory {
  bool applying = false;
  std::string folder = makeTempDir("switchable-history").string();
  bool applyingHistoryLevel() const override { return applying; }
  std::string historyPath() override { return folder; }
};

// Brush strokes pending on a mask: migration saves them as a stored mask.
class StrokeMask : public QVLayerMaskProtocol {
 public:
  void setParent(std::weak_ptr<QVParentProtocol>) override {}
  void finishDrawing() override { ++finished; }
  void createBrushController() override {}
  void saveMaskForce(bool) override {}
  void saveMaskForceWithIgnoreHistoryMaskName() override { ++saved; }
  std::optional<std::string> historyMaskName() const override { return std::nullopt; }
  void setHistoryMaskName(std::optional<std::string>) override {}
  qv::Array brushStack() const override { return stack; }
  void setBrushStack(std::optional<qv::Array> s) override { stack = s ? *s : qv::Array{}; }
  void clearMaskWithNextDelete(bool) override {}
  void updateMask() override {}
  void updateMaskDeleted(bool) override {}
  void resetState() override {}
  int finished = 0, saved = 0;
  qv::Array stack;
};

// A processor that refuses to edit layers named "Locked".
struct PickyProcessor : QVRovaProcessor {
  bool canEditLayer(const LayerPtr& layer) const override { return layer->name() != "Locked"; }
};

LayerPtr layerWithSublayers(int count) {
  auto layer = QVIPLayerFactory::layer();
  std::vector<LayerPtr> children;
  for (int i = 0; i < count; ++i) children.push_back(catalogueLayer("ExposureAdjustmentLayer"));
  layer->setLayers(children);
  return layer;
}

struct StackRulesTest : ProcessorStackTest {};

TEST_F(StackRulesTest, MoveRegistersItsStepAndTheEngineKeepsTheSubtreeTogether) {
  auto& p = *processor;
  auto history = std::make_shared<FakeHistory>();
  p.setHistoryManager(history);
  auto a = p.createLayer();
  auto b = p.createLayer();
  auto c = layerWithSublayers(2);
  c->setName("Tree");
  p.addLayer(c, 0);
  p.setActiveLayer(a);
  expectEngineMatchesModel(p);

  NotificationLog arranged(kQVImageProcessorLayersArrangementDidChange);
  history->steps.clear();
  p.moveLayer(c, 2);
  EXPECT_EQ(p.layers(), (std::vector<LayerPtr>{a, b, c}));
  ASSERT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(history->steps[0].actionName, "Tree: Moved To Position");
  EXPECT_EQ(history->steps[0].additionalInfo.asString(), "3");
  EXPECT_EQ(arranged.posts.size(), 1u);
  expectActiveFlags(p);
  expectEngineMatchesModel(p);

  // Moving by the list's own element, to where it is, out of range, or a stranger: nothing.
  p.moveLayer(p.layers()[0], 1);
  EXPECT_EQ(p.layers(), (std::vector<LayerPtr>{b, a, c}));
  history->steps.clear();
  for (int64_t index : {1, 3, -1}) p.moveLayer(a, index);
  p.moveLayer(QVIPLayerFactory::layer(), 0);
  EXPECT_TRUE(history->steps.empty());
  EXPECT_EQ(arranged.posts.size(), 2u);
  expectEngineMatchesModel(p);
}

TEST_F(StackRulesTest, TheEditedLayerFollowsActivationAndLeavesWithItsLayer) {
  auto p = QVRovaProcessor::create<PickyProcessor>();
  ASSERT_TRUE(loadAndSettle(*p, gradientJpeg(400, 300), CGSizeMake(400, 300)));
  auto a = p->createLayer(), b = p->createLayer(), locked = p->createLayer();
  locked->setName("Locked");

  p->setActiveLayer(b);
  EXPECT_EQ(p->editedLayer(), nullptr);  // no drawing: activation starts none
  p->setEditedLayer(b);
  p->setActiveLayer(a);
  EXPECT_EQ(p->editedLayer(), a);  // drawing goes on on the new active layer
  p->setActiveLayer(locked);
  EXPECT_EQ(p->editedLayer(), nullptr);  // it cannot be edited: drawing ends

  // A sublayer being edited that leaves its parent, alone or with all its siblings.
  auto tree = layerWithSublayers(2);
  p->addLayer(tree);
  for (bool all : {false, true}) {
    SCOPED_TRACE(all ? "all sublayers" : "one sublayer");
    auto child = tree->subLayers().back();
    p->setEditedLayer(child);
    ASSERT_EQ(p->editedLayer(), child);
    if (all)
      tree->removeAllLayers();
    else
      tree->removeLayer(child);
    EXPECT_EQ(p->editedLayer(), nullptr);
    tree->setLayers({catalogueLayer("ExposureAdjustmentLayer"), catalogueLayer("ExposureAdjustmentLayer")});
  }
  // Another layer's change keeps it.
  p->setEditedLayer(b);
  tree->removeLayer(tree->subLayers().front());
  EXPECT_EQ(p->editedLayer(), b);
  expectEngineMatchesModel(*p);
  settle(*p);
}

TEST_F(StackRulesTest, ChildReportsPostAtOnceOrCoalescedAndTouchTheCaches) {
  auto& p = *processor;
  auto& main = qv::MainExecutor::shared();
  auto layer = p.createLayer();
  settle(p);
  NotificationLog state(kQVImageProcessorStateDidChange);

  // Not coalescing: the report is posted while the change is made.
  layer->setAmount(0.5);
  EXPECT_FALSE(state.posts.empty());

  // Coalescing (as during a restore): nothing until the queue's deferral has passed.
  state.posts.clear();
  p.updateWithNotifyAsync([&] {
    layer->setAmount(0.4);
    layer->setAmount(0.3);
  });
  EXPECT_FALSE(p.isNotifyAsync());
  EXPECT_TRUE(state.posts.empty());
  main.useManualClock();
  main.advance(0.05);
  main.useSystemClock();
  EXPECT_FALSE(state.posts.empty());

  // Notify off: nothing at all.
  state.posts.clear();
  p.setNotify(false);
  layer->setAmount(0.2);
  main.runUntilIdle();
  EXPECT_TRUE(state.posts.empty());
  p.setNotify(true);

  // A mask setting change empties the previews cache; other reports leave it.
  p.previewsCache()->cacheObject(std::make_shared<int>(1), "Preview_x");
  p.childDidChangeState(layer, QVChangeInfo{});
  EXPECT_TRUE(p.previewsCache()->cachedObjectForKey("Preview_x"));
  QVChangeInfo maskSettings;
  maskSettings.set("kQVLayerMaskSettingsDidChange", true);
  p.childDidChangeState(layer, maskSettings);
  EXPECT_FALSE(p.previewsCache()->cachedObjectForKey("Preview_x"));

  // A sublayer moved inside a stacked layer names that layer's index.
  auto tree = layerWithSublayers(2);
  p.addLayer(tree, 0);
  NotificationLog filters(kQVImageProcessorFiltersArrangementDidChange);
  tree->moveLayer(tree->subLayers().front(), 1);
  main.runUntilIdle();
  ASSERT_EQ(filters.posts.size(), 1u);
  EXPECT_EQ(filters.posts[0].info(kQVSublayersIndexes), qv::Value(qv::Array{qv::Value(uint64_t(0))}));
  expectEngineMatchesModel(p);

  // A layer that could not follow its twin invalidates the processor.
  EXPECT_FALSE(p.isInvalid());
  p.childInvalidated(layer);
  EXPECT_TRUE(p.isInvalid());
}

TEST_F(StackRulesTest, TextureLoadsDuringAnUndoMakeOneLongChange) {
  auto& p = *processor;
  auto history = std::make_shared<SwitchableHistory>();
  p.setHistoryManager(history);
  auto layer = p.createLayer();
  NotificationLog start(kQVImageProcessorHardStateStartChangeNotification);
  NotificationLog finish(kQVImageProcessorHardStateFinishChangeNotification);
  QVChangeInfo load;
  load.set(kQVChangeTypeStateInfoKey, "QVLayerDidChangeStateNotification");
  load.set("QVLayerDidChangeStateNeedProgress", true);

  // Outside an undo, or without the progress flag: no long change.
  p.childWillChangeState(layer, load);
  history->applying = true;
  QVChangeInfo plain;
  plain.set(kQVChangeTypeStateInfoKey, "QVLayerDidChangeStateNotification");
  p.childWillChangeState(layer, plain);
  EXPECT_TRUE(start.posts.empty());
  EXPECT_FALSE(p.needProgressForChangingState());

  // The first load starts it once; the restore ends it after its queued engine work, also when
  // the step's file cannot be read.
  p.childWillChangeState(layer, load);
  p.childWillChangeState(layer, load);
  EXPECT_EQ(start.posts.size(), 1u);
  EXPECT_TRUE(p.needProgressForChangingState());
  bool result = true;
  p.historyManagerRestoreStateForUUID(*history, "missing", [&](bool ok) { result = ok; });
  EXPECT_FALSE(result);
  EXPECT_FALSE(p.needProgressForChangingState());
  settle(p);
  EXPECT_EQ(finish.posts.size(), 1u);

  // A restore without a long change posts no finish.
  p.historyManagerRestoreStateForUUID(*history, "missing", nullptr);
  settle(p);
  EXPECT_EQ(finish.posts.size(), 1u);
}

TEST_F(StackRulesTest, RestoreReplacesOnlyLayersOfTheWrongPlainClassAndReportsLowerChanges) {
  auto& p = *processor;
  auto history = std::make_shared<SwitchableHistory>();
  p.setHistoryManager(history);
  auto save = [&](const std::string& uuid) {
    bool ok = false;
    p.historyManagerSaveStateForHistoryWithUUID(*history, uuid, [&](bool r) { ok = r; });
    return ok;
  };
  auto restore = [&](const std::string& uuid) {
    bool ok = false;
    p.historyManagerRestoreStateForUUID(*history, uuid, [&](bool r) { ok = r; });
    settle(p);
    return ok;
  };
  auto bottom = p.createLayer(), middle = p.createLayer(), top = p.createLayer();
  p.setActiveLayer(top);
  ASSERT_TRUE(save("A"));

  // The state just saved: nothing below the active layer changed, the active one kept its texture.
  NotificationLog lower(kQVImageProcessorBottomLayersDidChange);
  NotificationLog active(kQVImageProcessorActiveLayerDidChange);
  ASSERT_TRUE(restore("A"));
  EXPECT_TRUE(lower.posts.empty());
  EXPECT_TRUE(active.posts.empty());

  // A lower layer changed: reported, and the saved values come back on the same object.
  middle->setAmount(0.3);
  ASSERT_TRUE(restore("A"));
  EXPECT_FALSE(lower.posts.empty());
  EXPECT_EQ(p.layers()[1], middle);
  EXPECT_FLOAT_EQ(float(middle->amount()), 1.0f);

  // No layer holds the saved state of position 0: an image layer there gives way to a plain one;
  // an ignore-disabling layer at position 1 takes the saved state itself.
  p.removeLayer(bottom);
  p.removeLayer(middle);
  auto image = p.createOriginalImageLayerAtIndex(0, "Beach");
  auto ignoring = p.createLayerAtIndex(1, 1);
  ASSERT_TRUE(std::dynamic_pointer_cast<QVIPImageLayer>(image));
  ASSERT_EQ(p.layers().size(), 3u);
  ASSERT_TRUE(restore("A"));
  auto list = p.layers();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_NE(list[0], image);
  EXPECT_EQ(typeid(*list[0]), typeid(QVIPLayer));
  EXPECT_EQ(list[0]->name(), "Adjustment Layer 1");
  EXPECT_EQ(list[1], ignoring);
  EXPECT_EQ(ignoring->name(), "Adjustment Layer 2");
  EXPECT_EQ(list[2], top);
  EXPECT_EQ(p.activeLayer(), top);
  expectActiveFlags(p);
  expectEngineMatchesModel(p);
}

// Layered documents keep the initial layer first in the stack; a file whose list starts with
// another layer gets the initial layer's entry in front and its active index moved up.
struct InitialFirstProcessor : QVRovaProcessor {
  bool useInitialLayerAsFirst() const override { return true; }
};

TEST_F(StackRulesTest, RestoreOfALayeredDocumentPutsTheInitialLayerFirst) {
  auto p = QVRovaProcessor::create<InitialFirstProcessor>();
  ASSERT_TRUE(loadAndSettle(*p, gradientJpeg(400, 300), CGSizeMake(400, 300)));
  auto history = std::make_shared<SwitchableHistory>();
  p->setHistoryManager(history);
  auto a = p->createLayer(), b = p->createLayer();
  const auto stack = p->layers();
  ASSERT_EQ(stack, (std::vector<LayerPtr>{p->initialLayer(), a, b}));
  auto stateOf = [](const LayerPtr& l) { return std::dynamic_pointer_cast<QVLayerState>(l->state())->serialize(); };
  qv::Dictionary file{{"InitialLayerDictionary", stateOf(p->initialLayer())},
                      {"Layers", qv::Array{stateOf(a), stateOf(b)}},
                      {"ActiveLayerIndex", 1}};
  ASSERT_TRUE(qv::PropertyList::writeFile(history->folder + "/layered.state", file));
  bool ok = false;
  p->historyManagerRestoreStateForUUID(*history, "layered", [&](bool r) { ok = r; });
  settle(*p);
  EXPECT_TRUE(ok);
  EXPECT_EQ(p->layers(), stack);
  EXPECT_EQ(p->activeLayer(), b);
  // The initial layer is a member of the stack: its subtree is in the engine once.
  std::vector<rova::BaseLayerPtr> walk;
  for (const auto& top : p->layers())
    for (const auto& l : top->rovaWaySublayers()) walk.push_back(l->cppLayer());
  EXPECT_EQ(p->cppProcessor()->layers(), walk);
}

TEST_F(StackRulesTest, OverlaysReachTheEngineOnlyWhenTheyChange) {
  auto& p = *processor;
  NotificationLog clipping(kQVImageProcessorShowClippingDidChange);
  NotificationLog maskVisibility(kQVImageProcessorMaskVisibilityDidChange);
  const std::string before = p.stateID();

  p.setShowHotPixels(true);
  p.setShowHotPixels(true);
  p.setShowColdPixels(true);
  p.setShowMask(true);
  p.setShowMask(true);
  EXPECT_EQ(clipping.posts.size(), 2u);
  EXPECT_EQ(maskVisibility.posts.size(), 1u);
  EXPECT_TRUE(p.showHotPixels() && p.showColdPixels() && p.showMask());
  settle(p);
  auto engine = p.cppProcessor();
  EXPECT_TRUE(engine->showHotPixels());
  EXPECT_TRUE(engine->showColdPixels());
  EXPECT_NE(p.stateID(), before);  // cached renders without the marks are not reused

  struct Case {
    uint64_t type;
    int engineType;
  };
  for (const Case& c : {Case{2, 2}, Case{1, 1}, Case{5, 0}, Case{2, 2}, Case{0, 0}}) {
    p.setOverlayPixelsType(c.type);
    settle(p);
    EXPECT_EQ(p.overlayPixelsType(), c.type);
    EXPECT_EQ(engine->overlayPixelsType(), c.engineType) << "type " << c.type;
  }
}

TEST_F(StackRulesTest, MemoryGeometryAndReset) {
  auto p = QVRovaProcessor::init();
  ASSERT_TRUE(loadAndSettle(*p, gradientJpeg(1001, 667), CGSizeMake(2000, 2000)));
  EXPECT_EQ(p->lowResSize(), CGSizeMake(300, 200));
  EXPECT_EQ(p->lowResRect(), CGRectZero);

  auto crop = std::make_shared<QVTCropDescription>();
  crop->setImageSize(p->canvasSize());
  crop->setCropRect(CGRectMake(10, 20, 500, 400));
  p->setCropDescription(crop);
  EXPECT_EQ(p->lowResRect(), CGRectMake(3, 6, 150, 120));
  auto cropped = p->originalCroppedLowResImage();
  ASSERT_TRUE(cropped);
  EXPECT_EQ(cropped->size(), CGSizeMake(150, 120));
  EXPECT_EQ(p->originalCroppedLowResImage(), cropped);  // cached

  // The engine's crop rectangle alone, in whole pixels, the description left as it is.
  p->updateCropRect(CGRectMake(0.5, 0, 100.7, 50.2));
  settle(*p);
  auto engineCrop = p->cppProcessor()->getCropDescription();
  EXPECT_EQ(engineCrop.width, 100);
  EXPECT_EQ(engineCrop.height, 50);
  EXPECT_EQ(p->cropDescription()->cropRect(), CGRectMake(10, 20, 500, 400));

  // Memory: caches, previews and the engine's last result go.
  Delivery render;
  p->processImageWithParams(request(CGRectMake(0, 0, 100, 50), CGSizeMake(100, 50), false), render.completion());
  ASSERT_TRUE(render.image);
  auto preview = p->originalLowResImage();
  p->thumbnailsCache()->cacheObject(std::make_shared<int>(1), "Thumbnail_x");
  p->clearMemory();
  settle(*p);
  EXPECT_FALSE(p->thumbnailsCache()->cachedObjectForKey("Thumbnail_x"));
  EXPECT_NE(p->originalLowResImage(), preview);
  EXPECT_NE(p->originalCroppedLowResImage(), cropped);
  EXPECT_EQ(p->lastResult(), nullptr);

  // Reset detaches every layer from the engine processor.
  auto layer = p->createLayer();
  p->reset();
  settle(*p);
  EXPECT_EQ(p->initialLayer()->processor(), nullptr);
  EXPECT_EQ(layer->processor(), nullptr);

  // Layers that outlive their processor let go of its engine processor, after their queued work.
  auto q = loadedProcessor();
  auto survivor = q->createLayer();
  auto queue = q->imageProcessingQueue();
  std::weak_ptr<rova::ImageProcessor> engine = q->cppProcessor();
  q.reset();
  queue->waitUntilAllOperationsAreFinished();
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(survivor->processor(), nullptr);
  EXPECT_TRUE(engine.expired());
}

TEST_F(StackRulesTest, BrushStrokesOfAnyLayerMigrateToStoredMasks) {
  QVLayerMaskFactory::registerMaker([] { return std::make_shared<StrokeMask>(); });
  auto& p = *processor;
  auto top = p.createLayer();
  auto presetLayer = catalogueLayer("ExposureAdjustmentLayer");
  p.applyPresetWithLayers({presetLayer}, std::nullopt, p.initialLayer());
  settle(p);
  EXPECT_FALSE(p.migrateBrushStackToLayerMask());

  for (const auto& layer : {top, presetLayer}) {
    layer->createMask();
    static_cast<StrokeMask&>(*layer->mask()).stack = qv::Array{qv::Dictionary{{"ID", "Stroke"}}};
  }
  settle(p);
  EXPECT_TRUE(p.migrateBrushStackToLayerMask());
  EXPECT_EQ(static_cast<StrokeMask&>(*top->mask()).saved, 1);
  EXPECT_EQ(static_cast<StrokeMask&>(*presetLayer->mask()).saved, 1);
  QVLayerMaskFactory::registerMaker(nullptr);
}

TEST_F(StackRulesTest, AFollowerMirrorsItsSourceUntilTheSourceRearranges) {
  auto& source = *processor;
  source.createLayer();
  source.createLayer();
  settle(source);
  auto follower = QVRovaProcessor::initWithImageProcessor(source);
  settle(*follower);
  ASSERT_EQ(follower->layers().size(), 2u);

  EXPECT_FALSE(follower->syncWithProcessor(nullptr));
  auto other = loadedProcessor();
  EXPECT_FALSE(follower->syncWithProcessor(other));  // a different stack size
  ASSERT_TRUE(follower->syncWithProcessor(processor));
  EXPECT_EQ(follower->syncProcessor(), processor);

  source.createLayer();
  ASSERT_EQ(follower->layers().size(), 3u);
  source.setActiveLayer(source.layers()[0]);
  EXPECT_EQ(follower->activeLayer(), follower->layers()[0]);
  auto leaving = follower->layers()[1];
  source.removeLayer(source.layers()[1]);
  auto remaining = follower->layers();
  ASSERT_EQ(remaining.size(), 2u);
  EXPECT_EQ(std::count(remaining.begin(), remaining.end(), leaving), 0);
  expectEngineMatchesModel(*follower);
  EXPECT_FALSE(follower->isInvalid());

  // Another processor's notices are not followed.
  other->createLayer();
  EXPECT_EQ(follower->layers().size(), 2u);

  source.moveLayer(source.layers()[0], 1);
  EXPECT_TRUE(follower->isInvalid());
  settle(*follower);
  settle(*other);
}

TEST_F(StackRulesTest, NewLayersOfEveryTypeTakeTheirClassAndTheirPlaceInTheEngine) {
  auto& p = *processor;
  struct Case {
    uint64_t type, expected;
  };
  for (const Case& c : {Case{0, 0}, Case{1, 1}, Case{2, 2}, Case{3, 3}, Case{7, 0}}) {
    auto layer = p.createLayerAtIndex(0, c.type);
    ASSERT_TRUE(layer);
    EXPECT_EQ(layer->layerType(), c.expected) << "type " << c.type;
    EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(*layer), c.expected);
    EXPECT_EQ(p.layers().front(), layer);
  }
  EXPECT_EQ(p.layers().back()->name(), "Adjustment Layer 1");
  EXPECT_EQ(p.layers().front()->name(), "Adjustment Layer 5");
  expectEngineMatchesModel(p);
  EXPECT_EQ(QVIPLayerFactory::layerWithUrl((makeTempDir("nothing") / "none.jpg").string()), nullptr);
}

TEST_F(StackRulesTest, AValidationThatMeetsALayerWithoutEngineLayerTriesAgainLater) {
  auto& p = *processor;
  auto& main = qv::MainExecutor::shared();
  main.useManualClock();
  auto good = p.createLayer();
  auto bare = std::make_shared<QVIPLayer>();  // never set up: no engine layer
  p.addLayer(bare);
  settle(p);
  // The engine holds everything below the bad entry.
  auto engineLayers = p.cppProcessor()->layers();
  ASSERT_FALSE(engineLayers.empty());
  EXPECT_EQ(engineLayers.back(), good->cppLayer());

  // Dropping list entries validates nothing by itself: the retry brings the engine in line.
  p.forceRemoveLastLayer();
  p.forceRemoveLastLayer();
  settle(p);
  EXPECT_EQ(p.cppProcessor()->layers().back(), good->cppLayer());
  main.advance(0.25);
  main.useSystemClock();
  expectEngineMatchesModel(p);
}

TEST_F(StackRulesTest, ProcessingStartAndEndArePostedOncePerBurst) {
  auto& p = *processor;
  NotificationLog started(kQVImageProcessorDidStartProcessingNotification);
  NotificationLog ended(kQVImageProcessorDidEndProcessingNotification);
  p.decreaseProcessingCounter();  // at 0: nothing
  EXPECT_TRUE(ended.posts.empty());
  p.increaseProcessingCounter();
  p.increaseProcessingCounter();
  EXPECT_TRUE(p.isProcessing());
  p.decreaseProcessingCounter();
  EXPECT_TRUE(p.isProcessing());
  p.decreaseProcessingCounter();
  EXPECT_FALSE(p.isProcessing());
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(started.posts.size(), 1u);
  EXPECT_EQ(ended.posts.size(), 1u);
}

// Loads install the initial layer from the processing queue while the main thread reads the
// model: whoever sees a layer as the initial layer sees it attached to this processor.
TEST(QVRovaProcessorLoading, TheMainThreadNeverSeesAHalfInstalledInitialLayer) {
  auto p = QVRovaProcessor::init();
  auto* parent = static_cast<QVParentLayerProtocol*>(p.get());
  int seen = 0, broken = 0;
  const CGSize sizes[] = {CGSizeMake(64, 48), CGSizeMake(80, 40), CGSizeMake(50, 70)};
  for (int round = 0; round < 6; ++round) {
    CGSize s = sizes[round % 3];
    std::atomic<bool> loaded{false};
    QVIPImagePtr fitted;
    p->loadImageAtURL(gradientJpeg(int(s.width), int(s.height)), CGSizeMake(1000, 1000), [&](QVIPImagePtr image) {
      fitted = image;
      loaded = true;
    });
    // Read as the main thread does while the queue installs (without running main-thread work).
    do {
      auto layer = p->initialLayer();
      if (!layer) continue;
      ++seen;
      if (layer->parent().get() != parent || layer->processor() != p->cppProcessor() || layer->level() != 0) ++broken;
    } while (!loaded.load());
    settle(*p);
    ASSERT_TRUE(fitted);
    EXPECT_EQ(fitted->size(), s);
    EXPECT_EQ(p->canvasSize(), s);
  }
  EXPECT_GT(seen, 0);
  EXPECT_EQ(broken, 0);
  expectEngineMatchesModel(*p);

  // A file that cannot be read leaves the installed picture in place.
  auto before = p->initialLayer();
  EXPECT_EQ(loadAndSettle(*p, (makeTempDir("missing") / "none.jpg").string(), CGSizeMake(10, 10)), nullptr);
  EXPECT_EQ(p->initialLayer(), before);
  EXPECT_EQ(before->parent().get(), parent);
}

}  // namespace
