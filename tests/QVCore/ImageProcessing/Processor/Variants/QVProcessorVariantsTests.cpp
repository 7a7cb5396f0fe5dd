// The processor variants over a real engine processor: the process-wide switches each class sets on
// its first use, the layered-document stack rules (the image layer first and untouchable), the
// initial layer's name, and the source region image of the layered-document processor.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFirst.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVProject18Processor.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVZel17Processor.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVZel18Processor.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVPlatform/Log.h"

using namespace solvane::test;
using LayerPtr = QVRovaProcessor::LayerPtr;

namespace {

struct Switches {
  bool newOpen, rawDevelop, replaceRaw;
  static Switches now() {
    return {QVImageReader::isNewOpenMethod(), QVImageReader::isApplyRawDevelop(),
            QVIPEffectsProvider::replaceEffectIDIntoRawID()};
  }
  void apply() const {
    QVImageReader::useNewOpenMethod(newOpen);
    QVImageReader::setApplyRawDevelop(rawDevelop);
    QVIPEffectsProvider::setReplaceEffectIDIntoRawID(replaceRaw);
  }
  bool operator==(const Switches&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Switches& s) {
  return os << "{newOpen " << s.newOpen << ", rawDevelop " << s.rawDevelop << ", replaceRaw " << s.replaceRaw << "}";
}

// Every test starts with no variant class used yet and puts the process-wide switches back.
class ProcessorVariants : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Switches::now();
    for (auto* s : {&QVProject18Processor::classSwitches(), &QVZel18Processor::classSwitches(),
                    &QVZel17Processor::classSwitches()})
      s->resetForTesting();
    QVIPImageLayer::registerClass();
    QVIPLayerFirst::registerClass();
  }
  void TearDown() override { saved_.apply(); }
  Switches saved_{};
};

std::string logText() {
  std::ifstream in(qv::QVLogger::shared().outputPath());
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

template <class P>
std::shared_ptr<P> loaded() {
  auto p = P::init();
  EXPECT_TRUE(loadAndSettle(*p, gradientJpeg(200, 150), CGSizeMake(200, 150)));
  return p;
}

// A layered-document processor whose image layer does not stand first (as the HDR processor).
struct NotFirstProcessor : QVProject18Processor {
  bool useInitialLayerAsFirst() const override { return false; }
};

}  // namespace

TEST_F(ProcessorVariants, FirstUseOfEachClassSetsItsSwitchesOnce) {
  // The layered-document class: new open method, no RAW development in the reader.
  Switches{false, true, true}.apply();
  QVProject18Processor::init();
  EXPECT_EQ(Switches::now(), (Switches{true, false, true}));

  // The older class afterwards overrides all three; a second instance of the first class does not
  // set them back (its first use is over).
  QVZel17Processor::init();
  EXPECT_EQ(Switches::now(), (Switches{false, true, true}));
  QVProject18Processor::init();
  EXPECT_EQ(Switches::now(), (Switches{false, true, true}));

  // The subclass sets only its own switch: its superclass was used already.
  QVZel18Processor::init();
  EXPECT_EQ(Switches::now(), (Switches{false, true, false}));
}

TEST_F(ProcessorVariants, SubclassFirstUseSetsItsSuperclassSwitchesFirst) {
  Switches{false, true, true}.apply();
  QVZel18Processor::init();
  EXPECT_EQ(Switches::now(), (Switches{true, false, false}));
  // The base processor sets nothing.
  Switches{false, true, true}.apply();
  QVRovaProcessor::init();
  EXPECT_EQ(Switches::now(), (Switches{false, true, true}));
}

TEST_F(ProcessorVariants, LayeredDocumentKeepsTheImageLayerFirst) {
  auto p = loaded<QVProject18Processor>();
  auto initial = p->initialImageLayer();
  ASSERT_TRUE(initial);
  ASSERT_EQ(p->layers().size(), 1u);
  EXPECT_EQ(p->layers()[0], initial);
  // Installing the image layer made its hidden develop layer.
  ASSERT_FALSE(initial->subLayers().empty());
  EXPECT_TRUE(initial->subLayers()[0]->isDevelopLayer());
  EXPECT_TRUE(initial->subLayers()[0]->hidden());
  EXPECT_EQ(initial->name(), "Original Image");

  EXPECT_FALSE(p->createLayerAtIndex(0));
  EXPECT_NE(logText().find("Can't create layer at first position, for this position used initial"), std::string::npos);
  EXPECT_EQ(p->layers().size(), 1u);

  auto plain = p->createLayerAtIndex(1);
  ASSERT_TRUE(plain);
  EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(*plain), 0u);
  auto image = p->createImageLayerAtIndex(2);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->layerType(), 3u);
  ASSERT_EQ(p->layers().size(), 3u);

  // The bottom layer stays however many layers there are; others go.
  EXPECT_FALSE(p->canRemoveLayer(initial));
  p->removeLayer(initial);
  EXPECT_EQ(p->layers()[0], initial);
  EXPECT_TRUE(p->canRemoveLayer(plain));
  p->removeLayer(plain);
  EXPECT_EQ(p->layers().size(), 2u);
  EXPECT_FALSE(p->canRemoveLayer(nullptr));
}

TEST_F(ProcessorVariants, LayeredDocumentRefusesEditingImageDevelopAndDodgeBurnLayers) {
  auto p = loaded<QVProject18Processor>();
  auto initial = p->initialImageLayer();
  auto develop = initial->developLayer();
  auto plain = p->createLayer();
  auto dodge = QVIPLayerFactory::layer();
  dodge->setIdentifier(kQVDodgeBurnLayerIdentifier);
  EXPECT_FALSE(p->canEditLayer(initial));
  EXPECT_FALSE(p->canEditLayer(develop));
  EXPECT_FALSE(p->canEditLayer(dodge));
  EXPECT_TRUE(p->canEditLayer(plain));
  // The base processor edits every layer.
  auto base = QVRovaProcessor::init();
  EXPECT_TRUE(base->canEditLayer(dodge));
}

TEST_F(ProcessorVariants, WithoutTheImageLayerFirstIndexZeroMakesAFirstLayer) {
  auto p = QVRovaProcessor::create<NotFirstProcessor>();
  auto first = p->createLayerAtIndex(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->layerType(), 2u);
  EXPECT_TRUE(std::dynamic_pointer_cast<QVIPLayerFirst>(first));
}

TEST_F(ProcessorVariants, InitialLayerNames) {
  EXPECT_EQ(loaded<QVZel18Processor>()->initialLayer()->name(), "");
  EXPECT_EQ(loaded<QVZel17Processor>()->initialLayer()->name(), "Original Image");
  auto fromFile = QVZel17Processor::initWithURL(gradientJpeg(200, 150));
  ASSERT_TRUE(fromFile->initialLayer());
  EXPECT_FALSE(QVZel17Processor::initWithURL("/nonexistent/picture.jpg")->initialLayer());
}

TEST_F(ProcessorVariants, SourceRegionIsTheDevelopedWorkingImageOfImageLayersOnly) {
  auto p = loaded<QVProject18Processor>();
  rova::BaseLayerPtr bottom, adjustment;
  auto plain = p->createLayer();
  settle(*p);
  p->performOnImageProcessingQueue(
      [&] {
        bottom = p->cppProcessor()->layerAtIndex(0);
        adjustment = plain->cppLayer();
      },
      true);
  for (bool quick : {false, true}) {
    auto region = p->obtainOriginalRoiFromLayer(bottom, quick);
    ASSERT_TRUE(region) << quick;
    EXPECT_EQ(region->imageData()->width(), 200);
    EXPECT_EQ(region->imageData()->height(), 150);
    EXPECT_FALSE(p->obtainOriginalRoiFromLayer(adjustment, quick));
  }
  EXPECT_FALSE(p->obtainOriginalRoiFromLayer(nullptr, false));
  auto preview = p->originalImageForPreview();
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width(), int(200 * QVRovaProcessor::lowResScale()));
}
