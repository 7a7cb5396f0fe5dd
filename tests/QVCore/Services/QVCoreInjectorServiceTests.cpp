// The protocol factory: every protocol gives its class (a new object each time, the shared layer
// settings excepted), the parameterised form loads a picture or makes an image and gives nothing
// for the rest, and an instance hands its object out only as its protocol's type.
#include <gtest/gtest.h>

#include <typeinfo>

#include "QVCore/ImageProcessing/History/QVHistoryManager.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVZel17Processor.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVZel18Processor.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/QVHDRProcessor.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVCore/Model/Entities/QVWorkspace.h"
#include "QVCore/Services/QVCoreInjectorService.h"
#include "QVCore/Settings/QVLayerSettings.h"

using namespace solvane::test;
using P = QVCoreProtocol;

namespace {

// Processor classes set process-wide switches on first use: put them back afterwards.
class InjectorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    QVImageReader::useNewOpenMethod(newOpen_);
    QVImageReader::setApplyRawDevelop(rawDevelop_);
    QVIPEffectsProvider::setReplaceEffectIDIntoRawID(replaceRaw_);
  }
  bool newOpen_ = QVImageReader::isNewOpenMethod(), rawDevelop_ = QVImageReader::isApplyRawDevelop(),
       replaceRaw_ = QVIPEffectsProvider::replaceEffectIDIntoRawID();
};

// The dynamic class of what an instance holds, seen through its protocol's type.
template <class T>
const std::type_info& classOf(const QVCoreInstance& instance) {
  auto object = instance.as<T>();
  EXPECT_TRUE(object);
  return object ? typeid(*object) : typeid(void);
}

}  // namespace

TEST_F(InjectorTest, EveryProtocolGivesItsClassAndANewObjectEachTime) {
  struct Case {
    P protocol;
    const std::type_info& expected;
    const std::type_info& (*classOf)(const QVCoreInstance&);
  };
  const Case cases[] = {
      {P::QVImageProcessorProtocol, typeid(QVRovaProcessor), classOf<QVRovaProcessor>},
      {P::QVHDRImageProcessorProtocol, typeid(QVHDRProcessor), classOf<QVRovaProcessor>},
      {P::QVProject18ImageProcessorProtocol, typeid(QVProject18Processor), classOf<QVRovaProcessor>},
      {P::QVZel18ImageProcessorProtocol, typeid(QVZel18Processor), classOf<QVRovaProcessor>},
      {P::QVZel17ImageProcessorProtocol, typeid(QVZel17Processor), classOf<QVRovaProcessor>},
      {P::QVHDRSettingsProtocol, typeid(QVHDRSettings), classOf<QVHDRSettingsProtocol>},
      {P::QVPresetModelProtocol, typeid(QVPreset), classOf<QVPresetModelProtocol>},
      {P::QVLayerStateModelProtocol, typeid(QVLayerState), classOf<QVLayerStateModelProtocol>},
      {P::QVPresetGroupModelProtocol, typeid(QVPresetGroup), classOf<QVPresetGroupModelProtocol>},
      {P::QVWorkspaceModelProtocol, typeid(QVWorkspace), classOf<QVWorkspaceModelProtocol>},
      {P::QVLayerProtocol, typeid(QVIPLayer), classOf<QVIPLayer>},
      {P::QVHistoryManagerProtocol, typeid(QVHistoryManager), classOf<QVHistoryManagerProtocol>},
  };
  for (const Case& c : cases) {
    auto first = QVCoreInjectorService::makeInstanceByProtocol(c.protocol);
    auto second = QVCoreInjectorService::makeInstanceByProtocol(c.protocol);
    ASSERT_TRUE(first) << int(c.protocol);
    EXPECT_EQ(c.classOf(first), c.expected) << int(c.protocol);
    EXPECT_NE(first.get(), second.get()) << int(c.protocol);
  }
  // The layer settings are the shared ones.
  auto settings = QVCoreInjectorService::makeInstance<P::QVLayerSettingsProtocol>();
  EXPECT_EQ(settings.get(), static_cast<QVLayerSettingsProtocol*>(&QVLayerSettings::settings()));
  EXPECT_EQ(QVCoreInjectorService::makeInstanceByProtocol(P::QVLayerSettingsProtocol).get(), settings.get());
  // The HDR settings hold the defaults.
  auto hdr = QVCoreInjectorService::makeInstance<P::QVHDRSettingsProtocol>();
  ASSERT_TRUE(hdr);
  EXPECT_EQ(hdr->dictionaryRepresentation(), QVHDRSettings::defaultSettings()->dictionaryRepresentation());
  // An image needs its parameter.
  EXPECT_FALSE(QVCoreInjectorService::makeInstanceByProtocol(P::QVImageProtocol));
}

TEST_F(InjectorTest, AnInstanceIsHandedOutOnlyAsItsProtocolsType) {
  auto instance = QVCoreInjectorService::makeInstanceByProtocol(P::QVZel18ImageProcessorProtocol);
  EXPECT_TRUE(instance.as<QVRovaProcessor>());
  EXPECT_FALSE(instance.as<QVZel18Processor>());
  EXPECT_FALSE(instance.as<QVIPLayer>());
  EXPECT_FALSE(QVCoreInstance().as<QVRovaProcessor>());
}

TEST_F(InjectorTest, ParametersLoadAPictureOrMakeAnImageAndNothingElse) {
  const std::string picture = gradientJpeg(120, 90);
  auto base = QVCoreInjectorService::makeInstance<P::QVImageProcessorProtocol>({{kQVRovaImageUrlKey, picture}});
  ASSERT_TRUE(base);
  EXPECT_EQ(typeid(*base), typeid(QVRovaProcessor));
  EXPECT_TRUE(base->initialLayer());
  auto older = QVCoreInjectorService::makeInstance<P::QVZel17ImageProcessorProtocol>({{kQVRovaImageUrlKey, picture}});
  ASSERT_TRUE(older);
  EXPECT_EQ(typeid(*older), typeid(QVZel17Processor));
  EXPECT_TRUE(older->initialLayer());
  // Without the path (or with one of another type) they are plain new processors.
  for (const QVCoreInjectorParams& params : {QVCoreInjectorParams{}, QVCoreInjectorParams{{kQVRovaImageUrlKey, 42}}}) {
    auto p = QVCoreInjectorService::makeInstance<P::QVZel17ImageProcessorProtocol>(params);
    ASSERT_TRUE(p);
    EXPECT_EQ(typeid(*p), typeid(QVZel17Processor));
    EXPECT_FALSE(p->initialLayer());
  }

  auto bitmap = QVIPImage::initWithImageData(rova::ImageDataRGBf::create(8, 6), 1, 8)->CGImage();
  auto image =
      QVCoreInjectorService::makeInstance<P::QVImageProtocol>({{kQVNSImageKey, QVPlatformImage{bitmap, {8, 6}}}});
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size().width, 8);
  EXPECT_FALSE(QVCoreInjectorService::makeInstanceByProtocol(P::QVImageProtocol, {}));

  // Only those three read parameters; the HDR processor, for one, gives nothing here.
  for (P protocol : {P::QVHDRImageProcessorProtocol, P::QVLayerSettingsProtocol, P::QVLayerProtocol,
                     P::QVProject18ImageProcessorProtocol, P::QVHistoryManagerProtocol})
    EXPECT_FALSE(QVCoreInjectorService::makeInstanceByProtocol(protocol, {{kQVRovaImageUrlKey, picture}}))
        << int(protocol);
}
