// The clone-and-stamp processor: the pixel conversions of clone and stamp points, history steps,
// undo and redo through the real history manager (replayed from the original), stroke batches and
// previews with their changed parts, damaged stacks, foreign managers, and the resulting image
// layer.
#include <gtest/gtest.h>

#include <algorithm>

#include "QVCore/ImageProcessing/Base/ModelFakes.h"
#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/Masks/QVCloneAndStampProcessor.h"
#include "QVPlatform/MainExecutor.h"
#include "rova/layers/ImageLayer.h"

namespace {

// A 40 x 30 picture whose pixels tell where they are.
rova::ImageDataRGBfPtr positions() {
  auto image = rova::ImageDataRGBf::create(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) image->at(x, y) = {x / 40.0f, y / 30.0f, 0.25f};
  return image;
}

bool same(const rova::ImageDataRGBfPtr& a, const rova::ImageDataRGBfPtr& b) {
  return a && b && a->width() == b->width() && a->height() == b->height() &&
         std::equal(a->floats(), a->floats() + a->pixelCount() * 3, b->floats());
}

void nextPass() { qv::MainExecutor::shared().runUntilIdle(); }

void stroke(QVCloneAndStampProcessor& p) {
  p.beginStroke();
  for (int i = 0; i < 5; ++i) p.updateAtRelativePoint(CGPointMake(0.6 + 0.05 * i, 0.5), 0.1, 100, 20);
  p.endStroke();
}

TEST(QVCloneAndStampProcessor, ClonePointAndStampPointConversionsDifferByOne) {
  struct Case {
    CGPoint point;
    QVPixelPoint clone, stamp;
  };
  const Case cases[] = {
      {{10.7, 20.2}, {10, 978}, {10, 979}},
      {{0, 0}, {0, 999}, {0, 1000}},
      {{5, 999.5}, {5, 0}, {5, 0}},
      {{3.2, 500}, {3, 499}, {3, 500}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QVCloneAndStampProcessor::clonePixel(c.point, 1000), c.clone) << c.point.x << "," << c.point.y;
    EXPECT_EQ(QVCloneAndStampProcessor::stampPixel(c.point, 1000), c.stamp) << c.point.x << "," << c.point.y;
  }
}

TEST(QVCloneAndStampProcessor, HistoryStepsAndStack) {
  auto history = std::make_shared<solvane::test::FakeHistory>();
  auto p = QVCloneAndStampProcessor::make(positions(), nullptr);
  p->setHistoryManager(history);
  p->setClonePoint(CGPointMake(5, 5));
  p->setClonePoint(CGPointMake(5, 5));
  ASSERT_EQ(history->steps.size(), 1u);
  EXPECT_EQ(history->steps[0].actionName, "Clone point updated");
  EXPECT_FALSE(p->enoughChangesForApply());
  p->setStampPoint(CGPointMake(25, 15));
  EXPECT_FALSE(p->enoughChangesForApply());  // two entries
  stroke(*p);
  EXPECT_TRUE(p->enoughChangesForApply());
  ASSERT_EQ(history->steps.size(), 3u);
  EXPECT_EQ(history->steps[1].actionName, "Brush stroke with new Stamp point");
  EXPECT_EQ(history->steps[2].actionName, "Brush stroke");
  const qv::Array stack = p->historyBrushStack();
  EXPECT_EQ(stack[0]["absolutePointX"].asDouble(), 5.0);
  EXPECT_TRUE(stack[3].contains("date"));  // clone-and-stamp points keep their date

  // Clone (5, 5) is engine pixel (5, 24), stamp (25, 15) pixel (25, 15): the stroke copies from
  // 20 px left and 9 px lower in the engine's rows.
  const auto image = p->imageData();
  const auto original = positions();
  EXPECT_EQ(image->at(25, 15), original->at(5, 24));
  EXPECT_EQ(image->at(27, 16), original->at(7, 25));
  nextPass();
}

TEST(QVCloneAndStampProcessor, UndoAndRedoReplayFromTheOriginal) {
  auto history = std::make_shared<QVHistoryManager>();
  auto p = QVCloneAndStampProcessor::make(positions(), nullptr);
  history->setDelegate(p);
  p->setHistoryManager(history);
  nextPass();
  p->setClonePoint(CGPointMake(5, 5));
  nextPass();
  p->setStampPoint(CGPointMake(25, 15));
  nextPass();
  stroke(*p);
  nextPass();
  const auto retouched = p->imageData();
  ASSERT_FALSE(same(retouched, positions()));

  QVIPImage::Ptr shown;
  p->setRoi(CGRectMake(0, 0, 40, 30));
  p->setSize(CGSizeMake(40, 30));
  p->setResultCallback([&](QVIPImage::Ptr image, CGRect, CGSize, CGRect) { shown = image; });
  ASSERT_TRUE(history->canUndo());
  history->undo();
  p->queue()->waitUntilAllOperationsAreFinished();
  nextPass();
  EXPECT_TRUE(same(p->imageData(), positions()));
  ASSERT_TRUE(shown) << "the screen gets the restored result";
  EXPECT_TRUE(same(shown->imageData(), positions()));
  EXPECT_EQ(p->historyBrushStack().size(), 2u);
  ASSERT_TRUE(history->canRedo());
  history->redo();
  nextPass();
  EXPECT_TRUE(same(p->imageData(), retouched));
  history->setDelegate({});
  p->setResultCallback({});
  nextPass();  // the redo's result, still on its way to the screen
}

TEST(QVCloneAndStampProcessor, ResultAndOriginalOfTheRegionAtTheSize) {
  auto p = QVCloneAndStampProcessor::make(positions(), nullptr);
  p->setClonePoint(CGPointMake(5, 5));
  p->setStampPoint(CGPointMake(25, 15));
  stroke(*p);
  // The top half of the picture on screen (bottom-left origin) at half size.
  p->setRoi(CGRectMake(0, 15, 40, 15));
  p->setSize(CGSizeMake(20, 8));
  QVIPImage::Ptr result, original, map;
  CGRect mapRect = CGRectMake(1, 1, 1, 1);
  p->setResultCallback([&](QVIPImage::Ptr image, CGRect, CGSize, CGRect) { result = image; });
  p->setOriginalCallback([&](QVIPImage::Ptr image, CGRect, CGSize) { original = image; });
  p->setPreviewCallback([&](QVIPImage::Ptr image, CGRect update) { map = image, mapRect = update; });
  p->updateResult();
  p->queue()->waitUntilAllOperationsAreFinished();
  nextPass();
  ASSERT_TRUE(result && original);
  const auto expectedOriginal = rova::cutAndScale(*positions(), {0, 0, 40, 15}, {20, 8});
  EXPECT_TRUE(same(original->imageData(), expectedOriginal));
  EXPECT_TRUE(same(result->imageData(), rova::cutAndScale(*p->imageData(), {0, 0, 40, 15}, {20, 8})));
  EXPECT_FALSE(same(result->imageData(), expectedOriginal));  // the stroke reaches into the top half
  ASSERT_TRUE(map && map->maskData());                        // the whole retouch map
  EXPECT_EQ(map->maskData()->width(), 40);
  EXPECT_EQ(mapRect, CGRectZero);
}

struct Shown {
  QVIPImage::Ptr image;
  CGRect update{};
};

// True when every pixel where a and b differ lies in one of the rectangles (bottom-left origin over
// a picture of height h).
bool coveredBy(const rova::ImageDataRGBfPtr& a, const rova::ImageDataRGBfPtr& b, const std::vector<Shown>& shown, int h,
               int* differing) {
  bool all = true;
  *differing = 0;
  for (int y = 0; y < a->height(); ++y)
    for (int x = 0; x < a->width(); ++x) {
      if (a->at(x, y) == b->at(x, y)) continue;
      ++*differing;
      all &= std::any_of(shown.begin(), shown.end(), [&](const Shown& s) {
        return CGRectContainsPoint(s.update, CGPointMake(x + 0.5, h - y - 0.5));
      });
    }
  return all;
}

TEST(QVCloneAndStampProcessor, StrokeBatchesHandTheirChangedPartsToTheCallbacks) {
  auto p = QVCloneAndStampProcessor::make(positions(), nullptr);
  p->setRoi(CGRectMake(0, 0, 40, 30));
  p->setSize(CGSizeMake(40, 30));
  std::vector<Shown> results, maps;
  p->setResultCallback([&](QVIPImage::Ptr image, CGRect, CGSize, CGRect update) {
    results.push_back({image, update});
  });
  p->setPreviewCallback([&](QVIPImage::Ptr image, CGRect update) { maps.push_back({image, update}); });
  p->setClonePoint(CGPointMake(5, 5));
  p->setStampPoint(CGPointMake(25, 15));
  p->beginStroke();
  const qv::Date t0 = qv::Date::now();
  auto at = [&](double dt) { return qv::Date{t0.secondsSinceReferenceDate + dt}; };
  p->updateAtRelativePoint(CGPointMake(0.5, 0.5), 0.1, 100, 0, at(0));  // a batch of its own, drawn at once
  p->updateAtRelativePoint(CGPointMake(0.6, 0.5), 0.1, 100, 0, at(1));
  p->updateAtRelativePoint(CGPointMake(0.7, 0.5), 0.1, 100, 0, at(1.1));  // 0.1 s later: the same batch
  p->updateAtRelativePoint(CGPointMake(0.8, 0.5), 0.1, 100, 0, at(1.2));
  p->queue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(p->waitingStrokePoints(), 3u);
  qv::MainExecutor::shared().runPending();  // hears that the first batch is drawn
  p->queue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(p->waitingStrokePoints(), 1u);
  p->endStroke();
  const auto retouched = p->imageData();
  nextPass();

  ASSERT_EQ(results.size(), 3u);
  ASSERT_EQ(maps.size(), 3u);
  int differing = 0;
  EXPECT_TRUE(coveredBy(retouched, positions(), results, 30, &differing));
  EXPECT_GT(differing, 50);
  const Shown& last = results.back();
  const auto part = last.image->imageData();
  ASSERT_TRUE(part);
  EXPECT_EQ(part->width(), int(last.update.size.width));
  const int top = 30 - int(last.update.origin.y) - part->height();
  EXPECT_EQ(part->at(0, 0), retouched->at(int(last.update.origin.x), top));
  ASSERT_TRUE(maps[0].image->maskData());
  EXPECT_GT(maps[0].update.size.width, 0);

  // A replay draws without reports per batch and then sends the whole result once.
  const qv::Array stack = p->historyBrushStack();
  p->setHistoryBrushStack(qv::Array{});
  p->setHistoryBrushStack(stack);
  p->queue()->waitUntilAllOperationsAreFinished();
  nextPass();
  EXPECT_EQ(std::count_if(results.begin(), results.end(), [](const Shown& r) { return r.update != CGRectZero; }), 3);
  EXPECT_EQ(results.back().update, CGRectZero);
  EXPECT_TRUE(same(results.back().image->imageData(), retouched));
}

TEST(QVCloneAndStampProcessor, PreviewShowsWhereAStrokeWouldGoAndIsTakenBack) {
  auto history = std::make_shared<solvane::test::FakeHistory>();
  auto p = QVCloneAndStampProcessor::make(positions(), nullptr);
  p->setHistoryManager(history);
  p->setClonePoint(CGPointMake(5, 5));
  p->setStampPoint(CGPointMake(25, 15));
  const size_t steps = history->steps.size();
  const qv::Array stack = p->historyBrushStack();
  p->setRoi(CGRectMake(0, 0, 40, 30));
  p->setSize(CGSizeMake(20, 15));  // half size
  std::vector<Shown> results;
  p->setResultCallback([&](QVIPImage::Ptr image, CGRect, CGSize, CGRect update) {
    results.push_back({image, update});
  });
  p->previewAtRelativePoint(CGPointMake(0.6, 0.5), 0.1, 100, 0);
  p->queue()->waitUntilAllOperationsAreFinished();
  nextPass();
  ASSERT_EQ(results.size(), 1u);
  const CGRect shownAt = results[0].update;
  EXPECT_GT(shownAt.size.width, 0);
  EXPECT_LT(shownAt.size.width, 20);
  auto half = [](const rova::ImageDataRGBfPtr& image) { return rova::cutAndScale(*image, {0, 0, 40, 30}, {20, 15}); };
  int differing = 0;
  // The shown part differs from the original there and is all that differs.
  const auto part = results[0].image->imageData();
  const auto original = half(positions());
  auto composed = original->copy();
  const int top = 15 - int(shownAt.origin.y) - part->height();
  for (int y = 0; y < part->height(); ++y)
    for (int x = 0; x < part->width(); ++x) composed->at(int(shownAt.origin.x) + x, top + y) = part->at(x, y);
  EXPECT_TRUE(coveredBy(composed, original, results, 15, &differing));
  EXPECT_GT(differing, 0);
  EXPECT_TRUE(same(p->imageData(), positions())) << "a preview is never kept";
  EXPECT_EQ(p->historyBrushStack(), stack);
  EXPECT_EQ(history->steps.size(), steps);

  p->cancelPreview();
  p->queue()->waitUntilAllOperationsAreFinished();
  nextPass();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].update, shownAt);
  EXPECT_TRUE(
      same(results[1].image->imageData(), original->copy({int(shownAt.origin.x), top, part->width(), part->height()})));
}

TEST(QVCloneAndStampProcessor, DamagedStacksAndForeignManagers) {
  auto p = QVCloneAndStampProcessor::make(positions(), nullptr);
  qv::Array stack{
      qv::Dictionary{{"ID", "SetClonePoint"}, {"absolutePointX", 1e30}, {"absolutePointY", -1e30}},
      qv::Dictionary{{"ID", "SetStampPoint"}, {"absolutePointX", std::nan("")}, {"absolutePointY", 3.0}},
  };
  p->setHistoryBrushStack(stack);
  EXPECT_EQ(p->clonePoint().x, 39);  // brought to the picture's edge
  EXPECT_EQ(p->clonePoint().y, 0);
  EXPECT_EQ(p->stampPoint().x, 0);                         // not finite: refused, stays at zero
  EXPECT_EQ(p->historyBrushStack().size(), stack.size());  // kept as stored

  // Restoring nothing goes back to the original.
  p->setHistoryBrushStack(std::nullopt);
  EXPECT_TRUE(p->historyBrushStack().empty());
  EXPECT_TRUE(same(p->imageData(), positions()));

  solvane::test::FakeHistory foreign;
  int calls = 0;
  bool result = true;
  p->historyManagerSaveStateForHistoryWithUUID(foreign, "X", [&](bool ok) { ++calls, result = ok; });
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(result);
  p->historyManagerRestoreStateForUUID(foreign, "X", [&](bool ok) { ++calls, result = ok; });
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(result);
  nextPass();
}

TEST(QVCloneAndStampProcessor, ResultingLayerCarriesRetouchedPixelsAndMaskLimits) {
  auto mask = rova::MaskImage::make(40, 30);  // only the left half may change
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 26; ++x) mask->values()[y * 40 + x] = 1;
  auto p = QVCloneAndStampProcessor::make(positions(), mask);
  p->setClonePoint(CGPointMake(5, 5));
  p->setStampPoint(CGPointMake(25, 15));
  stroke(*p);
  std::shared_ptr<QVIPLayer> layer;
  p->createResultingLayerWithCompletion([&](std::shared_ptr<QVIPLayer> l) { layer = l; });
  p->queue()->waitUntilAllOperationsAreFinished();
  nextPass();
  ASSERT_TRUE(layer);
  auto engine = std::dynamic_pointer_cast<rova::ImageLayer>(layer->cppLayer());
  ASSERT_TRUE(engine);
  const auto pixels = engine->getSourceImage()->imageData();
  EXPECT_TRUE(same(pixels, p->imageData()));
  EXPECT_EQ(pixels->at(25, 15), positions()->at(5, 24));
  EXPECT_EQ(pixels->at(30, 15), positions()->at(30, 15));  // outside the process mask
}

}  // namespace
