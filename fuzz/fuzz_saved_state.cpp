// Feeds arbitrary bytes to the saved-state reader: a layer-state property list (as the edit
// history stores each step) read into a record, applied to a fresh layer and written back.
#include <cstddef>
#include <cstdint>

#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::Value dictionary = qv::PropertyList::read(data, size, nullptr);
  if (!dictionary.isDictionary()) return 0;
  auto layer = QVIPLayerFactory::layer();
  if (auto state = QVLayerState::initWithDic(dictionary, layer)) {
    state->updateLayer(layer);
    (void)state->serialize();
    (void)state->stateHash();
  }
  if (auto bare = QVLayerState::initWithoutSublayersAndEffectsFromInfo(dictionary)) (void)bare->serialize();
  qv::MainExecutor::shared().runUntilIdle();
  return 0;
}
