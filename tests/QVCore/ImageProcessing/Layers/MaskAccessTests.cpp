// The layer's mask access over a real engine processor: create, copy, apply, empty tests, fitted
// sizes, the two-colour image, region previews with cancellation and brush-stack migration.
#include <gtest/gtest.h>

#include <future>

#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPMask.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

class FakeMask : public QVLayerMaskProtocol {
 public:
  void setParent(std::weak_ptr<QVParentProtocol>) override {}
  void finishDrawing() override { log.push_back("finishDrawing"); }
  void createBrushController() override {}
  void saveMaskForce(bool) override { log.push_back("saveMask"); }
  void saveMaskForceWithIgnoreHistoryMaskName() override { log.push_back("saveMaskForceWithIgnoreHistoryMaskName"); }
  std::optional<std::string> historyMaskName() const override { return std::nullopt; }
  void setHistoryMaskName(std::optional<std::string>) override {}
  qv::Array brushStack() const override { return stack; }
  void setBrushStack(std::optional<qv::Array> s) override { stack = s ? *s : qv::Array{}; }
  void clearMaskWithNextDelete(bool) override {}
  void updateMask() override { log.push_back("updateMask"); }
  void updateMaskDeleted(bool) override {}
  void resetState() override { log.push_back("resetState"); }
  std::vector<std::string> log;
  qv::Array stack;
};

// A processor whose picture is `w` x `h`, with one adjustment layer on top.
struct Fixture {
  std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
  std::shared_ptr<TestProcessor> processor = TestProcessor::make(history);
  LayerPtr layer = QVIPLayer::initWithDefaultSettings();

  Fixture(int w, int h) {
    QVLayerMaskFactory::registerMaker([] { return std::make_shared<FakeMask>(); });
    addLayerOverPicture(*processor, layer, w, h);
  }
  ~Fixture() { QVLayerMaskFactory::registerMaker(nullptr); }
  FakeMask& mask() { return static_cast<FakeMask&>(*layer->mask()); }
  void drain() {
    processor->waitForQueue();
    qv::MainExecutor::shared().runUntilIdle();
  }
};

QVIPMask::Ptr filled(float value, int w, int h) {
  return QVIPMask::make(std::make_shared<std::vector<float>>(size_t(w * h), value), CGSizeMake(w, h));
}

}  // namespace

TEST(MaskAccess, CreateCopyApplyAndEmptyTests) {
  Fixture f(4, 2);
  EXPECT_FALSE(f.layer->getMask());
  EXPECT_TRUE(f.layer->isMaskEmpty());
  f.layer->createMask();
  auto copy = f.layer->getMask();
  ASSERT_TRUE(copy && copy->hasBuffer());
  EXPECT_EQ(copy->size().width, 4);
  EXPECT_EQ(*copy->buffer(), std::vector<float>(8, 0.f));
  EXPECT_TRUE(f.layer->isMaskEmpty());

  // Values at or below 0 are empty; one value of 0.001 is not.
  auto almost = filled(-0.5f, 4, 2);
  auto values = std::make_shared<std::vector<float>>(*almost->buffer());
  almost->setBuffer(values);
  f.layer->applyMask(almost, nullptr);
  f.drain();
  EXPECT_TRUE(f.layer->isMaskEmpty());
  (*values)[5] = 0.001f;
  f.layer->applyMask(QVIPMask::make(values, CGSizeMake(4, 2)), nullptr);
  f.drain();
  EXPECT_FALSE(f.layer->isMaskEmpty());
  EXPECT_EQ(f.layer->getMask()->buffer()->at(5), 0.001f);
  // A buffer shorter than its size: the rest reads as 0.
  f.layer->applyMask(QVIPMask::make(std::make_shared<std::vector<float>>(3, 1.f), CGSizeMake(4, 2)), nullptr);
  f.drain();
  EXPECT_EQ(*f.layer->getMask()->buffer(), (std::vector<float>{1, 1, 1, 0, 0, 0, 0, 0}));

  // A mask without buffer removes the engine mask and reports before the callback.
  NotificationRecorder recorder(f.layer->mask().get(), {kQVLayerMaskDidChangeNotification});
  std::vector<std::string> order;
  f.mask().log.clear();
  f.layer->applyMask(QVIPMask::make(nullptr, CGSizeMake(4, 2)), [&] {
    order.push_back("callback after " + std::to_string(recorder.received.size()) + " notification");
  });
  f.drain();
  EXPECT_FALSE(f.layer->hasMask());
  EXPECT_FALSE(f.layer->cppLayer()->hasMask());
  EXPECT_EQ(order, std::vector<std::string>{"callback after 1 notification"});
  EXPECT_EQ(f.mask().log, (std::vector<std::string>{"finishDrawing", "resetState", "saveMask"}));
  EXPECT_EQ(f.processor->reports.back().info[kQVLayerMaskDidChangeNotification].asBool(), true);
}

TEST(MaskAccess, SwitchingTheMaskOffKeepsItsPixels) {
  Fixture f(4, 2);
  f.layer->setName("L");
  f.layer->createMaskAndFillWith(0.75, true);
  int posted = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVLayerMaskDidChangeEnabledStateNotification,
                                                                   f.layer->notificationSender(),
                                                                   [&](const qv::Notification&) { ++posted; });
  const auto useMask = [&] {
    bool use = false;
    f.processor->performOnImageProcessingQueue([&] { use = f.layer->cppLayer()->isUseMask(); }, true);
    return use;
  };
  f.drain();
  const size_t steps = f.history->steps.size(), reports = f.processor->reports.size();
  f.layer->setMaskEnabled(true);  // already on: nothing
  f.drain();
  EXPECT_EQ(f.history->steps.size(), steps);
  EXPECT_EQ(posted, 0);

  struct Step {
    bool enabled;
    const char* action;
  };
  for (const Step& step : {Step{false, "L: Mask Disabled"}, Step{true, "L: Mask Enabled"}}) {
    SCOPED_TRACE(step.action);
    const int postedBefore = posted;
    f.layer->setMaskEnabled(step.enabled);
    EXPECT_EQ(f.layer->maskEnabled(), step.enabled);
    ASSERT_FALSE(f.history->steps.empty());
    EXPECT_EQ(f.history->steps.back().actionName, step.action);
    f.drain();
    EXPECT_EQ(useMask(), step.enabled);
    EXPECT_EQ(posted, postedBefore + 1);
    ASSERT_GT(f.processor->reports.size(), reports);
    EXPECT_EQ(f.processor->reports.back().child, f.layer);
    EXPECT_TRUE(f.processor->reports.back().info.changeType().empty());
    // The pixels stay with the layer either way.
    auto copy = f.layer->getMask();
    ASSERT_TRUE(copy && copy->hasBuffer());
    EXPECT_EQ(copy->buffer()->front(), 0.75f);
  }
  EXPECT_EQ(f.history->steps.size(), steps + 2);
}

TEST(MaskAccess, FittedSizesNeverReachZero) {
  struct Case {
    int w, h;
    CGSize expected;
  } cases[] = {{400, 200, {100, 50}}, {1000, 1, {100, 1}}};
  for (const auto& c : cases) {
    Fixture f(c.w, c.h);
    CGSize fitted{};
    std::promise<void> done;
    f.layer->getMaskFittedToSize(CGSizeMake(100, 100), [&](CGSize s) {
      fitted = s;
      done.set_value();
    });
    done.get_future().wait();
    EXPECT_EQ(fitted.width, c.expected.width);
    EXPECT_EQ(fitted.height, c.expected.height);
  }
}

TEST(MaskAccess, TwoColourImageShowsForegroundWhereTheMaskIs) {
  Fixture f(4, 2);
  EXPECT_FALSE(f.layer->getMaskImageWithBackgroundColor({0, 0, 1, 1}, {1, 0, 0, 1}, CGSizeMake(0, 10)));
  for (float value : {1.f, 0.f}) {
    f.layer->applyMask(filled(value, 4, 2), nullptr);
    f.drain();
    auto image = f.layer->getMaskImageWithBackgroundColor({0, 0, 1, 1}, {1, 0, 0, 1}, CGSizeMake(4, 2));
    ASSERT_TRUE(image);
    CGImageRef bitmap = image->CGImage();
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->width, 4u);
    for (size_t y = 0; y < 2; ++y)
      for (size_t x = 0; x < 4; ++x) {
        const uint8_t* p = bitmap->row(y) + 4 * x;
        EXPECT_EQ(p[0], value == 1.f ? 255 : 0);  // red foreground
        EXPECT_EQ(p[2], value == 1.f ? 0 : 255);  // blue background
        EXPECT_EQ(p[3], 255);
      }
  }
}

TEST(MaskAccess, ANewRegionRequestCancelsTheOneBefore) {
  Fixture f(40, 20);
  f.layer->applyMask(filled(0.5f, 40, 20), nullptr);
  f.drain();
  // Hold the processing queue so both requests wait.
  std::promise<void> gate;
  auto opened = gate.get_future().share();
  f.processor->queue->addOperationWithBlock([opened] { opened.wait(); });
  struct Result {
    bool region = false, preview = false;
    CGSize regionSize{}, size{};
    int calls = 0;
  } first, second;
  auto handler = [](Result& r) {
    return [&r](QVIPImagePtr region, QVIPImagePtr preview, CGRect, CGSize size) {
      ++r.calls;
      r.region = region != nullptr;
      r.preview = preview != nullptr;
      if (region) r.regionSize = region->size();
      r.size = size;
    };
  };
  auto op1 = f.layer->obtainMaskPreviewAtRoi(CGRectMake(0, 0, 20, 10), CGSizeMake(10, 5), handler(first));
  auto op2 = f.layer->obtainMaskPreviewAtRoi(CGRectMake(10, 5, 20, 10), CGSizeMake(8, 4), handler(second));
  EXPECT_TRUE(op1->isCancelled());
  EXPECT_EQ(f.layer->obtainMaskPreviewOperation(), op2);
  gate.set_value();
  f.drain();
  EXPECT_EQ(first.calls, 1);
  EXPECT_FALSE(first.region || first.preview);
  EXPECT_EQ(first.size.width, 10);
  EXPECT_EQ(second.calls, 1);
  EXPECT_TRUE(second.region && second.preview);

  // Without a mask both images come back without data, of the asked size and 500 x 500.
  Fixture bare(40, 20);
  Result none;
  bare.layer->obtainMaskPreviewAtRoi(CGRectMake(0, 0, 20, 10), CGSizeMake(10, 5), handler(none));
  bare.drain();
  EXPECT_TRUE(none.region && none.preview);
  EXPECT_EQ(none.regionSize.width, 10);
}

TEST(MaskAccess, BrushStrokesMigrateFromAnyLayerOfTheTree) {
  Fixture f(4, 2);
  auto child = QVIPLayer::initWithDefaultSettings();
  f.layer->addLayer(child);
  f.drain();
  EXPECT_FALSE(f.layer->migrateBrushStackToMask());
  child->createMask();
  static_cast<FakeMask&>(*child->mask()).stack = qv::Array{qv::Dictionary{{"ID", "Stroke"}}};
  EXPECT_TRUE(f.layer->migrateBrushStackToMask());
  EXPECT_EQ(static_cast<FakeMask&>(*child->mask()).log.back(), "saveMaskForceWithIgnoreHistoryMaskName");
}
