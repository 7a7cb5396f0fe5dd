#pragma once
// The processor as the layer model sees it: the top of every parent chain. Layers, effects and
// parameters reach it through their parents (QVParentLayerProtocol) and, where they need more than
// the chain gives, through `QVIPLayer::parentProcessor()`.
//
// What an implementation must do for the model:
// - `parentProcessingQueue()`: its serial operation queue (one operation at a time); every engine
//   call of its layers, effects and masks runs there. `performOnImageProcessingQueue` runs a block
//   at once when asked to wait and already on that queue, else queues it (waiting when asked).
// - `historyManager()`: its edit history (main thread only); `fullName()`: nullopt (the chain's
//   names end at the layers).
// - child reports: `childDidChangeState` with the kind (kQVChangeTypeStateInfoKey)
//   "QVLayerDidChangeSublayersNotification" must bring the engine's flat layer list into line with
//   the model at once (queued on the processing queue): the initial layer's `rovaWaySublayers`
//   (unless it is one of `layers()`), then those of every top-level layer, levels equal to depths.
// - `cppProcessor()`: the engine processor whose list holds the layers' engine layers.
// - `canvasSize()`, `cropDescription()`, `originalImage()`: what layers and effects read of the
//   picture; `layers()` (top-level stack, bottom first) and `initialLayer()` (the image layer).
// - notification suspension and the processing counter: layers raise the counter and suspend
//   the processor's state notifications around long engine work (texture loads), and undo both
//   on the main thread; the counter never goes below 0.
#include <memory>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Base/QVParentLayerProtocol.h"
#include "QVCore/Model/Entities/Values/QVTCropDescription.h"
#include "QVPlatform/MainExecutor.h"
#include "rova/Image.h"
#include "rova/processor/ImageProcessor.h"

class QVImageProcessorProtocol : public QVParentLayerProtocol {
 public:
  virtual rova::ImageProcessorPtr cppProcessor() const = 0;
  virtual void performOnImageProcessingQueue(qv::Block block, bool sync) = 0;

  // The picture's size (after orientation); zero before an image is loaded.
  virtual CGSize canvasSize() = 0;
  // nullptr when there is no crop.
  virtual std::shared_ptr<QVTCropDescription> cropDescription() const = 0;
  // The engine's unprocessed source picture; nullptr before loading.
  virtual rova::ImagePtr originalImage() = 0;

  virtual std::vector<std::shared_ptr<QVIPLayer>> layers() const = 0;
  virtual std::shared_ptr<QVIPLayer> initialLayer() const = 0;

  virtual void setPostStateNotificationsSuspended(bool suspended) = 0;
  virtual void increaseProcessingCounter() = 0;
  virtual void decreaseProcessingCounter() = 0;
};
