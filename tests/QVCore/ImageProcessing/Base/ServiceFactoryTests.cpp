#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/Base/QVCloneAndStampProcessorProtocol.h"
#include "QVCore/ImageProcessing/Base/QVLayerMaskProtocol.h"

namespace {

class StubMask : public QVLayerMaskProtocol {
 public:
  std::weak_ptr<QVParentProtocol> parent;
  std::optional<std::string> name;
  void setParent(std::weak_ptr<QVParentProtocol> layer) override { parent = std::move(layer); }
  void finishDrawing() override {}
  void createBrushController() override {}
  void saveMaskForce(bool) override {}
  void saveMaskForceWithIgnoreHistoryMaskName() override {}
  std::optional<std::string> historyMaskName() const override { return name; }
  void setHistoryMaskName(std::optional<std::string> n) override { name = std::move(n); }
  qv::Array brushStack() const override { return {}; }
  void setBrushStack(std::optional<qv::Array>) override {}
  void clearMaskWithNextDelete(bool) override {}
  void updateMask() override {}
  void updateMaskDeleted(bool) override {}
  void resetState() override {}
};

class StubCloneAndStamp : public QVCloneAndStampProcessorProtocol {
 public:
  explicit StubCloneAndStamp(rova::ImageDataRGBfPtr data) : data_(std::move(data)) {}
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return nullptr; }
  rova::ImageDataRGBfPtr imageData() const override { return data_; }

 private:
  rova::ImageDataRGBfPtr data_;
};

TEST(ServiceFactory, RegisteredMakersStandInForOtherSubsystems) {
  QVLayerMaskFactory::registerMaker(nullptr);
  EXPECT_FALSE(QVLayerMaskFactory::hasMaker());
  EXPECT_EQ(QVLayerMaskFactory::make(), nullptr);

  QVLayerMaskFactory::registerMaker([] { return std::make_shared<StubMask>(); });
  auto a = QVLayerMaskFactory::make();
  auto b = QVLayerMaskFactory::make();
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);
  a->setHistoryMaskName("mask.rovacompressedmaskdata");
  EXPECT_EQ(a->historyMaskName(), "mask.rovacompressedmaskdata");
  QVLayerMaskFactory::registerMaker(nullptr);

  QVCloneAndStampProcessorFactory::registerMaker([](rova::ImageDataRGBfPtr data, rova::MaskImagePtr) {
    return std::make_shared<StubCloneAndStamp>(std::move(data));
  });
  EXPECT_NE(QVCloneAndStampProcessorFactory::make(nullptr, nullptr), nullptr);
  QVCloneAndStampProcessorFactory::registerMaker(nullptr);
}

}  // namespace
