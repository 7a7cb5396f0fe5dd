// Layer types, the factory's class choice and the layer limits.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Layers/LayerTestSupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Layers/QVIgnoreDisablingLayer.h"
#include "QVCore/Settings/QVLayerSettings.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"
#include "rova/layers/ImageLayer.h"

using namespace solvane::test;

namespace {

class StandInImageLayer : public QVIPLayer {
 public:
  uint64_t layerType() const override { return 3; }
};
class SpecialIgnoringLayer : public QVIgnoreDisablingLayer {};

TEST(LayerFactory, TypesAndClasses) {
  EXPECT_EQ(QVIPLayerFactory::layerWithLayerType(7)->layerType(), 0u);
  auto ignoring = QVIPLayerFactory::layerWithLayerType(1);
  EXPECT_TRUE(std::dynamic_pointer_cast<QVIgnoreDisablingLayer>(ignoring));
  EXPECT_TRUE(ignoring->cppLayer()->isTagPresent("1"));
  EXPECT_TRUE(ignoring->isEnabled() && ignoring->isActive());
  EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(SpecialIgnoringLayer()), 1u);
  EXPECT_TRUE(std::dynamic_pointer_cast<QVIgnoreDisablingLayer>(QVIPLayerFactory::layerWithClassOfLayer(*ignoring)));

  QVIPLayerClass installed = QVIPLayerFactory::layerClassForLayerType(3);
  QVIPLayerFactory::registerLayerClass({3, "StandInImageLayer", [] { return std::make_shared<StandInImageLayer>(); },
                                        [](const QVIPLayer& l) { return dynamic_cast<const StandInImageLayer*>(&l); }});
  QVIPLayerFactory::registerLayerClass(
      {5, "Refused", [] { return std::make_shared<QVIPLayer>(); }, [](const QVIPLayer&) { return true; }});
  EXPECT_TRUE(std::dynamic_pointer_cast<StandInImageLayer>(QVIPLayerFactory::imageLayer()));
  EXPECT_EQ(QVIPLayerFactory::layerWithLayerType(5)->layerType(), 0u);
  auto processor = TestProcessor::make();
  auto engineImage = std::make_shared<rova::ImageLayer>(nullptr);
  engineImage->setTag("1");  // an engine image layer is the image layer whatever its tags
  processor->engine->addLayer(engineImage);
  auto rebuilt =
      QVIPLayerFactory::layerWithCppLayer(engineImage, processor->weakAs<QVParentLayerProtocol>(), processor->engine);
  EXPECT_TRUE(std::dynamic_pointer_cast<StandInImageLayer>(rebuilt));
  EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(*rebuilt), 3u);
  QVIPLayerFactory::unregisterLayerClass(3);
  EXPECT_EQ(QVIPLayerFactory::imageLayer()->layerType(), 0u);
  if (installed.layerType == 3) QVIPLayerFactory::registerLayerClass(installed);
}

TEST(LayerSettings, LimitsFromThePropertyList) {
  auto dir = makeTempDir("layer-settings");
  std::string path = (dir / "QVLayerSettings.plist").string();
  ASSERT_TRUE(
      qv::PropertyList::writeFile(path, qv::Value(qv::Dictionary{{"MaxLayersCount", 3}, {"MaxFiltersCount", "30"}})));
  QVLayerSettings settings(path);
  EXPECT_EQ(settings.maxLayersCount(), 3u);
  EXPECT_EQ(settings.maxFiltersCount(), QVLayerSettings::kNoLimit);  // a text is no number

  QVLayerSettings missing((dir / "missing.plist").string());
  EXPECT_EQ(missing.maxLayersCount(), 18446744073709551615ull);
  EXPECT_EQ(missing.maxFiltersCount(), QVLayerSettings::kNoLimit);

  EXPECT_EQ(&QVLayerSettings::settings(), &QVLayerSettings::settings());
  EXPECT_EQ(QVLayerSettings::settings().maxLayersCount(), 20u);
  EXPECT_EQ(QVLayerSettings::settings().maxFiltersCount(), 30u);
}

}  // namespace
