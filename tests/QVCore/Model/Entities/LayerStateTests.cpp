// Layer states: snapshots of a layer tree, their dictionary, reading with defaults, applying to a
// live tree (develop layer of RAW pictures, sublayer trimming, transform rescaling, textures).
#include <gtest/gtest.h>

#include <cmath>

#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"

using namespace solvane::test;
using LayerPtr = std::shared_ptr<QVIPLayer>;

namespace {

// A processor whose picture has a chosen size.
struct SizedProcessor : TestProcessor {
  CGSize size{1000, 500};
  CGSize canvasSize() override { return size; }
};

// A layer of a RAW picture: its first sublayer, when it is the develop layer, is its develop layer.
struct RawLayer : QVIPLayer {
  bool isRaw() const override { return true; }
};

LayerPtr catalogueLayer(const std::string& identifier) {
  return QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(identifier);
}

// A parameter moved half-way from its default towards its maximum (or minimum).
double nudge(const std::shared_ptr<QVEffectParameterProtocol>& p) {
  double target = p->maxValue() > p->defaultValue() ? (p->defaultValue() + p->maxValue()) / 2
                                                    : (p->defaultValue() + p->minValue()) / 2;
  target = double(float(target));
  p->setValue(target);
  return target;
}

bool hasKeyAtAnyDepth(const qv::Value& v, const std::string& key) {
  if (const auto* d = v.dictionary()) {
    if (d->count(key)) return true;
    for (const auto& [k, child] : *d)
      if (k != QVLayerStateKeys::kEffectsArray && hasKeyAtAnyDepth(child, key)) return true;
  }
  if (const auto* a = v.array())
    for (const auto& child : *a)
      if (hasKeyAtAnyDepth(child, key)) return true;
  return false;
}

struct LayerStateTest : ::testing::Test {
  std::vector<std::shared_ptr<TestProcessor>> processors;
  LayerStateTest() { QVLayerState::registerAsLayerStateMaker(); }
  // Engine work still queued must finish before the processors go.
  ~LayerStateTest() override {
    for (const auto& p : processors) p->waitForQueue();
  }
  std::shared_ptr<SizedProcessor> sizedProcessor(CGSize size) {
    auto p = std::make_shared<SizedProcessor>();
    p->size = size;
    processors.push_back(p);
    return p;
  }

  // "Photo" holding the develop layer (always first) with its own sublayers, Exposure (nudged,
  // 30 % opacity, Multiply) and a hidden Sharpen; the top layer has a transform and a preset identity.
  LayerPtr buildTree(TestProcessor& processor) {
    auto photo = namedLayer("Photo");
    processor.addLayer(photo);
    auto exposure = catalogueLayer("ExposureAdjustmentLayer");
    auto sharpen = catalogueLayer("SharpenAdjustmentLayer");
    auto develop = catalogueLayer("DevelopAdjustmentLayer");
    photo->addLayer(exposure);
    photo->addLayer(sharpen);
    photo->addLayer(develop);
    nudge(exposure->effects().at(0)->parameters().at(0));
    exposure->setAmount(0.3);
    exposure->setBlendMode(QVBlendMode::blendModeWithIdentifier("Multiply"));
    sharpen->setHidden(true);
    nudge(develop->subLayers().at(0)->effects().at(0)->parameters().at(0));
    photo->setAffineTransform(CGAffineTransform{1.5, 0, 0, 1.5, 10, 20});
    photo->setPresetUUID("preset-1");
    return photo;
  }
  std::shared_ptr<QVLayerState> stateOf(const LayerPtr& layer) {
    return std::dynamic_pointer_cast<QVLayerState>(layer->state());
  }
};

TEST_F(LayerStateTest, SnapshotThroughAFileAppliedToAFreshTreeGivesTheSameHash) {
  auto processor = sizedProcessor({1000, 500});
  auto photo = buildTree(*processor);
  auto state = stateOf(photo);
  ASSERT_TRUE(state);
  ASSERT_EQ(state->subLayersStates().size(), 3u);

  const qv::Value written = state->serialize();
  EXPECT_EQ(written[QVLayerStateKeys::kPreferredCanvasSize].asString(), "{1000, 500}");
  EXPECT_EQ(written[QVLayerStateKeys::kSubLayersStates][1][QVLayerStateKeys::kAmount].asDouble(), double(0.3f));
  EXPECT_TRUE(written[QVLayerStateKeys::kSubLayersStates][0].contains(QVLayerStateKeys::kIdentifier));
  const qv::Value anonymous = state->serializeWithoutIdentifiers(true);
  EXPECT_FALSE(hasKeyAtAnyDepth(anonymous, QVLayerStateKeys::kIdentifier));
  EXPECT_FALSE(hasKeyAtAnyDepth(anonymous, QVLayerStateKeys::kPresetUUID));

  const std::string file = (makeTempDir("layerstate") / "layer.state").string();
  ASSERT_TRUE(qv::PropertyList::writeFile(file, written));
  const qv::Value read = qv::PropertyList::readFile(file, nullptr);

  // The fresh tree: an empty layer of another processor of the same size.
  auto other = sizedProcessor({1000, 500});
  auto fresh = namedLayer("Fresh");
  other->addLayer(fresh);
  auto restored = QVLayerState::initWithDic(read, fresh);
  EXPECT_EQ(restored->identifier(), state->identifier());
  fresh->setState(restored);

  ASSERT_EQ(fresh->subLayers().size(), 3u);
  EXPECT_EQ(fresh->subLayers()[0]->subLayers().size(), 3u);
  EXPECT_EQ(fresh->subLayers()[1]->identifier(), "ExposureAdjustmentLayer");
  EXPECT_EQ(fresh->subLayers()[1]->blendMode()->identifier(), "Multiply");
  EXPECT_TRUE(fresh->subLayers()[2]->hidden());
  EXPECT_EQ(fresh->presetUUID(), std::optional<std::string>("preset-1"));
  EXPECT_EQ(QVLayerState::initWithLayer(fresh)->stateHash(), state->stateHash());

  // Two snapshots of an unchanged layer differ only in identifiers; a change shows in the hash.
  auto again = QVLayerState::initWithLayer(photo);
  EXPECT_NE(again->identifier(), state->identifier());
  EXPECT_EQ(again->stateHash(), state->stateHash());
  photo->subLayers()[1]->setAmount(0.5);
  EXPECT_NE(QVLayerState::initWithLayer(photo)->stateHash(), state->stateHash());
}

TEST_F(LayerStateTest, ReadingChecksEveryTypeAndFallsBackToTheDefaults) {
  const qv::Value cases[] = {
      qv::Dictionary{},
      qv::Dictionary{{"Amount", "half"},
                     {"EffectsAmount", qv::Array{}},
                     {"Enabled", "no"},
                     {"MaskEnabled", "no"},
                     {"TextureScaleMode", -3},
                     {"Hidden", "yes"},
                     {"BlendModeModified", qv::Dictionary{}},
                     {"Name", 7},
                     {"Transform", "rotate"},
                     {"PreferredCanvasSize", 5},
                     {"HistoryTextureName", "../../outside.rovacompressedimagedata"},
                     {"HistoryMaskName", "masks/a.rovacompressedmaskdata"},
                     {"HistoryBrushStack", "strokes"},
                     {"SubLayersStates", "none"},
                     {"EffectsArray", qv::Dictionary{}}},
      qv::Dictionary{{"Amount", std::nan("")}, {"EffectsAmount", INFINITY}, {"PreferredCanvasSize", "{inf, 5}"}},
      qv::Value("not a record"),
  };
  for (const auto& dictionary : cases) {
    auto s = QVLayerState::initWithDic(dictionary, namedLayer("L"));
    SCOPED_TRACE(dictionary.description());
    EXPECT_EQ(s->amount(), 1.0f);
    EXPECT_EQ(s->effectsAmount(), 1.0);
    EXPECT_TRUE(s->enabled());
    EXPECT_TRUE(s->maskEnabled());
    EXPECT_EQ(s->textureScaleMode(), 0u);
    EXPECT_FALSE(s->hidden());
    EXPECT_FALSE(s->blendModeModified());
    EXPECT_FALSE(s->name());
    EXPECT_FALSE(s->transform());
    EXPECT_EQ(s->preferredCanvasSize(), CGSizeZero);
    EXPECT_FALSE(s->historyTextureName());
    EXPECT_FALSE(s->historyMaskName());
    EXPECT_FALSE(s->historyBrushStack());
    EXPECT_TRUE(s->subLayersStates().empty());
    EXPECT_FALSE(s->identifier().empty());
  }
  // The canvas-size text: the first two numbers, none of them negative or infinite.
  EXPECT_EQ(QVLayerState::sizeFromString("{2000, 1000.5}"), CGSizeMake(2000, 1000.5));
  EXPECT_EQ(QVLayerState::sizeFromString("{-3, 4}"), CGSizeZero);
  EXPECT_EQ(QVLayerState::sizeFromString("{1e999, 4}"), CGSizeZero);
  EXPECT_EQ(QVLayerState::stringFromSize(CGSizeMake(0.5, 3)), "{0.5, 3}");
}

// Amounts read from a state file feed the engine's mix: outside 0..1 they are limited to it.
TEST_F(LayerStateTest, AmountsOutsideTheirRangeAreLimited) {
  struct Case {
    double amount, effectsAmount, wantAmount, wantEffectsAmount;
  } cases[] = {{7, -2, 1, 0}, {-0.5, 3, 0, 1}, {0.25, 0.75, 0.25, 0.75}};
  for (const Case& c : cases) {
    auto s = QVLayerState::initWithDic(qv::Dictionary{{"Amount", c.amount}, {"EffectsAmount", c.effectsAmount}},
                                       namedLayer("L"));
    EXPECT_EQ(s->amount(), float(c.wantAmount)) << c.amount;
    EXPECT_EQ(s->effectsAmount(), c.wantEffectsAmount) << c.effectsAmount;
  }
}

TEST_F(LayerStateTest, TexturePathsNamingHistoryCopies) {
  struct Case {
    const char* path;
    bool withTransform;
    std::optional<std::string> historyName;
    bool adjust;
  };
  const Case cases[] = {
      {"C:\\Docs\\abc.rovacompressedimagedata", false, "abc.rovacompressedimagedata", false},
      {"/home/u/abc.ROVACOMPRESSEDIMAGEDATA", false, "abc.ROVACOMPRESSEDIMAGEDATA", true},
      {"/home/u/photo.png", false, std::nullopt, true},
      {"/home/u/photo.png", true, std::nullopt, false},
  };
  for (const auto& c : cases) {
    qv::Dictionary d{{"TexturePath", c.path}};
    if (c.withTransform) d["Transform"] = qv::Dictionary{{"m11", 2.0}, {"m22", 2.0}, {"tX", 4.0}};
    auto s = QVLayerState::initWithoutSublayersAndEffectsFromInfo(d);
    SCOPED_TRACE(c.path);
    EXPECT_TRUE(s->isTexture());
    EXPECT_EQ(s->historyTextureName(), c.historyName);
    EXPECT_EQ(s->adjustTransform(), c.adjust);
    if (c.withTransform) {
      EXPECT_EQ(*s->transform(), (CGAffineTransform{2, 0, 0, 2, 4, 0}));
    }
  }
  EXPECT_FALSE(QVLayerState::initWithoutSublayersAndEffectsFromInfo(qv::Dictionary{})->isTexture());
}

TEST_F(LayerStateTest, ARawLayersStateWithoutDevelopStateGetsANeutralHiddenOne) {
  auto processor = sizedProcessor({1000, 500});
  auto raw = std::make_shared<RawLayer>();
  raw->setName("Raw");
  processor->addLayer(raw);
  auto develop = catalogueLayer("DevelopAdjustmentLayer");
  raw->addLayer(develop);
  raw->addLayer(catalogueLayer("ExposureAdjustmentLayer"));
  raw->addLayer(catalogueLayer("SharpenAdjustmentLayer"));
  auto developParameter = develop->subLayers().at(0)->effects().at(0)->parameters().at(0);
  nudge(developParameter);
  develop->setHidden(false);

  // A record of one exposure layer, as a preset saved without develop layer holds it.
  auto exposure = catalogueLayer("ExposureAdjustmentLayer");
  const double value = nudge(exposure->effects().at(0)->parameters().at(0));
  qv::Value d = qv::Dictionary{{"Name", "Raw"},
                               {"SubLayersStates", qv::Array{QVLayerState::initWithLayer(exposure)->serialize()}}};
  auto s = QVLayerState::initWithDic(d, raw);
  raw->setState(s);

  ASSERT_EQ(s->subLayersStates().size(), 2u);
  EXPECT_EQ(s->subLayersStates()[0]->layerIdentifier(), std::optional<std::string>(kQVDevelopLayerIdentifier));
  ASSERT_EQ(raw->subLayers().size(), 2u);
  EXPECT_EQ(raw->subLayers()[0], develop);
  EXPECT_TRUE(develop->hidden());
  EXPECT_EQ(developParameter->value(), developParameter->defaultValue());
  EXPECT_EQ(raw->subLayers()[1]->effects().at(0)->parameters().at(0)->value(), value);

  // Fewer records than sublayers: the extra ones go from the end, the develop layer never.
  auto plain = namedLayer("Plain");
  processor->addLayer(plain);
  auto plainDevelop = catalogueLayer("DevelopAdjustmentLayer");
  plain->addLayer(plainDevelop);
  plain->addLayer(catalogueLayer("ExposureAdjustmentLayer"));
  plain->setState(QVLayerState::initWithDic(qv::Dictionary{{"Name", "Plain"}}, plain));
  ASSERT_EQ(plain->subLayers().size(), 1u);
  EXPECT_EQ(plain->subLayers()[0], plainDevelop);
}

TEST_F(LayerStateTest, TransformOfA1000x500CanvasAppliedAt2000x1000) {
  auto small = sizedProcessor({1000, 500});
  auto layer = namedLayer("T");
  small->addLayer(layer);
  layer->setAffineTransform(CGAffineTransform{1.5, 0, 0, 1.5, 10, 20});
  const qv::Value saved = QVLayerState::initWithLayer(layer)->serialize();

  struct Case {
    bool initial;
    CGAffineTransform expected;
  };
  for (const Case& c : {Case{false, {3, 0, 0, 3, 20, 40}}, Case{true, {1.5, 0, 0, 1.5, 20, 40}}}) {
    auto large = sizedProcessor({2000, 1000});
    auto target = namedLayer("T");
    large->addLayer(target);
    auto s = QVLayerState::initWithDic(saved, target);
    s->setInitialLayer(c.initial);
    target->setState(s);
    ASSERT_TRUE(target->affineTransform());
    EXPECT_EQ(*target->affineTransform(), c.expected) << c.initial;
    // The record keeps what it read.
    EXPECT_EQ(*s->transform(), (CGAffineTransform{1.5, 0, 0, 1.5, 10, 20}));
  }

  // A recorded canvas with a zero side, or one so small that the ratio overflows, gives no ratio:
  // the transform is applied as it is.
  for (const char* recorded : {"{0, 500}", "{1e-320, 500}"}) {
    qv::Value degenerate = saved;
    degenerate.set(QVLayerStateKeys::kPreferredCanvasSize, recorded);
    auto large = sizedProcessor({2000, 1000});
    auto target = namedLayer("T");
    large->addLayer(target);
    target->setState(QVLayerState::initWithDic(degenerate, target));
    EXPECT_EQ(*target->affineTransform(), (CGAffineTransform{1.5, 0, 0, 1.5, 10, 20})) << recorded;
  }
}

TEST_F(LayerStateTest, RecordsWithoutIdentifierAreNeverTakenForTheHeldOne) {
  auto layer = namedLayer("L");
  layer->setState(QVLayerState::initWithDic(qv::Dictionary{{"Amount", 0.25}}, layer));
  EXPECT_EQ(layer->amount(), 0.25);
  layer->setState(QVLayerState::initWithDic(qv::Dictionary{{"Amount", 0.75}}, layer));
  EXPECT_EQ(layer->amount(), 0.75);
}

TEST_F(LayerStateTest, ATextureRecordLoadsItsFileIntoALayerWithoutTexture) {
  auto processor = sizedProcessor({320, 213});
  auto layer = namedLayer("T");
  processor->addLayer(layer);
  const std::string png = (dataDir() / "enhance" / "coffee.png").string();
  auto s = QVLayerState::initWithDic(qv::Dictionary{{"Name", "T"}, {"TexturePath", png}}, layer);
  ASSERT_TRUE(s->adjustTransform());
  layer->setState(s);
  for (int i = 0; i < 3; ++i) {
    processor->waitForQueue();
    qv::MainExecutor::shared().runUntilIdle();
  }
  EXPECT_EQ(layer->textureURL(), std::optional<std::string>(png));
  EXPECT_FALSE(layer->isAdjustmentLayer());
  EXPECT_FALSE(s->adjustTransform());  // fitted once, when loaded
  auto again = QVLayerState::initWithLayer(layer);
  EXPECT_TRUE(again->isTexture());
  EXPECT_EQ(again->texturePath(), std::optional<std::string>(png));
}

}  // namespace
