#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"

#include <map>
#include <mutex>

#include "QVPlatform/Log.h"

namespace {

struct Registry {
  std::mutex mutex;
  std::map<uint64_t, QVIPLayerClass> classes;
  std::function<std::shared_ptr<QVIPLayer>()> makePictureLayer;
};

Registry& registry() {
  static Registry r;
  return r;
}

QVIPLayerClass plainClass() {
  return {0, "QVIPLayer", [] { return std::make_shared<QVIPLayer>(); }, [](const QVIPLayer&) { return true; }};
}

std::optional<QVIPLayerClass> registered(uint64_t type) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.classes.find(type);
  if (it == r.classes.end()) return std::nullopt;
  return it->second;
}

std::shared_ptr<QVIPLayer> newPictureLayer() {
  std::function<std::shared_ptr<QVIPLayer>()> make;
  {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    make = r.makePictureLayer;
  }
  if (!make) {
    QVLogError("No picture layer class is registered");
    return nullptr;
  }
  return make();
}

}  // namespace

void QVIPLayerFactory::registerLayerClass(QVIPLayerClass layerClass) {
  if (layerClass.layerType < 1 || layerClass.layerType > 3 || !layerClass.alloc || !layerClass.isKindOf) {
    QVLogError("Refusing to register layer class %s for type %llu", layerClass.name.c_str(),
               (unsigned long long)layerClass.layerType);
    return;
  }
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.classes[layerClass.layerType] = std::move(layerClass);
}

void QVIPLayerFactory::registerPictureLayerMaker(std::function<std::shared_ptr<QVIPLayer>()> make) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.makePictureLayer = std::move(make);
}

void QVIPLayerFactory::unregisterLayerClass(uint64_t type) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.classes.erase(type);
}

QVIPLayerClass QVIPLayerFactory::layerClassForLayerType(uint64_t type) {
  if (type >= 1 && type <= 3)
    if (auto c = registered(type)) return *c;
  return plainClass();
}

uint64_t QVIPLayerFactory::layerTypeForLayer(const QVIPLayer& layer) {
  for (uint64_t type : {uint64_t(1), uint64_t(3), uint64_t(2)})
    if (auto c = registered(type); c && c->isKindOf(layer)) return type;
  return 0;
}

std::shared_ptr<QVIPLayer> QVIPLayerFactory::layerWithLayerType(uint64_t type) {
  auto layer = layerClassForLayerType(type).alloc();
  layer->setUpDefaultSettings();
  return layer;
}

std::shared_ptr<QVIPLayer> QVIPLayerFactory::layerWithUrl(const std::string& path) {
  auto layer = newPictureLayer();
  if (!layer || !layer->configureWithImageAtURL(path)) return nullptr;
  return layer;
}

std::shared_ptr<QVIPLayer> QVIPLayerFactory::layerWithRovaImage(const rova::ImagePtr& image) {
  auto layer = newPictureLayer();
  if (!layer || !layer->configureWithImage(image)) return nullptr;
  return layer;
}

std::shared_ptr<QVIPLayer> QVIPLayerFactory::layerWithImageData(const rova::ImageDataRGBfPtr& data) {
  return data ? layerWithRovaImage(rova::Image::make(data)) : nullptr;
}

std::shared_ptr<QVIPLayer> QVIPLayerFactory::layerWithClassOfLayer(const QVIPLayer& of) {
  auto layer = of.allocSameClass();
  layer->setUpDefaultSettings();
  return layer;
}

std::shared_ptr<QVIPLayer> QVIPLayerFactory::layerWithCppLayer(const rova::BaseLayerPtr& cppLayer,
                                                               std::weak_ptr<QVParentLayerProtocol> parent,
                                                               const rova::ImageProcessorPtr& cppProcessor) {
  uint64_t type = 0;
  auto test = [&] {
    if (!cppLayer) return;
    if (cppLayer->kind() == rova::kLayerKindAdjustment) {
      for (uint64_t tag : {4, 3, 2, 1})
        if (cppLayer->isTagPresent(layerTagForLayerType(tag))) {
          type = tag;
          break;
        }
    } else if (cppLayer->kind() == rova::kLayerKindImage) {
      type = 3;
    }
  };
  auto p = parent.lock();
  auto queue = p ? p->parentProcessingQueue() : nullptr;
  // Waiting for the queue from an operation on that same queue would never end: run inline there.
  if (queue && qv::OperationQueue::currentQueue() != queue)
    queue->addOperationWithBlock(test)->waitUntilFinished();
  else
    test();
  auto layer = layerClassForLayerType(type).alloc();
  layer->setUpWithCPPLayer(cppLayer, std::move(parent), cppProcessor);
  return layer;
}
