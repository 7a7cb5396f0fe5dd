// Layer textures over a real engine processor: loading PNG files with their result codes, the
// scale modes' numbers, the free transform round trip and the texture cache file.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "common/TestSupport.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;
namespace fs = std::filesystem;

namespace {

// A history whose resources folder is real. By default nothing is cached by copying, so the
// writer falls back to the compressed cache file; with `copies` files are copied in as the edit
// history does.
class ResourcesHistory : public FakeHistory {
 public:
  explicit ResourcesHistory(fs::path dir) : dir_(std::move(dir)) {}
  std::string resourcesPath() override { return dir_.string(); }
  std::optional<std::string> cachedPathForTextureWithPath(const std::string& path) override {
    auto it = copied.find(path);
    return it == copied.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  std::optional<std::string> updateCacheTextureWithPath(const std::string& path) override {
    cachedRequests.push_back(path);
    if (!copies) return std::nullopt;
    if (auto cached = cachedPathForTextureWithPath(path)) return cached;
    const std::string target = (dir_ / ("copy-" + fs::path(path).filename().string())).string();
    std::error_code error;
    if (!fs::copy_file(path, target, error)) return std::nullopt;
    return copied[path] = target;
  }
  bool applyingHistoryLevel() const override { return applying; }
  bool copies = false;
  bool applying = false;
  std::map<std::string, std::string> copied;

 private:
  fs::path dir_;
};

// A w x h PNG whose left half is red and right half green.
std::string writePng(const fs::path& dir, const std::string& name, size_t w, size_t h) {
  auto data = std::make_shared<std::vector<uint8_t>>(w * h * 3);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) (*data)[(y * w + x) * 3 + (x < w / 2 ? 0 : 1)] = 255;
  auto image =
      CGImageCreate(w, h, 8, 24, w * 3, CGColorSpaceCreateWithName(kCGColorSpaceSRGB), kCGImageAlphaNone, data);
  const std::string path = (dir / name).string();
  auto dest = CGImageDestinationCreateWithURL(path, kUTTypePNG, 1);
  CGImageDestinationAddImage(dest, image);
  EXPECT_TRUE(CGImageDestinationFinalize(dest));
  return path;
}

struct Fixture {
  fs::path dir = makeTempDir("textures");
  std::shared_ptr<ResourcesHistory> history = std::make_shared<ResourcesHistory>(dir / "resources");
  std::shared_ptr<TestProcessor> processor = TestProcessor::make(history);
  LayerPtr layer = QVIPLayer::initWithDefaultSettings();

  explicit Fixture(int canvasW = 200, int canvasH = 200) {
    fs::create_directories(dir / "resources");
    auto engineImage =
        std::make_shared<rova::ImageLayer>(rova::Image::make(rova::ImageDataRGBf::create(canvasW, canvasH)));
    processor->engine->addLayer(engineImage);
    processor->setInitialLayer(
        QVIPLayer::initWithCPPLayer(engineImage, processor->weakAs<QVParentLayerProtocol>(), processor->engine));
    processor->addLayer(layer);
    layer->setName("Texture layer");
    drain();
  }
  void drain() {
    for (int i = 0; i < 4; ++i) {
      processor->waitForQueue();
      qv::MainExecutor::shared().runUntilIdle();
    }
  }
  std::pair<bool, int64_t> load(const std::string& path) {
    std::pair<bool, int64_t> result{false, -1};
    layer->setTextureFromURL(path, [&](bool loaded, int64_t reason) { result = {loaded, reason}; });
    drain();
    return result;
  }
  rova::AffineTransform engineTransform() {
    rova::AffineTransform t;
    processor->performOnImageProcessingQueue([&] { t = layer->cppLayer()->transformSettings().transform; }, true);
    return t;
  }
  void fit(uint64_t mode) {
    processor->performOnImageProcessingQueue([&] { layer->adjustTransformForScaleMode(mode); }, true);
  }
};

void expectTransform(const rova::AffineTransform& t, double sx, double sy, double tx, double ty) {
  EXPECT_FLOAT_EQ(t.a, sx);
  EXPECT_FLOAT_EQ(t.d, sy);
  EXPECT_FLOAT_EQ(t.b, 0);
  EXPECT_FLOAT_EQ(t.c, 0);
  EXPECT_FLOAT_EQ(t.tx, tx);
  EXPECT_FLOAT_EQ(t.ty, ty);
}

}  // namespace

TEST(Textures, APngLoadsAndFitsByStretchFillAndFit) {
  Fixture f;
  const auto result = f.load(writePng(f.dir, "paper.png", 400, 200));
  EXPECT_EQ(result, (std::pair<bool, int64_t>{true, 0}));
  ASSERT_FALSE(f.history->steps.empty());
  EXPECT_EQ(f.history->steps.back().actionName, "Add texture paper.png");
  EXPECT_FALSE(f.layer->isAdjustmentLayer());
  EXPECT_EQ(f.layer->cppLayer()->kind(), rova::kLayerKindImage);
  EXPECT_EQ(f.layer->textureScaleMode(), 1u);
  EXPECT_EQ(f.layer->imageSize().width, 400);
  EXPECT_EQ(f.processor->counter, 0);
  EXPECT_FALSE(f.processor->suspended);
  // Stretch: each axis on its own; the platform transform read back says the same.
  expectTransform(f.engineTransform(), 0.5, 1.0, 0, 0);
  ASSERT_TRUE(f.layer->affineTransform());
  EXPECT_DOUBLE_EQ(f.layer->affineTransform()->a, 0.5);
  f.fit(2);  // fill: the larger factor, centred
  expectTransform(f.engineTransform(), 1.0, 1.0, -100, 0);
  f.fit(3);  // fit: the smaller factor, centred
  expectTransform(f.engineTransform(), 0.5, 0.5, 0, 50);
}

TEST(Textures, FilesThatCannotBeTexturesChangeNothing) {
  Fixture f;
  std::ofstream(f.dir / "garbage.png") << "not a picture at all";
  struct Case {
    std::string path;
    int64_t reason;
  } cases[] = {
      {(f.dir / "missing.png").string(), 0},
      {(f.dir / "garbage.png").string(), 1},
      {writePng(f.dir, "narrow.png", 49, 50), 2},
      {writePng(f.dir, "low.png", 50, 49), 2},
  };
  const size_t stepsBefore = f.history->steps.size();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(f.load(c.path), (std::pair<bool, int64_t>{false, c.reason}));
    EXPECT_EQ(f.history->steps.size(), stepsBefore);
    EXPECT_TRUE(f.layer->isAdjustmentLayer());
    EXPECT_FALSE(f.layer->textureURL());
    EXPECT_EQ(f.processor->counter, 0);
  }
  EXPECT_EQ(f.load(writePng(f.dir, "square.png", 50, 50)), (std::pair<bool, int64_t>{true, 0}));
}

TEST(Textures, FreeTransformRoundTripsThroughTheEngine) {
  Fixture f(300, 100);
  f.load(writePng(f.dir, "t.png", 60, 80));
  const size_t steps = f.history->steps.size();
  const CGAffineTransform m{0.5, 0.25, -0.25, 2, 30, -12};
  f.layer->setAffineTransform(m);
  f.layer->setAffineTransform(m);  // the same again: no change
  EXPECT_EQ(f.history->steps.size(), steps + 1);
  EXPECT_EQ(f.history->steps.back().actionName, "Free Transform Tool: Apply");
  EXPECT_EQ(f.layer->textureScaleMode(), 0u);
  f.drain();
  std::optional<CGAffineTransform> back;
  f.processor->performOnImageProcessingQueue([&] { back = f.layer->getAffineTransformFromCppLayer(); }, true);
  ASSERT_TRUE(back);
  for (auto [got, want] :
       {std::pair{back->a, m.a}, {back->b, m.b}, {back->c, m.c}, {back->d, m.d}, {back->tx, m.tx}, {back->ty, m.ty}})
    EXPECT_NEAR(got, want, 1e-4);
  // A bottom-left point of the texture lands where the platform transform puts it, flipped into
  // the engine's top-left canvas: source (0, 0) bottom-left is engine (0, 80).
  const rova::AffineTransform e = QVIPLayer::engineTransformForAffineTransform(m, 100, 80);
  double x, y;
  e.apply(0, 80, x, y);
  EXPECT_NEAR(x, m.tx, 1e-4);
  EXPECT_NEAR(y, 100 - m.ty, 1e-4);
}

TEST(Textures, CacheFileRoundTripsAndAMissingOneDeletesTheTexture) {
  Fixture f;
  f.load(writePng(f.dir, "cached.png", 64, 52));
  f.layer->saveImageOrTexture();
  ASSERT_TRUE(f.layer->historyTextureName());
  const std::string name = *f.layer->historyTextureName();
  EXPECT_EQ(fs::path(name).extension(), ".rovacompressedimagedata");
  ASSERT_TRUE(fs::exists(f.dir / "resources" / name));

  // Another document restores the texture from the file alone.
  Fixture other;
  fs::copy_file(f.dir / "resources" / name, other.dir / "resources" / name);
  other.layer->setHistoryTextureName(name);
  other.drain();
  EXPECT_FALSE(other.layer->isAdjustmentLayer());
  rova::ImagePtr original, restored;
  f.processor->performOnImageProcessingQueue(
      [&] { original = std::static_pointer_cast<rova::ImageLayer>(f.layer->cppLayer())->getSourceImage(); }, true);
  other.processor->performOnImageProcessingQueue(
      [&] { restored = std::static_pointer_cast<rova::ImageLayer>(other.layer->cppLayer())->getSourceImage(); }, true);
  ASSERT_TRUE(original && restored);
  ASSERT_EQ(restored->size(), original->size());
  auto a = original->imageData(), b = restored->imageData();
  EXPECT_EQ(0, std::memcmp(a->floats(), b->floats(), a->byteCount()));

  // A second layer of the same document takes the image from the first (no file read).
  auto twin = QVIPLayer::initWithDefaultSettings();
  f.processor->addLayer(twin);
  twin->setAmount(0.4);
  fs::remove(f.dir / "resources" / name);
  twin->setHistoryTextureName(name);
  f.drain();
  EXPECT_FALSE(twin->isAdjustmentLayer());
  EXPECT_EQ(twin->historyTextureName(), name);
  EXPECT_DOUBLE_EQ(twin->amount(), 0.4);  // the layer's own settings stay

  // A name whose file is missing leaves the layer without name and, without URL, without texture;
  // a name that is a path is never read.
  for (const std::string bad : {"gone.rovacompressedimagedata", "../escape.rovacompressedimagedata"}) {
    Fixture g;
    g.load(writePng(g.dir, "x.png", 60, 60));
    const size_t steps = g.history->steps.size();
    g.layer->setHistoryTextureName(bad);
    g.drain();
    EXPECT_FALSE(g.layer->historyTextureName());
    EXPECT_TRUE(g.layer->isAdjustmentLayer());
    // The deletion, then the fitted transform dropped with the pixels (one step in a real history,
    // which records the first registration of a main-loop pass).
    ASSERT_EQ(g.history->steps.size(), steps + 2);
    EXPECT_EQ(g.history->steps[steps].actionName, "Texture layer: Delete texture");
    EXPECT_EQ(g.history->steps[steps + 1].actionName, "Free Transform Tool: Apply");
    EXPECT_FALSE(g.layer->affineTransform());
    EXPECT_EQ(g.layer->textureScaleMode(), 0u);
  }
}

TEST(Textures, CancellingReadsStopsOnlyThatDocumentsReads) {
  Fixture a, b;
  const std::string png = writePng(a.dir, "shared.png", 60, 60);
  a.layer->setReadImageCanceled(true);
  EXPECT_EQ(a.load(png), (std::pair<bool, int64_t>{false, 1}));
  EXPECT_EQ(b.load(png), (std::pair<bool, int64_t>{true, 0}));  // the other document reads on
  a.layer->setReadImageCanceled(false);
  EXPECT_EQ(a.load(png), (std::pair<bool, int64_t>{true, 0}));
}

TEST(Textures, StretchFollowsTheOriginalOrientation) {
  // A 200 x 400 picture turned by orientation 6 makes a 400 x 200 canvas; a 200 x 400 texture
  // turned the same way covers it exactly, scaled by 1 on both axes.
  Fixture f(200, 400);
  f.processor->performOnImageProcessingQueue([&] { f.processor->engine->setOrientation(6); }, true);
  ASSERT_EQ(f.processor->canvasSize().width, 400);
  ASSERT_EQ(f.load(writePng(f.dir, "tall.png", 200, 400)), (std::pair<bool, int64_t>{true, 0}));
  const rova::AffineTransform t = f.engineTransform();
  double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
  for (auto [x, y] : {std::pair{0.0, 0.0}, {200.0, 0.0}, {0.0, 400.0}, {200.0, 400.0}}) {
    double ox, oy;
    t.apply(x, y, ox, oy);
    minX = std::min(minX, ox), maxX = std::max(maxX, ox), minY = std::min(minY, oy), maxY = std::max(maxY, oy);
  }
  EXPECT_NEAR(minX, 0, 1e-3);
  EXPECT_NEAR(maxX, 400, 1e-3);
  EXPECT_NEAR(minY, 0, 1e-3);
  EXPECT_NEAR(maxY, 200, 1e-3);
  EXPECT_NEAR(std::hypot(t.a, t.b), 1.0, 1e-6);  // unit scale along each axis
  EXPECT_NEAR(std::hypot(t.c, t.d), 1.0, 1e-6);
}

TEST(Textures, OrientationReachesSublayersAndUnfitsTheTexture) {
  Fixture f;
  auto child = QVIPLayer::initWithDefaultSettings();
  f.layer->addLayer(child);
  f.load(writePng(f.dir, "t.png", 60, 60));
  const size_t steps = f.history->steps.size();
  f.layer->setImageOrientation(6);
  EXPECT_EQ(child->imageOrientation(), 6u);
  EXPECT_EQ(f.layer->textureScaleMode(), 0u);
  ASSERT_EQ(f.history->steps.size(), steps + 1);
  EXPECT_EQ(f.history->steps.back().actionName, "Texture layer: Texture Scale Mode Changed");
  f.layer->setImageOrientation(6);
  f.layer->setImageOrientation(3);  // already unfitted: nothing more to record
  EXPECT_EQ(f.history->steps.size(), steps + 1);
}

TEST(Textures, FittedPreviewOfTheLayersPixels) {
  Fixture f(200, 100);
  f.load(writePng(f.dir, "wide.png", 200, 100));
  std::shared_ptr<QVIPImage> preview;
  bool called = false;
  f.layer->imageLayerPreviewFitToSize(CGSizeMake(50, 50), [&](std::shared_ptr<QVIPImage> image) {
    called = true;
    preview = image;
  });
  f.drain();
  ASSERT_TRUE(called);
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->imageWidth(), 50u);
  EXPECT_EQ(preview->imageHeight(), 25u);
  // Red on the left, green on the right, as in the file.
  auto data = preview->imageData();
  ASSERT_TRUE(data);
  EXPECT_GT(data->at(2, 12).r, 0.5f);
  EXPECT_GT(data->at(47, 12).g, 0.5f);
  // A layer without pixels completes with none.
  bool emptyCalled = false;
  QVIPLayer::initWithDefaultSettings()->imageLayerPreviewFitToSize(CGSizeMake(50, 50),
                                                                   [&](auto image) { emptyCalled = !image; });
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_TRUE(emptyCalled);
}

TEST(Textures, AFirstTextureIsCachedAndLaterOnesAreReadWhereTheyAre) {
  Fixture f;
  f.history->copies = true;
  const std::string first = writePng(f.dir, "first.png", 60, 60);
  ASSERT_EQ(f.load(first), (std::pair<bool, int64_t>{true, 0}));
  EXPECT_EQ(f.layer->textureURL(), first);
  EXPECT_TRUE(fs::exists(f.dir / "resources" / "copy-first.png"));
  EXPECT_FALSE(f.layer->historyTextureName());  // the file copy is the cache

  // The copy is what another layer of the document reads for that file: the original may be gone
  // by then.
  fs::remove(first);
  auto other = QVIPLayer::initWithDefaultSettings();
  f.processor->addLayer(other);
  std::pair<bool, int64_t> result;
  other->setTextureFromURL(first, [&](bool loaded, int64_t reason) { result = {loaded, reason}; });
  f.drain();
  EXPECT_EQ(result, (std::pair<bool, int64_t>{true, 0}));
  EXPECT_EQ(other->textureURL(), first);
  const size_t steps = f.history->steps.size();
  f.layer->setTextureURL(first);  // the URL it has already: nothing
  f.drain();
  EXPECT_EQ(f.history->steps.size(), steps);

  // A second texture is read from its own file; the layer keeps its first URL.
  const size_t requests = f.history->cachedRequests.size();
  ASSERT_EQ(f.load(writePng(f.dir, "second.png", 80, 60)), (std::pair<bool, int64_t>{true, 0}));
  EXPECT_EQ(f.layer->textureURL(), first);
  EXPECT_EQ(f.layer->imageSize().width, 80);
  EXPECT_EQ(f.history->cachedRequests.size(), requests);

  // A history step without texture name, restored over the cached texture, takes it away (undo
  // of adding it).
  f.layer->setHistoryTextureName(std::nullopt);
  f.drain();
  EXPECT_FALSE(f.layer->textureURL());
  EXPECT_TRUE(f.layer->isAdjustmentLayer());
}

TEST(Textures, NamedSettersRecordRefitAndReport) {
  Fixture f;
  auto child = QVIPLayer::initWithDefaultSettings();
  f.layer->addLayer(child);
  const std::string png = writePng(f.dir, "wide.png", 400, 200);
  f.layer->setTextureURL(png);  // another URL: loaded as the texture
  f.drain();
  ASSERT_EQ(f.layer->textureURL(), png);
  EXPECT_EQ(f.history->steps.back().actionName, "Add texture wide.png");

  // The scale mode's own setter refits: fill of a 400 x 200 texture on 200 x 200.
  size_t steps = f.history->steps.size();
  f.layer->setTextureScaleMode(2);
  f.layer->setTextureScaleMode(2);  // the same again: no change
  f.drain();
  ASSERT_EQ(f.history->steps.size(), steps + 1);
  EXPECT_EQ(f.history->steps.back().actionName, "Texture layer: Texture Scale Mode Changed");
  expectTransform(f.engineTransform(), 1.0, 1.0, -100, 0);
  ASSERT_TRUE(f.layer->affineTransform());
  EXPECT_DOUBLE_EQ(f.layer->affineTransform()->a, 1.0);
  ASSERT_FALSE(f.processor->reports.empty());
  EXPECT_EQ(f.processor->reports.back().info.changeType(), kQVLayerDidChangeTransformNotification);

  // A crop change unfits the texture (scale mode 0) once, reaches the sublayers and leaves the
  // engine transform alone.
  auto crop = std::make_shared<QVTCropDescription>();
  crop->setCropRect(CGRectMake(10, 10, 100, 80));
  steps = f.history->steps.size();
  f.layer->setCropDescription(crop);
  EXPECT_EQ(f.layer->textureScaleMode(), 0u);
  EXPECT_EQ(child->cropDescription(), crop);
  ASSERT_EQ(f.history->steps.size(), steps + 1);
  EXPECT_EQ(f.history->steps.back().actionName, "Texture layer: Texture Scale Mode Changed");
  auto same = std::make_shared<QVTCropDescription>();
  same->setCropRect(CGRectMake(10, 10, 100, 80));
  f.layer->setCropDescription(same);  // an equal crop: no change
  EXPECT_EQ(f.layer->cropDescription(), crop);
  auto other = std::make_shared<QVTCropDescription>();
  other->setCropRect(CGRectMake(0, 0, 50, 50));
  f.layer->setCropDescription(other);  // already unfitted: nothing to record
  EXPECT_EQ(f.layer->cropDescription(), other);
  EXPECT_EQ(f.history->steps.size(), steps + 1);
  f.drain();
  expectTransform(f.engineTransform(), 1.0, 1.0, -100, 0);
}

TEST(Textures, ConfiguringWithAnImageReplacesTheEngineLayerInPlace) {
  Fixture f;
  ASSERT_EQ(f.load(writePng(f.dir, "old.png", 64, 52)), (std::pair<bool, int64_t>{true, 0}));
  const int64_t index = f.processor->engine->layerIndex(f.layer->cppLayer());
  ASSERT_GE(index, 0);
  f.layer->setAmount(0.4);
  int configured = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver("kQVLayerDidConfigureWithImageNotification",
                                                                   f.layer->notificationSender(),
                                                                   [&](const qv::Notification&) { ++configured; });

  EXPECT_FALSE(f.layer->configureWithImage(nullptr));
  ASSERT_TRUE(f.layer->configureWithImage(rova::Image::make(rova::ImageDataRGBf::create(80, 30))));
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(configured, 1);
  EXPECT_EQ(f.processor->engine->layerIndex(f.layer->cppLayer()), index);
  EXPECT_EQ(f.layer->cppLayer()->kind(), rova::kLayerKindImage);
  EXPECT_EQ(f.layer->imageSize().width, 80);
  EXPECT_EQ(f.layer->width(), 80);
  EXPECT_EQ(f.layer->height(), 30);
  EXPECT_DOUBLE_EQ(f.layer->amount(), 1.0);
  EXPECT_TRUE(f.layer->isEnabled());
  EXPECT_FALSE(f.layer->isAdjustmentLayer());
  // The pixels shown before went to the texture cache first.
  ASSERT_TRUE(f.layer->historyTextureName());
  std::ifstream in(f.dir / "resources" / *f.layer->historyTextureName(), std::ios::binary);
  auto cached = QVRovaHelper::rovaImagePtrFromRovacompressedimagedata({std::istreambuf_iterator<char>(in), {}});
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->size(), (rova::Size{64, 52}));
}

TEST(Textures, LayersMadeFromFilesDataAndImages) {
  auto dir = makeTempDir("image-layers");
  const std::string png = writePng(dir, "picture.png", 60, 40);
  std::ofstream(dir / "garbage.png") << "not a picture";

  auto fromFile = QVIPLayer::initWithURL(png);
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(fromFile->textureURL(), png);
  EXPECT_FALSE(fromFile->isAdjustmentLayer());
  EXPECT_EQ(fromFile->cppLayer()->kind(), rova::kLayerKindImage);
  EXPECT_EQ(fromFile->imageSize().height, 40);
  EXPECT_FALSE(QVIPLayer::initWithURL((dir / "missing.png").string()));

  // An unreadable file leaves the layer with the engine layer it had.
  auto layer = QVIPLayer::initWithDefaultSettings();
  const rova::BaseLayerPtr before = layer->cppLayer();
  EXPECT_FALSE(layer->configureWithImageAtURL((dir / "garbage.png").string()));
  EXPECT_EQ(layer->cppLayer(), before);
  EXPECT_TRUE(layer->isAdjustmentLayer());

  auto fromData = QVIPLayer::initWithImageData(rova::ImageDataRGBf::create(7, 5));
  ASSERT_TRUE(fromData);
  EXPECT_EQ(fromData->layerRect().size.width, 7);
  EXPECT_FALSE(QVIPLayer::initWithImageData(nullptr));
  EXPECT_FALSE(QVIPLayer::initWithImage(nullptr));
}

TEST(Textures, CopyingALayersSettingsLoadsItsTexture) {
  Fixture f;
  const std::string png = writePng(f.dir, "copied.png", 100, 50);
  ASSERT_EQ(f.load(png), (std::pair<bool, int64_t>{true, 0}));
  f.layer->setMaskEnabled(false);
  f.drain();
  auto copy = QVIPLayer::initWithDefaultSettings();
  f.processor->addLayer(copy);
  copy->copyParamsFromLayer(f.layer);
  f.drain();
  EXPECT_EQ(copy->textureURL(), png);
  EXPECT_FALSE(copy->isAdjustmentLayer());
  EXPECT_FALSE(copy->maskEnabled());
  EXPECT_EQ(copy->imageSize().width, 100);
  bool useMask = true;
  f.processor->performOnImageProcessingQueue([&] { useMask = copy->cppLayer()->isUseMask(); }, true);
  EXPECT_FALSE(useMask);
}

TEST(Textures, ALoadWhileAHistoryLevelIsAppliedEndsWithinTheCall) {
  Fixture f;
  f.history->applying = true;
  std::pair<bool, int64_t> result{false, -1};
  f.layer->setTextureFromURL(writePng(f.dir, "restored.png", 60, 80), [&](bool loaded, int64_t reason) {
    result = {loaded, reason};
  });
  EXPECT_EQ(result, (std::pair<bool, int64_t>{true, 0}));  // nothing drained
  EXPECT_EQ(f.layer->textureScaleMode(), 1u);
  EXPECT_EQ(f.layer->cppLayer()->kind(), rova::kLayerKindImage);
  EXPECT_EQ(f.processor->counter, 0);
  EXPECT_FALSE(f.processor->suspended);
}

TEST(Textures, ALayerGoneDuringItsLoadStillReleasesTheProcessor) {
  Fixture f;
  const std::string png = writePng(f.dir, "late.png", 60, 60);
  auto leaving = QVIPLayer::initWithDefaultSettings();
  f.processor->addLayer(leaving);
  bool called = false;
  leaving->setTextureFromURL(png, [&](bool, int64_t) { called = true; });
  EXPECT_EQ(f.processor->counter, 1);
  f.processor->stack.pop_back();
  leaving.reset();
  f.drain();
  EXPECT_FALSE(called);
  EXPECT_EQ(f.processor->counter, 0);
  EXPECT_FALSE(f.processor->suspended);
}
