#pragma once
// The render path of one QVRovaProcessor: it turns render requests (QVIPProcessParams) into
// operations on the processor's processing queue, answers them from its three result caches
// (previews, thumbnails, unprocessed regions) when the state and request keys match, else runs the
// engine, and keeps the latest operation of each render kind so that a newer request of that kind
// cancels and interrupts the older one.
//
// Owns: the result caches (made on first use), the four latest-wins operation slots and the cache
// keys' text. Reads the processor's model (layers, crop, switches) through its public interface.
//
// Threads: requests and keys are built on the caller's thread (the model's, normally the main
// thread); the engine part of a render runs on the processor's processing queue; deliveries go
// where the request asks. The caches and slots are guarded by this object's own mutex, a leaf lock:
// it is never held while calling out (engine, operations, completions or the processor), so it
// cannot take part in a lock cycle with the processor's recursive mutex.
//
// Lifetime: the processor owns its renderer and the renderer never outlives it; queued blocks hold
// the processor weakly and reach the renderer through it.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Processor/QVIPProcessOperation.h"
#include "QVCore/ImageProcessing/Processor/QVIPProcessParams.h"
#include "QVCore/ImageProcessing/Processor/QVRovaCache.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVPlatform/Additions.h"
#include "rova/layers/BaseLayer.h"

class QVRovaProcessor;

class QVRovaProcessorRenderer {
 public:
  using OperationPtr = std::shared_ptr<QVIPProcessOperation>;
  // image, thumbnail, unprocessed region, fit size, rectangle (the processor's Completion).
  using Completion = std::function<void(QVIPImagePtr image, QVIPImagePtr thumbnail, QVIPImagePtr originalRoi,
                                        CGSize fitSize, CGRect rect)>;
  // The render kinds that are latest-wins among themselves.
  enum class Kind { LowRes, OriginalLowRes, ImageRect, FullSize };

  explicit QVRovaProcessorRenderer(QVRovaProcessor& owner);
  // Cancels and interrupts the operations still held.
  ~QVRovaProcessorRenderer();
  QVRovaProcessorRenderer(const QVRovaProcessorRenderer&) = delete;
  QVRovaProcessorRenderer& operator=(const QVRovaProcessorRenderer&) = delete;

  // ---- Keys ----
  std::string renderKey(const QVIPProcessParams& params) const;
  std::string renderSettingsText(const QVIPProcessParams& params) const;
  // The default processor state text the caches are keyed on.
  std::string defaultStateID() const;

  // ---- Caches ----
  std::shared_ptr<QVRovaCache> previewsCache();
  std::shared_ptr<QVRovaCache> originalRoiCache();
  std::shared_ptr<QVRovaCache> thumbnailsCache();
  void clearCaches();

  // ---- Requests (the processor's render methods, same rules) ----
  OperationPtr operationForProcessImageWithParams(const std::shared_ptr<QVIPProcessParams>& params,
                                                  Completion completion);
  OperationPtr operationForProcessImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth,
                                            bool applyCrop, Completion completion);
  OperationPtr operationForProcessImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth,
                                            bool applyCrop, bool disableShowMask, bool disableHotPixels,
                                            bool disableColdPixels, bool disableCache, bool obtainOriginalRoi,
                                            bool async, bool runCallbackInBackground, Completion completion);
  void processImageWithParams(const std::shared_ptr<QVIPProcessParams>& params, Completion completion);
  void processImageRect(CGRect rect, CGSize fitSize, Completion completion);
  void processImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth, bool obtainOriginalRoi,
                        bool async, Completion completion);
  void processFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth, bool disableShowMask,
                                          bool disableHotPixels, bool disableColdPixels, bool disableCache, bool async,
                                          Completion completion);
  void processNotCroppedFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth,
                                                    bool disableShowMask, bool disableHotPixels, bool disableColdPixels,
                                                    bool disableCache, bool async, Completion completion);
  static CGSize lowResFitSize(CGSize size);
  void processLowResAndClampResult(bool clamp, bool async, Completion completion);
  void processOriginalLowResAndClampResult(Completion completion);
  // The first layer's unprocessed pixels (its working image); nullptr for other layers.
  QVIPImagePtr originalRoiFromLayer(const rova::BaseLayerPtr& layer);

  // ---- Cancellation ----
  OperationPtr operation(Kind kind) const;
  // Empties the slots, then cancels and interrupts what they held.
  void cancelImageProcessingOperations();
  void cancelProcessingOperationsAndCompletions();

 private:
  // The modes a render reads when it is asked for.
  struct RenderModes {
    bool useCaches, lowRes, quickPreview, exportMode;
    std::string state;  // the state part of the cache keys, read when the render was built
  };
  // Builds the render operation; with `deferredDelivery` the delivery of a main-thread completion
  // is left in it for the waiting caller to run.
  OperationPtr makeRenderOperation(const std::shared_ptr<QVIPProcessParams>& params, Completion completion,
                                   const std::shared_ptr<qv::Block>& deferredDelivery);
  void runRender(const std::shared_ptr<QVIPProcessOperation>& op, const std::shared_ptr<QVIPProcessParams>& params,
                 const Completion& completion, RenderModes modes, const std::string& renderKey,
                 const std::string& settingsText, const std::string& regionKeyBase,
                 const rova::BaseLayerPtr& regionEngineLayer, const std::shared_ptr<qv::Block>& deferredDelivery);
  // Queues a render of a kind, cancelling (and interrupting) the kind's previous one; waits when asked.
  void queueKind(Kind kind, const std::shared_ptr<QVIPProcessParams>& params, Completion completion, bool wait);
  std::shared_ptr<QVRovaCache> cache(std::shared_ptr<QVRovaCache>& field);

  QVRovaProcessor& owner_;
  mutable std::mutex mutex_;  // guards the caches and slots below; a leaf lock
  std::shared_ptr<QVRovaCache> previewsCache_, originalRoiCache_, thumbnailsCache_;
  std::array<OperationPtr, 4> slots_;
};
