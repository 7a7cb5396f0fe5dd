#pragma once
// A small processor for layer tests: a real engine ImageProcessor, a serial processing queue, a
// recording history, an initial layer and a top-level stack. Like the real processor it brings the
// engine's flat list into line whenever a layer reports a change of its sublayers (keeping the
// engine list up to the first difference and rebuilding the rest), on its processing queue.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QVCore/ImageProcessing/Base/ModelFakes.h"
#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/MainExecutor.h"
#include "rova/layers/ImageLayer.h"

namespace solvane::test {

class TestProcessor : public QVModelObject, public QVImageProcessorProtocol {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;

  static std::shared_ptr<TestProcessor> make(std::shared_ptr<QVHistoryManagerProtocol> history = nullptr) {
    auto p = std::make_shared<TestProcessor>();
    p->history = std::move(history);
    return p;
  }

  rova::ImageProcessorPtr engine = std::make_shared<rova::ImageProcessor>();
  std::shared_ptr<qv::OperationQueue> queue = qv::OperationQueue::make("ipq_test", 1);
  std::shared_ptr<QVHistoryManagerProtocol> history;
  std::vector<LayerPtr> stack;
  LayerPtr initial;
  std::vector<ChildReport> reports;
  std::vector<std::shared_ptr<QVModelObject>> invalidated;
  int counter = 0;
  bool suspended = false;

  void attach(const LayerPtr& layer) {
    layer->setProcessor(engine);
    layer->setParent(weakAs<QVParentLayerProtocol>());
    layer->setLevel(0);
    if (!layer->subLayers().empty()) layer->setLayers(layer->subLayers());
  }
  void setInitialLayer(const LayerPtr& layer) {
    initial = layer;
    attach(layer);
    validate();
  }
  void addLayer(const LayerPtr& layer) {
    attach(layer);
    stack.push_back(layer);
    validate();
  }

  // The wanted engine list: the initial layer's subtree, then every top-level layer's.
  std::vector<LayerPtr> expected() const {
    std::vector<LayerPtr> out;
    if (initial && std::find(stack.begin(), stack.end(), initial) == stack.end()) out = initial->rovaWaySublayers();
    for (const auto& layer : stack) {
      auto part = layer->rovaWaySublayers();
      out.insert(out.end(), part.begin(), part.end());
    }
    return out;
  }
  void validate() {
    std::vector<rova::BaseLayerPtr> wanted;
    for (const auto& layer : expected()) wanted.push_back(layer->cppLayer());
    auto engineRef = engine;
    performOnImageProcessingQueue(
        [engineRef, wanted] {
          size_t i = 0, n = engineRef->getLayersCount();
          while (i < n && i < wanted.size() && engineRef->layerAtIndex(i) == wanted[i]) ++i;
          while (engineRef->getLayersCount() > i) engineRef->removeLayer(engineRef->layerAtIndex(i));
          for (size_t k = i; k < wanted.size(); ++k) engineRef->addLayer(wanted[k]);
        },
        false);
  }
  void waitForQueue() { queue->waitUntilAllOperationsAreFinished(); }

  // ---- QVParentProtocol ----
  void childWillChangeState(const std::shared_ptr<QVModelObject>&, const QVChangeInfo&) override {}
  void childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override {
    reports.push_back({child, info});
    if (info.changeType() == "QVLayerDidChangeSublayersNotification") validate();
  }
  void childInvalidated(const std::shared_ptr<QVModelObject>& child) override { invalidated.push_back(child); }
  std::shared_ptr<qv::OperationQueue> parentProcessingQueue() override { return queue; }
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return history; }
  std::optional<std::string> fullName() override { return std::nullopt; }

  // ---- QVParentLayerProtocol ----
  void layerDidToggleEnabled(const LayerPtr&, bool) override {}
  void layerDidChangeEffectAtIndex(const LayerPtr&, uint64_t) override {}
  void layerEffectDidChangeModifyingState(const LayerPtr&, bool) override {}
  void moveLayer(const LayerPtr& layer, int64_t index) override {
    if (index >= 0 && qv::moveObject(stack, layer, size_t(index))) validate();
  }

  // ---- QVImageProcessorProtocol ----
  rova::ImageProcessorPtr cppProcessor() const override { return engine; }
  void performOnImageProcessingQueue(qv::Block block, bool sync) override {
    if (sync && qv::OperationQueue::currentQueue() == queue) return block();
    auto op = queue->addOperationWithBlock(std::move(block));
    if (sync) op->waitUntilFinished();
  }
  CGSize canvasSize() override {
    rova::Size size{};
    performOnImageProcessingQueue([&] { size = engine->canvasSize(); }, true);
    return CGSizeMake(size.width, size.height);
  }
  std::shared_ptr<QVTCropDescription> cropDescription() const override { return nullptr; }
  rova::ImagePtr originalImage() override {
    rova::ImagePtr image;
    performOnImageProcessingQueue([&] { image = engine->getOriginalImage(); }, true);
    return image;
  }
  std::vector<LayerPtr> layers() const override { return stack; }
  LayerPtr initialLayer() const override { return initial; }
  void setPostStateNotificationsSuspended(bool s) override { suspended = s; }
  void increaseProcessingCounter() override { ++counter; }
  void decreaseProcessingCounter() override {
    if (counter > 0) --counter;
  }
};

// A parent of layers that records what reaches it: an edit history, a serial processing queue and a
// full name when given.
class RecordingParent : public RecordingParentBase<QVParentLayerProtocol> {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;
  static std::shared_ptr<RecordingParent> make(std::shared_ptr<QVHistoryManagerProtocol> history = nullptr,
                                               bool withQueue = false, std::optional<std::string> name = std::nullopt) {
    return makeWith<RecordingParent>(std::move(history), withQueue, std::move(name));
  }
  std::weak_ptr<QVParentLayerProtocol> weakParent() { return weakAs<QVParentLayerProtocol>(); }

  void layerDidToggleEnabled(const LayerPtr&, bool) override {}
  void layerDidChangeEffectAtIndex(const LayerPtr&, uint64_t) override {}
  void layerEffectDidChangeModifyingState(const LayerPtr&, bool) override {}
  void moveLayer(const LayerPtr&, int64_t) override {}
};

// Gives the processor a black w x h picture as its initial layer and puts `layer` on top of it,
// with the engine canvas of that size.
inline void addLayerOverPicture(TestProcessor& processor, const std::shared_ptr<QVIPLayer>& layer, int w, int h) {
  auto image = rova::Image::make(rova::ImageDataRGBf::create(w, h));
  auto engineImage = std::make_shared<rova::ImageLayer>(image);
  processor.engine->addLayer(engineImage);
  processor.setInitialLayer(
      QVIPLayer::initWithCPPLayer(engineImage, processor.weakAs<QVParentLayerProtocol>(), processor.engine));
  processor.addLayer(layer);
  processor.waitForQueue();
  auto settings = layer->cppLayer()->transformSettings();
  settings.canvasSize = {w, h};
  layer->cppLayer()->setTransformSettings(settings);
}

// A layer with a name and some sublayers (no effects).
inline std::shared_ptr<QVIPLayer> namedLayer(const std::string& name,
                                             std::vector<std::shared_ptr<QVIPLayer>> subs = {}) {
  auto layer = QVIPLayer::initWithDefaultSettings();
  layer->setName(name);
  for (const auto& sub : subs) layer->mutableSubLayers().push_back(sub);
  return layer;
}

// The engine list after the queue ran, as (engine layer, level) pairs.
inline std::vector<std::pair<rova::BaseLayerPtr, uint64_t>> engineList(TestProcessor& p) {
  p.waitForQueue();
  std::vector<std::pair<rova::BaseLayerPtr, uint64_t>> out;
  for (const auto& layer : p.engine->layers()) out.emplace_back(layer, layer->level());
  return out;
}

// The depth-first walk of the model with depths as levels.
inline std::vector<std::pair<rova::BaseLayerPtr, uint64_t>> modelWalk(TestProcessor& p) {
  std::vector<std::pair<rova::BaseLayerPtr, uint64_t>> out;
  std::function<void(const std::shared_ptr<QVIPLayer>&, uint64_t)> walk = [&](const auto& layer, uint64_t depth) {
    out.emplace_back(layer->cppLayer(), depth);
    for (const auto& sub : layer->subLayers()) walk(sub, depth + 1);
  };
  if (p.initial) walk(p.initial, 0);
  for (const auto& layer : p.stack) walk(layer, 0);
  return out;
}

// Names of the layers whose engine layers the engine list holds, with levels ("A0 A11 ...").
inline std::string describe(TestProcessor& p, const std::vector<std::pair<rova::BaseLayerPtr, uint64_t>>& list) {
  std::map<const rova::BaseLayer*, std::string> names;
  std::function<void(const std::shared_ptr<QVIPLayer>&)> collect = [&](const auto& layer) {
    names[layer->cppLayer().get()] = layer->name();
    for (const auto& sub : layer->subLayers()) collect(sub);
  };
  if (p.initial) collect(p.initial);
  for (const auto& layer : p.stack) collect(layer);
  std::string out;
  for (const auto& [layer, level] : list) {
    auto it = names.find(layer.get());
    out += (out.empty() ? "" : " ") + (it == names.end() ? std::string("?") : it->second) + std::to_string(level);
  }
  return out;
}

}  // namespace solvane::test
