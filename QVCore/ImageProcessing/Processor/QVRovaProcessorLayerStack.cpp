#include "QVCore/ImageProcessing/Processor/QVRovaProcessorLayerStack.h"

#include <algorithm>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVPlatform/Additions.h"

std::vector<QVRovaProcessorLayerStack::LayerPtr> QVRovaProcessorLayerStack::layers() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return layers_;
}

size_t QVRovaProcessorLayerStack::count() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return layers_.size();
}

bool QVRovaProcessorLayerStack::contains(const LayerPtr& layer) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return std::find(layers_.begin(), layers_.end(), layer) != layers_.end();
}

bool QVRovaProcessorLayerStack::insert(const LayerPtr& layer, size_t index) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (index > layers_.size()) return false;
  layers_.insert(layers_.begin() + int64_t(index), layer);
  return true;
}

void QVRovaProcessorLayerStack::append(const LayerPtr& layer) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  layers_.push_back(layer);
}

std::optional<size_t> QVRovaProcessorLayerStack::remove(const LayerPtr& layer) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = std::find(layers_.begin(), layers_.end(), layer);
  if (it == layers_.end()) return std::nullopt;
  const size_t index = size_t(it - layers_.begin());
  layers_.erase(it);
  return index;
}

void QVRovaProcessorLayerStack::removeAll(const LayerPtr& layer) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::erase(layers_, layer);
}

void QVRovaProcessorLayerStack::removeLast() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!layers_.empty()) layers_.pop_back();
}

bool QVRovaProcessorLayerStack::canMove(const LayerPtr& layer, size_t index) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return qv::canMoveObject(layers_, layer, index);
}

bool QVRovaProcessorLayerStack::move(const LayerPtr& layer, size_t index) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return qv::moveObject(layers_, layer, index);
}

QVRovaProcessorLayerStack::LayerPtr QVRovaProcessorLayerStack::active() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return active_;
}

void QVRovaProcessorLayerStack::setActive(LayerPtr layer) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  active_ = std::move(layer);
}

QVRovaProcessorLayerStack::LayerPtr QVRovaProcessorLayerStack::edited() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return edited_;
}

void QVRovaProcessorLayerStack::setEdited(LayerPtr layer) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  edited_ = std::move(layer);
}
