// The image layer keeps its develop layer first; the first layer lends its processor's.
#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPImageLayer.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFirst.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"

using namespace solvane::test;

namespace {

std::shared_ptr<QVIPLayer> named(const std::string& name) {
  auto layer = QVIPLayerFactory::layer();
  layer->setName(name);
  return layer;
}

std::shared_ptr<QVIPLayer> developCandidate() {
  return QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(kQVDevelopLayerIdentifier);
}

std::string names(const QVIPLayer& layer) {
  std::string out;
  for (const auto& sub : layer.subLayers())
    out += (out.empty() ? "" : " ") + (sub->isDevelopLayer() ? std::string("develop") : sub->name());
  return out;
}

}  // namespace

TEST(QVIPImageLayer, FactoryMakesImageLayersAndTheDevelopLayerComesOnFirstUse) {
  auto layer = std::dynamic_pointer_cast<QVIPImageLayer>(QVIPLayerFactory::layerWithLayerType(3));
  ASSERT_TRUE(layer);
  EXPECT_FALSE(layer->isAdjustmentLayer());
  EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(*layer), 3u);
  EXPECT_TRUE(layer->subLayers().empty());
  EXPECT_FALSE(layer->exifInfo()) << "no picture yet";
  EXPECT_EQ(layer->loadState(), 0);

  auto develop = layer->developLayer();
  ASSERT_TRUE(develop);
  EXPECT_TRUE(develop->isDevelopLayer());
  EXPECT_TRUE(develop->hidden());
  EXPECT_EQ(layer->subLayers().front(), develop);
  EXPECT_EQ(layer->developLayer(), develop);
  EXPECT_EQ(layer->subLayers().size(), 1u);
}

TEST(QVIPImageLayer, SublayerListsKeepTheDevelopLayerFirst) {
  auto layer = QVIPImageLayer::make();
  auto develop = layer->developLayer();
  layer->addLayer(named("X"));
  layer->addLayer(named("Y"));

  layer->setLayers({developCandidate(), named("A"), named("B")});
  EXPECT_EQ(names(*layer), "develop A B");
  EXPECT_EQ(layer->subLayers().front(), develop) << "the same develop layer, given the new one's settings";

  develop->setHidden(false);
  layer->setLayers({named("A")});
  EXPECT_EQ(names(*layer), "develop A");
  EXPECT_TRUE(develop->hidden());

  layer->addLayers({developCandidate(), named("C")});
  EXPECT_EQ(names(*layer), "develop A C");

  // A picture that is not RAW lets its develop layer go.
  layer->removeLayer(develop);
  EXPECT_EQ(names(*layer), "A C");
}

TEST(QVIPImageLayer, ConfiguresFromAFileAndSummarisesItsExif) {
  auto layer = QVIPImageLayer::make();
  EXPECT_FALSE(layer->configureWithImageAtURL((testHome() / "none.jpg").string()));
  EXPECT_FALSE(layer->imageLayer());

  const std::string path = gradientJpeg(640, 480);
  ASSERT_TRUE(layer->configureWithImageAtURL(path));
  ASSERT_TRUE(layer->imageLayer());
  EXPECT_EQ(layer->textureURL(), path);
  EXPECT_TRUE(layer->cppSourceImage());
  EXPECT_GT(layer->loadState(), 0);
  auto exif = layer->exifInfo();
  ASSERT_TRUE(exif);
  EXPECT_FALSE(exif->isRaw);
  EXPECT_EQ(exif->extension, "jpg");
  EXPECT_EQ(layer->exifInfo(), exif) << "kept until the picture changes";
  layer->update();
  EXPECT_NE(layer->exifInfo(), exif);
  EXPECT_TRUE(layer->hasVelorinDefaultDCP());
}

TEST(QVIPLayerFirst, LendsTheInitialLayersDevelopLayer) {
  auto first = std::dynamic_pointer_cast<QVIPLayerFirst>(QVIPLayerFactory::layerWithLayerType(2));
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->cppLayer()->isTagPresent("2"));
  EXPECT_FALSE(first->developLayer()) << "outside a processor";
  EXPECT_FALSE(first->exifInfo());
  EXPECT_TRUE(first->visibleLayers().empty());

  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  first->addLayer(named("A"));
  p->addLayer(first);
  auto develop = p->initialImageLayer()->developLayer();
  ASSERT_TRUE(develop);
  EXPECT_EQ(first->developLayer(), develop);
  EXPECT_EQ(first->exifInfo(), p->initialImageLayer()->exifInfo());
  auto visible = first->visibleLayers();
  ASSERT_EQ(visible.size(), 2u);
  EXPECT_EQ(visible.front(), develop);
  EXPECT_EQ(visible.back()->name(), "A");
  EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(*first), 2u);
}

TEST(QVIPImageLayer, FactoryMakesImageLayersOverEnginePixels) {
  auto data = rova::ImageDataRGBf::create(7, 5);
  data->at(3, 2) = {0.25f, 0.5f, 0.75f};
  auto fromData = std::dynamic_pointer_cast<QVIPImageLayer>(QVIPLayerFactory::layerWithImageData(data));
  ASSERT_TRUE(fromData) << "an image layer, not a plain one";
  ASSERT_TRUE(fromData->imageLayer());
  EXPECT_EQ(fromData->cppSourceImage()->source()->data(), data) << "the pixels are shown, not copied";
  EXPECT_EQ(fromData->width(), 7);
  EXPECT_EQ(fromData->height(), 5);
  EXPECT_FALSE(fromData->isAdjustmentLayer());
  EXPECT_TRUE(fromData->isEnabled());
  EXPECT_EQ(QVIPLayerFactory::layerTypeForLayer(*fromData), 3u);

  auto image = rova::Image::make(rova::ImageDataRGBf::create(4, 9));
  auto fromImage = std::dynamic_pointer_cast<QVIPImageLayer>(QVIPLayerFactory::layerWithRovaImage(image));
  ASSERT_TRUE(fromImage);
  EXPECT_EQ(fromImage->cppSourceImage(), image);
  EXPECT_EQ(fromImage->height(), 9);

  EXPECT_FALSE(QVIPLayerFactory::layerWithImageData(nullptr));
  EXPECT_FALSE(QVIPLayerFactory::layerWithRovaImage(nullptr));
  EXPECT_FALSE(QVIPLayerFactory::layerWithRovaImage(rova::Image::make(nullptr)));
}
