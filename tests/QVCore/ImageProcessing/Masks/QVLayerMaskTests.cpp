// The layer mask over a real engine layer and processing queue: recorded operations replay to the
// same engine calls and pixels (also through a stored layer state), stroke and gradient recording
// rules, per-batch previews, polygons, the progress notice for long stacks, damaged stacks, and
// mask files (round trip, raw form, failed and retried writes).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "common/TestSupport.h"
#include "QVCore/ImageProcessing/Masks/QVLayerMask.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVPlatform/PropertyList.h"
#include "rova/ImageCompressorProxy.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;
namespace fs = std::filesystem;

namespace {

class FolderHistory : public FakeHistory {
 public:
  std::string folder;
  std::string resourcesPath() override { return folder; }
};

struct TempFolder {
  fs::path path = fs::temp_directory_path() / ("masks-" + qv::stringWithUUID());
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// An adjustment layer with a real mask over a w x h picture; engine calls are logged.
struct Fixture {
  std::shared_ptr<FolderHistory> history = std::make_shared<FolderHistory>();
  std::shared_ptr<TestProcessor> processor = TestProcessor::make(history);
  std::shared_ptr<QVIPLayer> layer = QVIPLayer::initWithDefaultSettings();
  std::shared_ptr<QVLayerMask> mask;
  std::shared_ptr<std::vector<std::string>> calls = std::make_shared<std::vector<std::string>>();

  // The history's files go to `resources`, or to a fresh folder of the test's own when none is given.
  explicit Fixture(const std::string& resources = {}, int w = 80, int h = 60,
                   std::shared_ptr<QVIPLayer> masked = nullptr) {
    history->folder = resources.empty() ? solvane::test::makeTempDir("mask-history").string() : resources;
    if (masked) layer = masked;
    QVLayerMask::registerMaker();
    addLayerOverPicture(*processor, layer, w, h);
    mask = std::dynamic_pointer_cast<QVLayerMask>(layer->mask());
    auto log = calls;
    mask->setEngineCallObserver([log](const std::string& c) { log->push_back(c); });
  }
  ~Fixture() { QVLayerMaskFactory::registerMaker(nullptr); }
  void drain() {
    processor->waitForQueue();
    qv::MainExecutor::shared().runUntilIdle();
  }
  std::vector<float> pixels() {
    drain();
    auto m = layer->cppLayer()->getMask();
    if (!m) return {};
    return {m->values(), m->values() + size_t(m->width()) * size_t(m->height())};
  }
  void stroke(double y) {
    mask->beginStroke();
    for (int i = 0; i <= 10; ++i) mask->updateAtRelativePoint(CGPointMake(0.1 + 0.08 * i, y), 0.08, 90, 40);
    mask->endStroke();
  }
};

// The engine calls that change pixels (the mask setting alone changes none until it is baked).
std::string text(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v)
    if (s.rfind("setting", 0) != 0) out += s + "\n";
  return out;
}

using Session = void (*)(QVLayerMask&, Fixture&);

TEST(QVLayerMask, RecordedOperationsReplayToSameEngineCallsAndPixels) {
  struct Case {
    const char* name;
    Session session;
  };
  const Case cases[] = {
      {"fill, erase stroke, radial gradient, invert, subtracting linear gradient",
       [](QVLayerMask& m, Fixture& f) {
         m.fillMask();
         m.setEraseMode(true);
         f.stroke(0.3);
         m.setBrushMode(0);
         m.generateRadialGradient(CGPointMake(0.6, 0.7), 20, 0.05, 0.2, 0.6, false, false);
         m.applyGradient();
         m.invertMask();
         m.generateGradient(0.3, CGPointMake(0.4, 0.5), 30, false, true);
         m.applyGradient();
       }},
      {"fill, density and feather baked, stroke",
       [](QVLayerMask& m, Fixture& f) {
         m.fillMask();
         m.setEraseMode(true);
         f.stroke(0.5);
         m.setDensity(60);
         m.setFeather(3);
         m.applyFeatherAndDensity();
         m.setEraseMode(false);
         f.stroke(0.2);
       }},
      {"clear, level stroke, paint stroke",
       [](QVLayerMask& m, Fixture& f) {
         m.clearMaskWithNextDelete(false);
         m.setBrushMode(2);
         f.stroke(0.5);
         m.setBrushMode(0);
         f.stroke(0.6);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture recorded;
    c.session(*recorded.mask, recorded);
    const auto pixels = recorded.pixels();
    ASSERT_FALSE(pixels.empty());
    ASSERT_GT(recorded.calls->size(), 20u);
    const qv::Array stack = recorded.mask->brushStack();

    // Through a layer state, stored as a property list and read back onto a fresh layer.
    const auto xml = qv::PropertyList::toXML(QVLayerState::initWithLayer(recorded.layer)->serialize());
    ASSERT_TRUE(xml);
    const qv::Value stored = qv::PropertyList::read(*xml, nullptr);
    ASSERT_EQ(*stored["HistoryBrushStack"].array(), stack);
    Fixture replayed;
    QVLayerState::initWithDic(stored, replayed.layer)->updateLayer(replayed.layer);
    EXPECT_EQ(replayed.pixels(), pixels);
    EXPECT_EQ(text(*replayed.calls), text(*recorded.calls));
    EXPECT_EQ(replayed.mask->brushStack(), stack);
    for (const auto& step : replayed.history->steps)  // applying the state's other fields may register some
      for (const char* mask : {"Brush Stroke", "Mask"})
        EXPECT_EQ(step.actionName.find(mask), std::string::npos) << "replay registers no mask steps";
  }
}

TEST(QVLayerMask, EntriesHoldFloatsAndBottomLeftPoints) {
  Fixture f;
  f.mask->beginStroke();
  f.mask->updateAtRelativePoint(CGPointMake(0.3, 0.1), 0.05, 80, 30);
  f.mask->endStroke();
  const qv::Array stack = f.mask->brushStack();
  ASSERT_EQ(stack.size(), 3u);
  EXPECT_EQ(stack[0]["ID"].asString(), "BeginStroke");
  EXPECT_EQ(stack[0]["brushMode"].asInt(), 0);
  EXPECT_EQ(stack[1]["relativePointX"].asDouble(), double(0.3f));
  EXPECT_EQ(stack[1]["relativePointY"].asDouble(), double(0.1f));
  EXPECT_FALSE(stack[1].contains("date"));
  EXPECT_EQ(stack[2]["ID"].asString(), "EndStroke");
  // The engine is handed y flipped and percentages as fractions.
  f.drain();
  ASSERT_GE(f.calls->size(), 2u);
  char expected[128];
  std::snprintf(expected, sizeof expected, "point %.9g %.9g %.9g %.9g %.9g", double(0.3f), double(1.0f - 0.1f),
                double(0.05f), double(80.0f / 100.0f), double(30.0f / 100.0f));
  EXPECT_EQ((*f.calls)[1], expected);
  // Painted near the bottom of the picture (engine rows count from the top).
  const auto px = f.pixels();
  EXPECT_GT(px[size_t(54) * 80 + 24], 0.5f);
  EXPECT_EQ(px[size_t(6) * 80 + 24], 0.0f);
}

TEST(QVLayerMask, StrokeAndGradientRecordingRules) {
  Fixture f;
  // A cancelled stroke leaves nothing behind, in the stack or in the pixels.
  f.stroke(0.5);
  const auto before = f.pixels();
  const qv::Array stack = f.mask->brushStack();
  f.mask->beginStroke();
  f.mask->updateAtRelativePoint(CGPointMake(0.5, 0.9), 0.1, 100, 0);
  f.mask->cancelStroke();
  EXPECT_EQ(f.mask->brushStack(), stack);
  EXPECT_EQ(f.pixels(), before);
  f.mask->cancelStroke();  // nothing in progress: nothing happens
  f.mask->endStroke();
  EXPECT_EQ(f.mask->brushStack(), stack);

  // Dragging a gradient records nothing; applying it records three entries.
  f.mask->generateGradient(0.2, CGPointMake(0.5, 0.5), 0, true, false);
  f.mask->generateGradient(0.2, CGPointMake(0.6, 0.5), 0, true, false);
  EXPECT_EQ(f.mask->brushStack(), stack);
  f.mask->generateGradient(0.2, CGPointMake(0.7, 0.5), 0, false, true);
  f.mask->applyGradient();
  const qv::Array after = f.mask->brushStack();
  ASSERT_EQ(after.size(), stack.size() + 3);
  EXPECT_EQ(after[stack.size()]["ID"].asString(), "BeginStroke");
  EXPECT_EQ(after[stack.size() + 1]["ID"].asString(), "DrawGradientID");
  EXPECT_EQ(after[stack.size() + 1]["relativePointX"].asDouble(), double(0.7f));
  EXPECT_TRUE(after[stack.size() + 1]["gradientSubtract"].asBool());
  EXPECT_EQ(after[stack.size() + 2]["ID"].asString(), "EndStroke");

  // Fill starts the stack again.
  f.mask->fillMask();
  ASSERT_EQ(f.mask->brushStack().size(), 1u);
  EXPECT_EQ(f.mask->brushStack()[0]["ID"].asString(), "FillMask");
  EXPECT_FALSE(f.mask->historyMaskName());
}

TEST(QVLayerMask, StrokePointsAreDrawnInBatchesOfATenthOfASecond) {
  Fixture f;
  f.mask->beginStroke();
  f.drain();
  const size_t before = f.calls->size();
  const qv::Date t0 = qv::Date::now();
  auto at = [&](double dt) { return qv::Date{t0.secondsSinceReferenceDate + dt}; };
  f.mask->updateAtRelativePoint(CGPointMake(0.1, 0.5), 0.05, 100, 0, at(-1));  // drawn at once
  f.mask->updateAtRelativePoint(CGPointMake(0.2, 0.5), 0.05, 100, 0, at(0));
  f.mask->updateAtRelativePoint(CGPointMake(0.3, 0.5), 0.05, 100, 0, at(0.05));  // joins that batch
  f.mask->updateAtRelativePoint(CGPointMake(0.4, 0.5), 0.05, 100, 0, at(0.12));  // starts the next
  f.processor->waitForQueue();
  // The next batch waits until the running one is drawn.
  EXPECT_EQ(f.calls->size(), before + 1);
  EXPECT_EQ(f.mask->waitingStrokePoints(), 3u);
  // One pass of the main loop hears that the batch is drawn and queues the next.
  auto nextBatch = [&] {
    qv::MainExecutor::shared().runPending();
    f.processor->waitForQueue();
  };
  nextBatch();
  EXPECT_EQ(f.calls->size(), before + 3);  // 0 and 0.05 s
  EXPECT_EQ(f.mask->waitingStrokePoints(), 1u);
  nextBatch();
  EXPECT_EQ(f.mask->waitingStrokePoints(), 0u);
  EXPECT_EQ(f.calls->size(), before + 4);
  f.mask->updateAtRelativePoint(CGPointMake(0.5, 0.5), 0.05, 100, 0, at(0.5));
  f.mask->updateAtRelativePoint(CGPointMake(0.6, 0.5), 0.05, 100, 0, at(0.6));
  f.mask->endStroke();  // draws every waiting point before the stroke ends
  f.drain();
  EXPECT_EQ(f.calls->back(), "end");
  EXPECT_EQ(f.calls->size(), before + 7);
}

TEST(QVLayerMask, OldEraseFlagAndDamagedNumbersOnReplay) {
  Fixture f;
  f.mask->fillMask();
  qv::Array stack = f.mask->brushStack();
  stack.push_back(qv::Dictionary{{"ID", "BeginStroke"}, {"eraseMode", true}});
  stack.push_back(QVBrushStack::brushAtPoint(0.5, 0.5, 0.1, 100, 0));
  qv::Value bad = QVBrushStack::brushAtPoint(0.2, 0.2, 0.1, 100, 0);
  bad.set("relativePointX", std::nan(""));
  stack.push_back(bad);
  bad = QVBrushStack::brushAtPoint(0.8, 0.8, 0.1, 100, 0);
  bad.set("relativeBrushRadius", INFINITY);
  stack.push_back(bad);
  stack.push_back(QVBrushStack::entry("EndStroke"));
  stack.push_back(qv::Dictionary{{"ID", "DrawRadialGradientID"},
                                 {"relativePointX", 0.5},
                                 {"relativePointY", 0.5},
                                 {"gradientOuterRadius", -INFINITY},
                                 {"gradientAspectRatio", 1.0}});

  Fixture r;
  r.mask->setBrushStack(stack);
  const auto px = r.pixels();
  EXPECT_EQ(px[size_t(30) * 80 + 40], 0.0f);  // erased at the good point
  EXPECT_EQ(px[size_t(48) * 80 + 16], 1.0f);  // the damaged points drew nothing
  EXPECT_EQ(px[size_t(12) * 80 + 64], 1.0f);
  for (const auto& c : *r.calls) EXPECT_EQ(c.find("nan"), std::string::npos) << c;
  EXPECT_NE(std::find(r.calls->begin(), r.calls->end(), "mode 1"), r.calls->end());
}

class ProgressParent : public QVModelObject, public QVParentProtocol {
 public:
  std::vector<QVChangeInfo> willChange;
  std::vector<QVChangeInfo> didChange;
  void childWillChangeState(const std::shared_ptr<QVModelObject>&, const QVChangeInfo& info) override {
    willChange.push_back(info);
  }
  void childDidChangeState(const std::shared_ptr<QVModelObject>&, const QVChangeInfo& info) override {
    didChange.push_back(info);
  }
  void childInvalidated(const std::shared_ptr<QVModelObject>&) override {}
  std::shared_ptr<qv::OperationQueue> parentProcessingQueue() override { return nullptr; }
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return nullptr; }
  std::optional<std::string> fullName() override { return "Layer"; }
};

TEST(QVLayerMask, LongStacksAnnounceProgressAndEmptyStacksReportDeletion) {
  for (size_t n : {250u, 251u}) {
    auto parent = std::make_shared<ProgressParent>();
    auto mask = QVLayerMask::make();
    mask->setParent(parent);
    mask->setBrushStack(qv::Array(n, QVBrushStack::entry("InvertMask")));
    ASSERT_EQ(parent->willChange.size(), n == 251 ? 1u : 0u) << n;
    if (n == 251) {
      EXPECT_EQ(parent->willChange[0][kQVChangeTypeStateInfoKey].asString(), "QVLayerDidChangeStateNotification");
      EXPECT_TRUE(parent->willChange[0]["QVLayerDidChangeStateNeedProgress"].asBool());
    }
  }
  auto parent = std::make_shared<ProgressParent>();
  auto mask = QVLayerMask::make();
  mask->setParent(parent);
  mask->setBrushStack(qv::Array{});  // empty over empty: nothing at all
  EXPECT_TRUE(parent->didChange.empty());
  mask->setBrushStack(qv::Array{QVBrushStack::entry("FillMask")});
  parent->didChange.clear();
  mask->setBrushStack(std::nullopt);
  ASSERT_FALSE(parent->didChange.empty());
  EXPECT_TRUE(parent->didChange.back()["kQVLayerMaskDeleted"].asBool());
  qv::MainExecutor::shared().runUntilIdle();
}

TEST(QVLayerMask, MaskFileRoundTripsBitForBit) {
  TempFolder folder;
  Fixture a(folder.path.string());
  a.stroke(0.4);
  a.mask->generateRadialGradient(CGPointMake(0.3, 0.3), 10, 0.05, 0.3, 0.8, false, false);
  a.mask->applyGradient();
  a.mask->finishDrawing();
  a.mask->saveMaskForce(true);
  ASSERT_TRUE(a.mask->historyMaskName());
  EXPECT_TRUE(a.mask->brushStack().empty());
  const auto name = *a.mask->historyMaskName();
  EXPECT_EQ(qv::pathExtension(name), "rovacompressedmaskdata");
  ASSERT_TRUE(fs::exists(folder.path / name));
  a.mask->saveMask();  // already saved: no second file
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1);

  Fixture b(folder.path.string());
  b.mask->setHistoryMaskName(name);
  const auto original = a.pixels(), loaded = b.pixels();
  ASSERT_EQ(loaded.size(), original.size());
  EXPECT_EQ(std::memcmp(loaded.data(), original.data(), loaded.size() * 4), 0);

  // A missing file counts as no mask.
  b.mask->setHistoryMaskName(std::string("missing.rovacompressedmaskdata"));
  EXPECT_TRUE(b.pixels().empty());
}

TEST(QVLayerMask, RawMaskFilesLoadOnlyWhenTheirSizeMatches) {
  TempFolder folder;
  fs::create_directories(folder.path);
  auto writeRaw = [&](const std::string& name, int32_t w, int32_t h, size_t floats) {
    std::ofstream out(folder.path / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&w), 4);
    out.write(reinterpret_cast<const char*>(&h), 4);
    std::vector<float> values(floats, 0.25f);
    out.write(reinterpret_cast<const char*>(values.data()), std::streamsize(floats * 4));
  };
  writeRaw("good.raw", 80, 60, 80 * 60);
  writeRaw("short.raw", 80, 60, 80 * 60 - 1);
  writeRaw("long.raw", 80, 60, 80 * 60 + 7);
  writeRaw("huge.raw", 1 << 30, 1 << 30, 4);
  Fixture f(folder.path.string());
  f.mask->setHistoryMaskName(std::string("good.raw"));
  auto px = f.pixels();
  ASSERT_EQ(px.size(), 80u * 60u);
  EXPECT_EQ(px[1234], 0.25f);
  for (const char* bad : {"short.raw", "long.raw", "huge.raw"}) {
    f.mask->setHistoryMaskName(std::string(bad));
    EXPECT_TRUE(f.pixels().empty()) << bad;
    EXPECT_EQ(f.mask->historyMaskName(), std::string(bad));  // the name stays
  }
}

TEST(QVLayerMask, FailedMaskWriteKeepsCopyAndIsRetriedOnNextSave) {
  TempFolder folder;
  fs::create_directories(folder.path.parent_path());
  { std::ofstream(folder.path) << "not a folder"; }  // the resources folder cannot be made
  Fixture f(folder.path.string());
  f.stroke(0.5);
  f.mask->finishDrawing();
  f.mask->saveMaskForce(true);
  ASSERT_TRUE(f.mask->historyMaskName());
  const auto name = *f.mask->historyMaskName();
  ASSERT_TRUE(f.mask->historyMaskData());
  EXPECT_TRUE(f.mask->brushStack().empty());
  fs::remove(folder.path);
  f.mask->saveMaskForce(true);  // retried from the kept copy
  ASSERT_TRUE(fs::exists(folder.path / name));
  Fixture g(folder.path.string());
  g.mask->setHistoryMaskName(name);
  EXPECT_EQ(g.pixels(), f.pixels());
  // Saving while drawing writes nothing.
  f.mask->beginStroke();
  f.mask->saveMaskForceWithIgnoreHistoryMaskName();
  EXPECT_EQ(*f.mask->historyMaskName(), name);
  f.mask->endStroke();
}

TEST(QVLayerMask, WritesOfOneMaskFileNeverMixAndLeaveNoTemporaryFiles) {
  TempFolder folder;
  Fixture f(folder.path.string());
  f.stroke(0.4);
  f.mask->finishDrawing();
  // Several saves of one name at once: background writes, then one on this thread.
  for (int i = 0; i < 8; ++i) f.mask->saveMask(false, std::string("SAME"), true);
  f.mask->saveMask(true, std::string("SAME"), true);
  const fs::path file = folder.path / "SAME.rovacompressedmaskdata";
  auto leftovers = [&] {
    return std::count_if(fs::directory_iterator(folder.path), fs::directory_iterator(),
                         [](const fs::directory_entry& e) { return e.path().extension() == ".tmp"; });
  };
  // Whichever write renamed last, the file is one whole mask.
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  auto read = rova::ImageCompressorProxy::uncompressMask(bytes, &error);
  ASSERT_TRUE(read) << error;
  const auto pixels = f.pixels();
  ASSERT_EQ(read->width() * read->height(), int(pixels.size()));
  EXPECT_EQ(std::memcmp(read->values(), pixels.data(), pixels.size() * 4), 0);
  // Writes still running finish without leaving their temporary files.
  for (int i = 0; i < 500 && leftovers() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(leftovers(), 0);
}

}  // namespace

// The setting shows in the render at once; baking moves it into the values and the render must
// then not apply it a second time.
TEST(QVLayerMask, DensityShowsWhileRenderingAndIsAppliedOnceWhenBaked) {
  Fixture f;
  f.mask->fillMask();
  f.mask->setDensity(40);
  f.drain();
  auto cpp = f.layer->cppLayer();
  ASSERT_TRUE(cpp->workingMask());
  EXPECT_FLOAT_EQ(cpp->workingMask()->values()[0], 0.4f);
  EXPECT_FLOAT_EQ(f.pixels()[0], 1.f) << "values change only when baked";

  f.mask->applyFeatherAndDensity();
  EXPECT_FLOAT_EQ(f.pixels()[0], 0.4f);
  EXPECT_EQ(cpp->maskDensity(), 100);
  EXPECT_FLOAT_EQ(cpp->workingMask()->values()[0], 0.4f);
}

TEST(QVLayerMask, MaskPreviewTakesTheUpdateRectangleFromTheBottomLeft) {
  Fixture f;  // 80 x 60
  f.mask->fillMask();
  f.drain();
  auto cpp = f.layer->cppLayer();
  cpp->getMask()->values()[1 * 80 + 2] = 0.25f;  // second row from the top, third column
  cpp->resetMaskCache();
  const CGRect roi = CGRectMake(0, 0, 80, 60);
  const CGSize size = CGSizeMake(40, 30);

  struct Case {
    const char* name;
    CGRect update;
    int width, height;  // 0: no mask data
    float first;
  };
  const Case cases[] = {
      {"zero rectangle: the whole mask", CGRectZero, 80, 60, 1.f},
      {"part, rows counted from the bottom", CGRectMake(2, 58, 3, 1), 3, 1, 0.25f},
      {"clipped to the mask", CGRectMake(78, -4, 10, 6), 2, 2, 1.f},
      {"outside the mask", CGRectMake(100, 100, 5, 5), 0, 0, 0.f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto image = f.mask->obtainMaskPreviewForRoi(roi, size, c.update);
    ASSERT_TRUE(image);
    auto data = image->maskData();
    if (!c.width) {
      EXPECT_FALSE(data);
      EXPECT_EQ(image->size(), size);
      continue;
    }
    ASSERT_TRUE(data);
    EXPECT_EQ(data->width(), c.width);
    EXPECT_EQ(data->height(), c.height);
    EXPECT_FLOAT_EQ(data->row(0)[0], c.first);
  }

  auto whole = f.mask->obtainMaskPreviewForRoi(roi, size, CGRectZero)->maskData();
  EXPECT_NE(whole->data(), cpp->getMask()->values()) << "a copy, not the live values";
  f.mask->setDensity(50);
  f.drain();
  EXPECT_FLOAT_EQ(f.mask->obtainMaskPreviewForRoi(roi, size, CGRectMake(0, 0, 1, 1))->maskData()->row(0)[0], 0.5f)
      << "what the render uses";
  cpp->removeMask();
  auto none = f.mask->obtainMaskPreviewForRoi(roi, size, CGRectZero);
  EXPECT_FALSE(none->maskData());
  EXPECT_EQ(none->size(), size);
}

TEST(QVLayerMask, ImageForRoiIsCutToTheUpdateRectangle) {
  Fixture f;  // 80 x 60
  const CGRect roi = CGRectMake(0, 0, 80, 60);
  auto whole = f.mask->processImageForRoi(roi, CGSizeMake(40, 30), CGRectZero);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), CGSizeMake(40, 30));
  auto part = f.mask->processImageForRoi(roi, CGSizeMake(40, 30), CGRectMake(30, 25, 20, 20));
  ASSERT_TRUE(part);
  EXPECT_EQ(part->size(), CGSizeMake(10, 5)) << "clipped to the output";
  EXPECT_FALSE(f.mask->processImageForRoi(roi, CGSizeMake(0, 30), CGRectZero)) << "empty output";
  EXPECT_FALSE(f.mask->processImageForRoi(roi, CGSizeMake(40, 30), CGRectMake(50, 0, 5, 5)));
}

TEST(QVLayerMask, PreviewIsProcessedOnlyWithRegionSizeAndCallback) {
  Fixture f;  // 80 x 60
  f.mask->fillMask();
  f.drain();
  struct Report {
    bool image = false;
    CGRect roi{}, update{};
    CGSize size{};
  };
  std::vector<Report> previews, masks;
  f.mask->processPreviewIfNeeded();  // no callback: nothing to do
  f.mask->setUpdatePreviewCallback([&](std::shared_ptr<QVIPImage> image, CGRect roi, CGSize size, CGRect update) {
    previews.push_back({bool(image), roi, update, size});
  });
  f.mask->setUpdateMaskPreviewCallback([&](std::shared_ptr<QVIPImage> image, CGRect roi, CGSize size, CGRect update) {
    masks.push_back({image && image->maskData(), roi, update, size});
  });
  f.mask->processPreviewIfNeeded();  // no region or size yet
  f.drain();
  EXPECT_TRUE(previews.empty());

  f.mask->setRoi(CGRectMake(0, 0, 80, 60));
  f.mask->setSize(CGSizeMake(40, 30));
  f.mask->processPreviewIfNeeded();
  f.drain();
  ASSERT_EQ(previews.size(), 1u);
  ASSERT_EQ(masks.size(), 1u);
  EXPECT_TRUE(previews[0].image);
  EXPECT_TRUE(masks[0].image);
  EXPECT_EQ(previews[0].roi, CGRectMake(0, 0, 80, 60));
  EXPECT_EQ(masks[0].size, CGSizeMake(40, 30));
  EXPECT_EQ(previews[0].update, CGRectZero);
}

TEST(QVLayerMask, LowResolutionPreviewHandsOutWhatChangedOnce) {
  Fixture f;  // 80 x 60
  CGRect part{};
  auto none = f.mask->obtainLowResMaskPreviewUpdate(&part);
  if (!f.layer->cppLayer()->hasMask()) {
    EXPECT_FALSE(none->maskData());
    EXPECT_EQ(none->size(), CGSizeMake(500, 500));
  }
  f.mask->fillMask();
  f.drain();
  auto cpp = f.layer->cppLayer();
  auto settings = cpp->transformSettings();
  settings.outputSize = {40, 30};  // half resolution
  cpp->setTransformSettings(settings);
  auto first = f.mask->obtainLowResMaskPreviewUpdate(&part);
  ASSERT_TRUE(first->maskData());
  EXPECT_EQ(part, CGRectMake(0, 0, 40, 30)) << "a whole-mask change: the whole preview";

  cpp->getMask()->values()[10 * 80 + 20] = 0.f;
  cpp->maskPixelsChanged({20, 10, 4, 2});
  auto update = f.mask->obtainLowResMaskPreviewUpdate(&part);
  EXPECT_EQ(part, CGRectMake(10, 5, 2, 1)) << "the changed part, scaled to the preview";
  EXPECT_EQ(update->maskData()->width(), 2);

  f.mask->obtainLowResMaskPreviewUpdate(&part);
  EXPECT_EQ(part, CGRectMake(0, 0, 40, 30)) << "read and cleared: nothing changed reports the whole";
}

namespace {

// A white picture as the masked layer: over the black picture below, the render shows the mask.
std::shared_ptr<QVIPLayer> whiteLayer(int w, int h) {
  auto white = rova::ImageDataRGBf::create(w, h);
  std::fill(white->floats(), white->floats() + white->pixelCount() * 3, 1.0f);
  return QVIPLayer::initWithImageData(white);
}

struct Shown {
  std::shared_ptr<QVIPImage> image;
  CGRect roi{}, update{};
  CGSize size{};
};

TEST(QVLayerMask, EachBatchHandsTheChangedPartToThePreviews) {
  Fixture f({}, 80, 60, whiteLayer(80, 60));
  const CGRect roi = CGRectMake(0, 0, 80, 60);
  const CGSize size = CGSizeMake(40, 30);
  f.mask->setRoi(roi);
  f.mask->setSize(size);
  std::vector<Shown> previews, masks, lowRes;
  auto keep = [](std::vector<Shown>& into) {
    return [&into](std::shared_ptr<QVIPImage> image, CGRect r, CGSize s, CGRect u) {
      into.push_back({image, r, u, s});
    };
  };
  f.mask->setUpdatePreviewCallback(keep(previews));
  f.mask->setUpdateMaskPreviewCallback(keep(masks));
  f.mask->setUpdateLowResMaskPreviewCallback(keep(lowRes));
  int strokeReports = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVLayerMaskDidChangeNotification, f.layer->notificationSender(), [&](const qv::Notification& n) {
        if (n.info(kQVLayerMaskChangeType).asString() == kQVLayerMaskStroke) ++strokeReports;
      });

  f.mask->beginStroke();
  f.drain();
  ASSERT_EQ(previews.size(), 1u) << "a stroke begins with the whole region";
  EXPECT_EQ(previews[0].update, CGRectZero);
  const auto before = f.mask->processImageForRoi(roi, size, CGRectZero)->imageData();
  const qv::Date t0 = qv::Date::now();
  for (int i = 0; i <= 6; ++i)
    f.mask->updateAtRelativePoint(CGPointMake(0.3 + 0.05 * i, 0.5), 0.05, 100, 0,
                                  qv::Date{t0.secondsSinceReferenceDate});
  f.mask->endStroke();
  f.drain();
  const auto after = f.mask->processImageForRoi(roi, size, CGRectZero)->imageData();

  ASSERT_GE(previews.size(), 2u);
  EXPECT_EQ(int(previews.size()) - 1, strokeReports) << "one report per batch";
  EXPECT_EQ(masks.size(), previews.size() - 1);
  ASSERT_EQ(lowRes.size(), previews.size() - 1);
  // Every output pixel the stroke changed lies in a reported rectangle (bottom-left origin).
  auto reported = [&](int x, int y) {
    return std::any_of(previews.begin() + 1, previews.end(), [&](const Shown& s) {
      return CGRectContainsPoint(s.update, CGPointMake(x + 0.5, 30 - y - 0.5));
    });
  };
  int changed = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (!(before->at(x, y) == after->at(x, y))) {
        ++changed;
        EXPECT_TRUE(reported(x, y)) << x << "," << y;
      }
  EXPECT_GT(changed, 20);
  const Shown& last = previews.back();
  EXPECT_LT(last.update.size.width * last.update.size.height, 40 * 30 / 2) << "only a part";
  const auto part = f.mask->processImageForRoi(roi, size, last.update)->imageData();
  const auto shown = last.image->imageData();
  ASSERT_TRUE(shown);
  EXPECT_TRUE(std::equal(shown->floats(), shown->floats() + shown->pixelCount() * 3, part->floats()));
  // The mask preview covers every painted mask pixel (canvas pixels, bottom-left origin).
  const auto values = f.pixels();
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x)
      if (values[size_t(y) * 80 + x] > 0) {
        EXPECT_TRUE(std::any_of(
            masks.begin(), masks.end(),
            [&](const Shown& s) { return CGRectContainsPoint(s.update, CGPointMake(x + 0.5, 60 - y - 0.5)); }))
            << x << "," << y;
      }
  EXPECT_TRUE(lowRes.back().image->maskData());
  EXPECT_EQ(lowRes.back().roi, CGRectZero);
  EXPECT_EQ(lowRes.back().size, CGSizeZero);

  // Replaying the stroke reports once at the end, with no per-batch previews.
  Fixture r({}, 80, 60, whiteLayer(80, 60));
  std::vector<Shown> replayPreviews;
  r.mask->setRoi(roi);
  r.mask->setSize(size);
  r.mask->setUpdatePreviewCallback(keep(replayPreviews));
  r.mask->setBrushStack(f.mask->brushStack());
  EXPECT_EQ(r.pixels(), values);
  EXPECT_TRUE(replayPreviews.empty());
}

TEST(QVLayerMask, ANewerGradientDragReplacesOneStillWaitingButNotAnotherStrokes) {
  Fixture f;
  f.mask->fillMask();
  f.mask->createBrushController();
  f.drain();
  f.calls->clear();
  f.processor->queue->setSuspended(true);
  f.mask->generateGradient(0.2, CGPointMake(0.2, 0.5), 0, true, false);
  f.mask->generateGradient(0.2, CGPointMake(0.4, 0.5), 0, true, false);
  f.mask->generateGradient(0.2, CGPointMake(0.5, 0.5), 0, false, false);
  f.mask->applyGradient();
  f.mask->generateGradient(0.2, CGPointMake(0.7, 0.5), 90, false, true);
  f.mask->applyGradient();
  f.processor->queue->setSuspended(false);
  f.drain();
  std::vector<std::string> gradients;
  for (const auto& c : *f.calls)
    if (c.rfind("linear", 0) == 0) gradients.push_back(c);
  ASSERT_EQ(gradients.size(), 2u) << "the two drags were replaced; both applied gradients drawn";
  EXPECT_EQ(gradients[0].rfind("linear 0.5", 0), 0u) << gradients[0];
  EXPECT_EQ(gradients[1].rfind("linear subtract 0.69", 0), 0u) << gradients[1];
}

TEST(QVLayerMask, PolygonsFillWithTheNonZeroRule) {
  Fixture f;
  int reports = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVLayerMaskDidChangeNotification, f.mask->notificationSender(), [&](const qv::Notification&) { ++reports; });
  // A 6 x 4 square at (2, 1) and, drawn the same way, a smaller one inside it: no hole.
  QVPolygonPath path;
  for (const auto& square : {CGRectMake(2, 1, 6, 4), CGRectMake(4, 2, 2, 2)}) {
    path.moveTo(square.origin);
    path.lineTo(CGPointMake(CGRectGetMaxX(square), square.origin.y));
    path.lineTo(CGPointMake(CGRectGetMaxX(square), CGRectGetMaxY(square)));
    path.lineTo(CGPointMake(square.origin.x, CGRectGetMaxY(square)));
    path.closePath();
  }
  QVIPMask::Ptr made;
  f.mask->generatePolygon(path, CGSizeMake(10, 7), CGRectZero, [&](QVIPMask::Ptr m) {
    made = m;
    return false;
  });
  ASSERT_TRUE(made && made->hasBuffer());
  EXPECT_EQ(made->size(), CGSizeMake(10, 7));
  std::string rows;
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 10; ++x) rows += made->valueAt(x, y) == 1.f ? '#' : '.';
    rows += '\n';
  }
  EXPECT_EQ(rows,
            "..........\n"
            "..######..\n"
            "..######..\n"
            "..######..\n"
            "..######..\n"
            "..........\n"
            "..........\n");
  EXPECT_TRUE(path.containsPoint(CGPointMake(5, 3)));
  EXPECT_FALSE(path.containsPoint(CGPointMake(9, 3)));
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(reports, 0) << "the callback said no";
  f.mask->generatePolygon(path, CGSizeMake(10, 7), CGRectZero, [](QVIPMask::Ptr) { return true; });
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_GT(reports, 0);
}

}  // namespace
