// The processor's orientation with its rotate and flip steps, mask copy and paste through the
// document's pasteboard, and the white-balance pick.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Processor/ProcessorStackTestSupport.h"
#include "rova/effects/WhiteBalanceEffect.h"

using namespace solvane::test;

namespace {

// Counts what a paste asks of the mask object.
class CountingMask : public QVLayerMaskProtocol {
 public:
  void setParent(std::weak_ptr<QVParentProtocol>) override {}
  void finishDrawing() override { ++finished; }
  void createBrushController() override {}
  void saveMaskForce(bool force) override { forcedSaves += force ? 1 : 0; }
  void saveMaskForceWithIgnoreHistoryMaskName() override {}
  std::optional<std::string> historyMaskName() const override { return name; }
  void setHistoryMaskName(std::optional<std::string> n) override { name = std::move(n); }
  qv::Array brushStack() const override { return stack; }
  void setBrushStack(std::optional<qv::Array> s) override { stack = s ? *s : qv::Array{}; }
  void clearMaskWithNextDelete(bool) override {}
  void updateMask() override { ++updates; }
  void updateMaskDeleted(bool) override {}
  void resetState() override {}
  int finished = 0, forcedSaves = 0, updates = 0;
  std::optional<std::string> name = "old-mask";
  qv::Array stack{qv::Value("stroke")};
};

struct OrientationTest : ProcessorWithHistoryTest {
  void SetUp() override {
    ProcessorWithHistoryTest::SetUp();
    qv::MainExecutor::shared().runUntilIdle();
  }
  // Registrations open again on the next main-loop pass.
  uint64_t steps() {
    settle(*processor);
    return manager->levelCount();
  }
  int engineOrientation() {
    int o = 0;
    processor->performOnImageProcessingQueue([&] { o = processor->cppProcessor()->orientation(); }, true);
    return o;
  }
};

}  // namespace

TEST(ProcessorOrientation, RotateAndFlipTable) {
  for (uint64_t o = 1; o <= 8; ++o) {
    uint64_t turned = o;
    for (int i = 0; i < 4; ++i) turned = QVRovaProcessor::orientationAfterRotateFlip(1, turned);
    EXPECT_EQ(turned, o) << "four clockwise quarter turns";
    EXPECT_EQ(QVRovaProcessor::orientationAfterRotateFlip(0, QVRovaProcessor::orientationAfterRotateFlip(1, o)), o);
    for (uint64_t mirror : {2, 3})
      EXPECT_EQ(
          QVRovaProcessor::orientationAfterRotateFlip(mirror, QVRovaProcessor::orientationAfterRotateFlip(mirror, o)),
          o);
  }
  EXPECT_EQ(QVRovaProcessor::orientationAfterRotateFlip(1, 1), 6u);
  EXPECT_EQ(QVRovaProcessor::orientationAfterRotateFlip(0, 1), 8u);
  EXPECT_EQ(QVRovaProcessor::orientationAfterRotateFlip(2, 5), 6u);
  EXPECT_EQ(QVRovaProcessor::orientationAfterRotateFlip(3, 6), 7u);
  EXPECT_EQ(QVRovaProcessor::orientationAfterRotateFlip(4, 3), 3u) << "no such operation";
}

TEST_F(OrientationTest, ATurnReachesLayersEngineAndCanvasAndIsOneStep) {
  auto& p = *processor;
  auto layer = p.createLayer();
  const uint64_t before = steps();
  ASSERT_EQ(p.canvasSize(), CGSizeMake(400, 300));

  for (uint64_t refused : {0, 9, 1}) p.setOrientation(refused);
  EXPECT_EQ(steps(), before) << "invalid or unchanged values register nothing";
  EXPECT_EQ(p.orientation(), 1u);

  NotificationLog posted(kQVImageProcessorImageOrientationDidChange);
  p.rotateFlip(1);
  EXPECT_EQ(posted.posts.size(), 1u) << "posted at once";
  EXPECT_EQ(p.orientation(), 6u);
  EXPECT_EQ(p.initialLayer()->imageOrientation(), 6u);
  EXPECT_EQ(layer->imageOrientation(), 6u);
  EXPECT_EQ(steps(), before + 1);
  EXPECT_EQ(engineOrientation(), 6);
  EXPECT_EQ(p.canvasSize(), CGSizeMake(300, 400)) << "a quarter turn swaps the canvas sides";
  auto full = p.originalLowResImage();
  ASSERT_TRUE(full);
  EXPECT_LT(full->size().width, full->size().height);

  // Undo restores the orientation through the same road.
  manager->undo();
  settle(p);
  EXPECT_EQ(p.orientation(), 1u);
  EXPECT_EQ(layer->imageOrientation(), 1u);
  EXPECT_EQ(engineOrientation(), 1);
  EXPECT_EQ(p.canvasSize(), CGSizeMake(400, 300));
}

TEST_F(OrientationTest, AMaskCopiedToTheDocumentsPasteboardPastesBackOntoAnotherLayer) {
  QVLayerMaskFactory::registerMaker([] { return std::make_shared<CountingMask>(); });
  auto& p = *processor;
  auto source = p.createLayer();
  auto target = p.createLayer();
  settle(p);
  EXPECT_FALSE(p.canReadMaskFromPasteboard());
  p.copyMaskFromLayer(source);
  EXPECT_FALSE(p.canReadMaskFromPasteboard()) << "a layer without a mask copies nothing";

  source->createMaskAndFillWith(0, true);
  settle(p);
  p.performOnImageProcessingQueue(
      [&] {
        auto mask = source->cppLayer()->getMask();
        for (int i = 0; i < mask->width() * mask->height(); ++i) mask->values()[i] = float(i % 97) / 96.0f;
        source->cppLayer()->resetMaskCache();
      },
      true);
  p.copyMaskFromLayer(source);
  ASSERT_TRUE(p.canReadMaskFromPasteboard());
  auto bytes = p.maskPasteboard()->dataForType(kQVPasteboardTypeImageAlphaData);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 8u + 400u * 300u * 4u);
  EXPECT_EQ(qv::Pasteboard::pasteboardWithName(manager->identificator()), p.maskPasteboard());

  const uint64_t before = steps();
  p.pasteMaskToLayer(target);
  EXPECT_EQ(steps(), before + 1);
  auto& maskObject = static_cast<CountingMask&>(*target->mask());
  EXPECT_FALSE(maskObject.name);
  EXPECT_TRUE(maskObject.stack.empty());
  EXPECT_EQ(maskObject.finished, 1);
  EXPECT_EQ(maskObject.forcedSaves, 1);
  EXPECT_EQ(maskObject.updates, 1);
  bool same = false;
  p.performOnImageProcessingQueue(
      [&] {
        auto a = source->cppLayer()->getMask(), b = target->cppLayer()->getMask();
        same = a && b && a->size() == b->size() &&
               std::equal(a->values(), a->values() + a->width() * a->height(), b->values());
      },
      true);
  EXPECT_TRUE(same);

  // Bad or missing data on the pasteboard changes nothing.
  auto board = p.maskPasteboard();
  for (const qv::Pasteboard::Data& bad : {qv::Pasteboard::Data{1, 2}, qv::Pasteboard::Data(8, 0xff)}) {
    board->clearContents();
    board->setData(bad, kQVPasteboardTypeImageAlphaData);
    p.pasteMaskToLayer(source);
    EXPECT_EQ(steps(), before + 1);
  }
  board->clearContents();
  p.pasteMaskToLayer(source);
  EXPECT_EQ(steps(), before + 1);
  QVLayerMaskFactory::registerMaker(nullptr);
}

TEST_F(OrientationTest, TheColourPickReadsTheTopPicture) {
  auto& p = *processor;
  p.setActiveLayer(p.createLayer());
  const qv::RGBAColor color{0.6, 0.5, 0.4, 1};
  float expectedTemperature = 0, expectedTint = 0;
  grfx_temperature_tint_for_picked_point(0.6f, 0.5f, 0.4f, 6500, 0, &expectedTemperature, &expectedTint);
  float temperature = -1, tint = -1;
  ASSERT_TRUE(p.getTemperature(temperature, tint, color));
  EXPECT_FLOAT_EQ(temperature, expectedTemperature);
  EXPECT_FLOAT_EQ(tint, expectedTint);

  auto empty = QVRovaProcessor::init();
  temperature = tint = -1;
  EXPECT_FALSE(empty->getTemperature(temperature, tint, color));
  EXPECT_EQ(temperature, -1);
  EXPECT_EQ(tint, -1);
}

TEST_F(OrientationTest, AFollowerTakesItsSourcesTurn) {
  auto& source = *processor;
  source.createLayer();
  settle(source);
  auto follower = QVRovaProcessor::initWithImageProcessor(source);
  settle(*follower);
  ASSERT_TRUE(follower->syncWithProcessor(processor));
  source.rotateFlip(0);
  settle(source);
  settle(*follower);
  EXPECT_EQ(follower->orientation(), 8u);
  EXPECT_EQ(follower->layers().front()->imageOrientation(), 8u);
  EXPECT_EQ(follower->canvasSize(), CGSizeMake(300, 400));
  EXPECT_FALSE(follower->isInvalid());
}
