#pragma once
// The engine-backed image processor: one engine ImageProcessor, the initial image layer at the
// bottom, the stack of layers above it, one serial processing queue on which every engine call
// runs, three result caches and a notification queue for state changes.
//
// Loading: `loadImageAtURL` (and the `loadImageFromURLs` family) read the picture into a new
// image layer on the processing queue and install it as the initial layer.
//
// Rendering: every render is one QVIPProcessOperation built by `operationForProcessImageWithParams`
// and run on the processing queue. It answers from the result caches when the processor state and
// the request match, else sets the engine's region, fit size and flags, runs the engine and wraps
// the result in a QVIPImage. Renders are latest-wins per kind (rectangle, full size, low
// resolution): a new request cancels the previous one and sets its interrupt flag, so a render
// that already runs stops early. The completion gets, in order: image, thumbnail, unprocessed
// region (only when asked for), fit size and rectangle; an interrupted or impossible render
// delivers no images, a zero size and a zero rectangle.
//
// Threads: model work (layers, activation, notifications) on the main thread; engine work on the
// processing queue; completions on the main thread unless the request asks for the processing
// queue. A request that waits (`isAsync` false) and delivers on the main thread may be made from
// the main thread: its completion then runs on the caller's thread once the render is done.
// Blocks queued elsewhere hold the processor weakly.
//
// Collaborators, each with its own header and thread rule: QVRovaProcessorRenderer (render
// requests, result caches and keys; its own leaf lock), QVRovaProcessorStateStore (saved states,
// the history reference, the reporting mode; its own leaf lock) and QVRovaProcessorLayerStack
// (the layers, the active and the edited layer; under this processor's mutex). The processor's
// public methods forward to them. Method groups of the processor itself live in
// QVRovaProcessor+Name.cpp files (Derived, LayerOperations, Orientation, RenderedLayers).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPImageLayer.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/Processor/QVIPProcessOperation.h"
#include "QVCore/ImageProcessing/Processor/QVIPProcessParams.h"
#include "QVCore/ImageProcessing/Processor/QVNotificationQueue.h"
#include "QVCore/ImageProcessing/Processor/QVRovaCache.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorLayerStack.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorRenderer.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorStateStore.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Pasteboard.h"

class QVIPEffectsProvider;
class QVLayerStateModelProtocol;
class QVCloneAndStampProcessorProtocol;
class QVIPMask;

// ---- Notifications (object: the processor) ----
inline constexpr const char* kQVImageProcessorDidUpdate = "kQVImageProcessorDidUpdate";
inline constexpr const char* kQVImageProcessorImageDidLoad = "kQVImageProcessorImageDidLoad";
inline constexpr const char* kQVImageProcessorIninitialLayerUpdated = "kQVImageProcessorIninitialLayerUpdated";
inline constexpr const char* kQVImageProcessorStateDidChange = "kQVImageProcessorStateDidChange";
inline constexpr const char* kQVImageProcessorLayersListDidChange = "kQVImageProcessorLayersListDidChange";
inline constexpr const char* kQVImageProcessorActiveLayerDidChange = "kQVImageProcessorActiveLayerDidChange";
inline constexpr const char* kQVImageProcessorAddedLayersIndexes = "kQVImageProcessorAddedLayersIndexes";
// Layer stack and saved states (QVRovaProcessor+LayerOperations.cpp, QVRovaProcessorStateStore).
inline constexpr const char* kQVRemovedLayersIndexes = "kQVRemovedLayersIndexes";
inline constexpr const char* kQVImageProcessorEditedLayerWillChange = "kQVImageProcessorEditedLayerWillChange";
inline constexpr const char* kQVImageProcessorEditedLayerDidChange = "kQVImageProcessorEditedLayerDidChange";
inline constexpr const char* kQVImageProcessorCropDescriptionWillChange = "kQVImageProcessorCropDescriptionWillChange";
inline constexpr const char* kQVImageProcessorWillRestoreFromCropState = "kQVImageProcessorWillRestoreFromCropState";
inline constexpr const char* kQVImageProcessorCropDescriptionDidChange = "kQVImageProcessorCropDescriptionDidChange";
inline constexpr const char* kQVImageProcessorBottomLayersDidChange = "kQVImageProcessorBottomLayersDidChange";
inline constexpr const char* kQVHistoryStateWillRestoreNotification = "QVHistoryStateWillRestoreNotification";
inline constexpr const char* kQVHistoryStateDidRestoreNotification = "QVHistoryStateDidRestoreNotification";
inline constexpr const char* kQVHistoryStateKey = "kQVHistoryStateKey";
inline constexpr const char* kQVImageProcessorLayersArrangementDidChange =
    "kQVImageProcessorLayersArrangementDidChange";
inline constexpr const char* kQVImageProcessorFiltersArrangementDidChange =
    "kQVImageProcessorFiltersArrangementDidChange";
inline constexpr const char* kQVImageProcessorImageOrientationDidChange = "kQVImageProcessorImageOrientationDidChange";
// The pasteboard type of a copied mask.
inline constexpr const char* kQVPasteboardTypeImageAlphaData = "QVPasteboardTypeImageAlphaData";
inline constexpr const char* kQVImageProcessorMaskVisibilityDidChange = "kQVImageProcessorMaskVisibilityDidChange";
inline constexpr const char* kQVImageProcessorShowClippingDidChange = "kQVImageProcessorShowClippingDidChange";
// A restore that loads textures: start when the first such load begins, finish after the engine
// work the restore queued.
inline constexpr const char* kQVImageProcessorHardStateStartChangeNotification =
    "kQVImageProcessorHardStateStartChangeNotification";
inline constexpr const char* kQVImageProcessorHardStateFinishChangeNotification =
    "kQVImageProcessorHardStateFinishChangeNotification";
// The first render started and the last one finished (main thread).
inline constexpr const char* kQVImageProcessorDidStartProcessingNotification =
    "QVImageProcessorDidStartProcessingNotification";
inline constexpr const char* kQVImageProcessorDidEndProcessingNotification =
    "QVImageProcessorDidEndProcessingNotification";

class QVRovaProcessor : public QVModelObject, public QVImageProcessorProtocol, public QVHistoryManagerDelegate {
 public:
  using Ptr = std::shared_ptr<QVRovaProcessor>;
  using LayerPtr = std::shared_ptr<QVIPLayer>;
  using ImageLayerPtr = std::shared_ptr<QVIPImageLayer>;
  using OperationPtr = std::shared_ptr<QVIPProcessOperation>;
  // image, thumbnail, unprocessed region, fit size, rectangle.
  using Completion = QVRovaProcessorRenderer::Completion;

  // ---- Creation ----
  // An empty processor: a new engine processor with its update callback, notifications on.
  static Ptr init() { return create<QVRovaProcessor>(); }
  // `init`, then the picture read at once (synchronously) into the initial layer; the processor
  // stays empty when the file cannot be read.
  static Ptr initWithURL(const std::string& path);
  // Adopts an engine processor and builds the layer objects from its list.
  static Ptr initWithRovaProcessor(const rova::ImageProcessorPtr& engine);
  // A copy: a copy of the other's engine processor, adopted, with the active layer at the other's
  // active index.
  static Ptr initWithImageProcessor(QVRovaProcessor& other);

  // Subclasses are made the same way (the set-up needs the object's shared owner).
  template <class T>
  static std::shared_ptr<T> create() {
    auto p = std::make_shared<T>();
    p->setUp();
    return p;
  }
  QVRovaProcessor();
  ~QVRovaProcessor() override;
  QVRovaProcessor(const QVRovaProcessor&) = delete;
  QVRovaProcessor& operator=(const QVRovaProcessor&) = delete;

  // ---- Initial layer ----
  LayerPtr initialLayer() const override;
  ImageLayerPtr initialImageLayer() const;
  // Installs the bottom layer: its engine layer at engine index 0, the processor as its parent,
  // the engine list validated, "kQVImageProcessorIninitialLayerUpdated" posted.
  virtual void setInitialLayer(const ImageLayerPtr& layer);
  // Whether the initial layer also stands first in `layers()` (layered-document variants).
  virtual bool useInitialLayerAsFirst() const { return false; }
  virtual std::string initialLayerDefaultName() const;
  // Reads the first path into the layer (on the processing queue).
  virtual bool configureInitialLayer(const ImageLayerPtr& layer, const std::vector<std::string>& paths,
                                     bool fastRawPreview = true);

  // ---- Loading ----
  // Reads synchronously into a new image layer (named, made active, not installed); nullptr when
  // the file cannot be read.
  ImageLayerPtr loadImageFromURL(const std::string& path);
  void loadImageFromURL(const std::string& path, Completion completion) {
    loadImageFromURLs({path}, std::move(completion));
  }
  void loadImageFromURLs(const std::vector<std::string>& paths, Completion completion);
  // Reads the first path on the processing queue; on the main thread installs the layer, rebuilds
  // the unprocessed preview and delivers it with the thumbnail (both nullptr after a failure).
  void loadImageFromURLs(const std::vector<std::string>& paths, bool useFastRaw, Completion completion);
  // Reads the picture into a new initial layer on the processing queue and delivers the unprocessed
  // picture fitted into `fitSize` (nullptr when it cannot be read), on the processing queue. A camera
  // RAW file is decoded at half size (with the fast RAW preview switch on) only when half its size
  // still covers the fitted picture.
  void loadImageAtURL(const std::string& path, CGSize fitSize, std::function<void(QVIPImagePtr)> completion);
  // Why the last `loadImageAtURL` failed (the engine's reason); empty after a success.
  std::string lastLoadError() const;
  // Whether a RAW file's half-size decode still covers `fitSize` fitted over its picture (false for
  // a zero box, which asks for the full size).
  static bool halfSizeCovers(CGSize picture, CGSize fitSize);
  // The unprocessed picture at the engine's preview scale (cached); nullptr without a picture.
  QVIPImagePtr originalLowResImage();
  // That picture cut to the crop (at the same scale, with the crop's rotation); cached.
  QVIPImagePtr originalCroppedLowResImage();
  // The unprocessed picture fitted into the size, never enlarged; nullptr without a picture.
  QVIPImagePtr imageFittingSize(CGSize size);
  // The fitted size `imageFittingSize` uses for a canvas.
  static CGSize fittingSize(CGSize canvas, CGSize box);
  bool isInvalid() const { return invalid_.load(); }
  ImageLayerPtr loadingLayer() const;

  // ---- Geometry and engine access ----
  rova::ImageProcessorPtr cppProcessor() const override { return cppProcessor_; }
  CGSize canvasSize() override;
  // The crop rectangle's size with a crop that is not the identity, else the canvas size.
  CGSize imageSize();
  // The scale of the engine's low-resolution pictures, the canvas at that scale (rounded down)
  // and the crop rectangle at that scale (zero without a crop).
  static constexpr double lowResScale() { return 0.3; }
  CGSize lowResSize();
  CGRect lowResRect() const;
  // Sets the engine's crop rectangle (whole pixels) without touching the crop description.
  void updateCropRect(CGRect rect);
  std::shared_ptr<QVTCropDescription> cropDescription() const override;
  void setCropDescriptionField(std::shared_ptr<QVTCropDescription> crop);
  rova::ImagePtr originalImage() override;
  // The engine's unprocessed picture at preview scale.
  virtual rova::ImageDataRGBfPtr originalImageForPreview();
  rova::ImageDataRGBfPtr lastResult();
  rova::ImageDataRGBfPtr lastResultThumbnail();
  uint64_t imageWidth();
  uint64_t imageHeight();
  QVIPImagePtr getOriginalThumbnail();
  std::shared_ptr<QVExifInfo> exifInfo() const;
  QVIPEffectsProvider& effectsProvider() const;
  uint64_t orientation() const { return orientation_; }

  // ---- Queue ----
  std::shared_ptr<qv::OperationQueue> imageProcessingQueue();
  std::shared_ptr<qv::OperationQueue> parentProcessingQueue() override { return imageProcessingQueue(); }
  // Inline when asked to wait and already on the queue; otherwise queued (waiting when asked).
  void performOnImageProcessingQueue(qv::Block block, bool sync) override;
  void setSuspendProcessing(bool suspend);

  // ---- Rendering ----
  // The operation of one render, not queued; nullptr (after calling the completion at once with
  // nothing) when there is no picture or the rectangle is empty.
  OperationPtr operationForProcessImageWithParams(const std::shared_ptr<QVIPProcessParams>& params,
                                                  Completion completion);
  OperationPtr operationForProcessImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth,
                                            bool applyCrop, Completion completion);
  OperationPtr operationForProcessImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth,
                                            bool applyCrop, bool disableShowMask, bool disableHotPixels,
                                            bool disableColdPixels, bool disableCache, bool obtainOriginalRoi,
                                            bool async, bool runCallbackInBackground, Completion completion);
  // The rectangle render: cancels the previous one, queues this one, waits when not asynchronous.
  void processImageWithParams(const std::shared_ptr<QVIPProcessParams>& params, Completion completion);
  // Colour space 1, depth 16, no crop, engine cache off, delivered on the processing queue.
  void processImageRect(CGRect rect, CGSize fitSize, Completion completion);
  void processImageRect(CGRect rect, CGSize fitSize, int64_t colorspace, int64_t depth, bool obtainOriginalRoi,
                        bool async, Completion completion);
  // The whole picture (the crop's, with a crop) at the size; latest-wins among full-size renders.
  void processFullSizeImageWithColorspace(int64_t colorspace, int64_t depth, Completion completion);
  void processFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth, bool disableShowMask,
                                          bool disableHotPixels, bool disableColdPixels, bool disableCache, bool async,
                                          Completion completion);
  // As the full-size render, with the engine's crop taken away for this render only: the crop is
  // put back on the processing queue before the completion runs.
  void processNotCroppedFullSizeImageWithColorspace(int64_t colorspace, CGSize newSize, int64_t depth,
                                                    bool disableShowMask, bool disableHotPixels, bool disableColdPixels,
                                                    bool disableCache, bool async, Completion completion);
  // The fit size of low-resolution renders: at most 1700 pixels on the long side, never enlarged.
  static CGSize lowResFitSize(CGSize size);
  void processLowResAndClampResult(bool clamp, bool async, Completion completion);
  void processLowResWithCompletionHandler(Completion completion, bool async = true) {
    processLowResAndClampResult(false, async, std::move(completion));
  }
  void processOriginalLowResAndClampResult(Completion completion);
  // The first layer's unprocessed pixels (its working image) as an image; nullptr for other layers.
  virtual QVIPImagePtr obtainOriginalRoiFromLayer(const rova::BaseLayerPtr& layer, bool forQuickPreviewMode);

  // The render key of a request: the rectangle and fit size, then the settings text.
  std::string renderKey(const QVIPProcessParams& params) const;
  std::string renderSettingsText(const QVIPProcessParams& params) const;
  // The processor state text the result caches are keyed on (equal states, equal texts).
  virtual std::string stateID();

  // ---- Cancellation ----
  void cancelImageProcessingOperations();
  // Cancels every render and the load in progress and empties the queue.
  void cancelProcessingQueue();
  void cancelProcessingOperationsAndCompletions();
  OperationPtr processImageRectOperation() const;

  // ---- Caches ----
  std::shared_ptr<QVRovaCache> previewsCache();
  std::shared_ptr<QVRovaCache> originalRoiCache();
  std::shared_ptr<QVRovaCache> thumbnailsCache();
  void clearCaches();
  // The result caches, the unprocessed previews and the engine's own cache (on the queue).
  void clearMemory();
  // Detaches the initial layer and every stacked layer from the engine processor.
  void reset();

  // ---- Switches ----
  bool isLocalCacheDisabled() const { return localCacheDisabled_.load(); }
  void setLocalCacheDisabled(bool v) { localCacheDisabled_.store(v); }
  bool isProcessorCacheEnabled() const { return processorCacheEnabled_; }
  void setProcessorCacheEnabled(bool v) { processorCacheEnabled_ = v; }
  bool isExportMode() const { return exportMode_.load(); }
  void setExportMode(bool v) { exportMode_.store(v); }
  // When set, the processor's picture is rendered once, whole, by an export render without the cache,
  // and the processor is then let go (a one-photo export task): that render makes its result in the
  // decoded picture's own buffer rather than in a copy (a full-size picture less in time and
  // memory), and the picture is gone from the processor afterwards. Off by default.
  bool isSingleRender() const { return singleRender_.load(); }
  void setSingleRender(bool v) { singleRender_.store(v); }
  // When set, loadImageAtURL with a fit size decodes the file only as large as that size needs (a
  // processor made for one preview or one resized export): the canvas is then the reduced
  // picture's size, and regions are asked of it in its own pixels. Off by default: a document's
  // processor keeps the full picture for every later region and export.
  bool isReducedReadForFitSize() const { return reducedReadForFitSize_.load(); }
  void setReducedReadForFitSize(bool v) { reducedReadForFitSize_.store(v); }
  bool isLowResMode() const { return lowResMode_.load(); }
  void setLowResMode(bool v) { lowResMode_.store(v); }
  bool isQuickPreviewMode() const { return quickPreviewMode_.load(); }
  void setQuickPreviewMode(bool v) { quickPreviewMode_.store(v); }
  bool isWorkInBackground() const { return workInBackground_.load(); }
  void setWorkInBackground(bool v) { workInBackground_.store(v); }
  bool notify() const { return notify_; }
  void setNotify(bool notify);
  // Whether the engine's updates (after a load, a new picture) reach the model on the main thread
  // (`update`). A processor whose model another thread drives (a background task's) turns them
  // off: its loads publish complete layers, and the main thread must not touch a model that
  // thread is changing.
  bool updatesModelOnMainThread() const { return updatesModelOnMainThread_; }
  void setUpdatesModelOnMainThread(bool on) { updatesModelOnMainThread_ = on; }
  uint64_t overlayPixelsType() const { return overlayPixelsType_.load(); }
  // Overlays: the edited layer's mask, the engine's clipping marks and its overlay pixel kind
  // (the engine is told 0, 1 or 2). Setting the current value does nothing.
  bool showMask() const { return showMask_; }
  void setShowMask(bool show);
  bool showHotPixels() const { return showHotPixels_; }
  void setShowHotPixels(bool show);
  bool showColdPixels() const { return showColdPixels_; }
  void setShowColdPixels(bool show);
  void setOverlayPixelsType(uint64_t type);
  LayerPtr editedLayer() const;
  void setEditedLayerField(LayerPtr layer);

  // ---- Layer stack (the part loading and rendering need) ----
  std::vector<LayerPtr> layers() const override;
  // Inserts at the index (nothing for nullptr or an index above the count), attaches the layer to
  // this processor, validates the engine list and announces the change.
  void addLayer(const LayerPtr& layer, uint64_t index);
  void addLayer(const LayerPtr& layer);
  LayerPtr activeLayer() const;
  void setActiveLayer(const LayerPtr& layer, bool skipStateDidChangeNotification = false);
  void validateActiveLayer(bool skipStateDidChangeNotification);
  // Brings the engine's flat list into line with the model (on the processing queue).
  void doRovaLayersValidation();
  // Validation again in 0.2 s on the main thread; a newer schedule replaces a pending one.
  void scheduleRovaLayersValidation();

  // ---- Notifications and counters ----
  std::shared_ptr<QVNotificationQueue> notificationQueue();
  void setNeedsDisplay() { setNeedsDisplayWithInfo(std::nullopt); }
  void setNeedsDisplayWithInfo(const QVNotificationQueue::Info& info);
  void setPostStateNotificationsSuspended(bool suspended) override;
  // Posts the waiting state records now.
  void forcePostStateNotifications();
  void performBlock(const std::function<void()>& block) {
    if (block) block();
  }
  void increaseProcessingCounter() override;
  void decreaseProcessingCounter() override;
  uint64_t processingCounter() const { return processingCounter_.load(); }
  bool isProcessing() const { return processing_.load(); }
  uint64_t loadedImageState() const { return loadedImageState_.load(); }
  // 0 without a layer; the layer's load state plus one for load states 0 to 3; else 0.
  void updateLoadStateFromLayer(const ImageLayerPtr& layer);
  // The main-thread half of the engine's update: caches dropped, the initial layer refreshed,
  // "kQVImageProcessorDidUpdate" posted.
  void update();

  // ---- Parent chain ----
  // A texture load during an undo, redo or jump starts a long change (start notification); the
  // restore finishes it.
  void childWillChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override;
  // Engine list, edited layer and caches follow the change; "kQVImageProcessorStateDidChange" is
  // posted at once, or coalesced while notify-async is on (as during a restore).
  void childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override;
  // A layer that could not follow its twin: this processor no longer mirrors its source.
  void childInvalidated(const std::shared_ptr<QVModelObject>&) override { setInvalid(true); }
  void setInvalid(bool invalid) { invalid_.store(invalid); }
  bool needProgressForChangingState() const { return needProgressForChangingState_.load(); }
  void setNeedProgressForChangingState(bool v) { needProgressForChangingState_.store(v); }
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return stateStore_->historyManager(); }
  // Keeps the history weakly and becomes its delegate.
  void setHistoryManager(std::weak_ptr<QVHistoryManagerProtocol> history);
  std::optional<std::string> fullName() override { return std::nullopt; }
  void layerDidToggleEnabled(const LayerPtr&, bool) override { setNeedsDisplay(); }
  void layerDidChangeEffectAtIndex(const LayerPtr&, uint64_t) override { setNeedsDisplay(); }
  void layerEffectDidChangeModifyingState(const LayerPtr&, bool) override {}
  // Moves a top-level layer to the index (history step "<name>: Moved To Position"); the engine
  // list follows with the layer's whole subtree.
  void moveLayer(const LayerPtr& layer, int64_t index) override;

  // ---- Layer stack operations (QVRovaProcessor+LayerOperations.cpp) ----
  // The stack itself is QVRovaProcessorLayerStack.
  // New layers are named "Adjustment Layer <n>" with the next free number and register a step.
  LayerPtr createLayer();
  virtual LayerPtr createLayerAtIndex(uint64_t index);
  virtual LayerPtr createImageLayerAtIndex(uint64_t index);
  virtual LayerPtr createLayerAtIndex(uint64_t index, uint64_t layerType);
  virtual LayerPtr createOriginalImageLayerAtIndex(uint64_t index, const std::string& imageName);
  // nullptr for level 0.
  LayerPtr createSharpenLayerWithLevel(uint64_t level, uint64_t index);
  // The base name, a space and one more than the highest number top-level layers carry after it.
  std::string incrementedLayerName(const std::string& baseName, uint64_t startIndex) const;
  std::string layerNameWithNumber(uint64_t number) const;
  bool canAddNewLayers() const;
  bool canAddNewFilters() const;
  virtual bool canDuplicateLayer(const LayerPtr& layer) const;
  // A copy named "Copy of <name>" directly above the source, made active.
  void duplicateLayer(const LayerPtr& source);
  // The last remaining layer is never removed.
  virtual bool canRemoveLayer(const LayerPtr& layer) const;
  void removeLayer(const LayerPtr& layer);
  void removeLastLayer();
  // Drops the top list entry only (no step, no validation, no notification).
  void forceRemoveLastLayer();
  LayerPtr getLastTextureLayer() const;
  virtual bool canEditLayer(const LayerPtr&) const { return true; }
  void setEditedLayer(const LayerPtr& layer);
  void finishDrawing();
  // The preset's layers become the sublayers of `onLayer` (the active layer for nullptr).
  virtual void applyPresetWithLayers(const std::vector<LayerPtr>& presetLayers,
                                     const std::optional<std::string>& presetUUID, const LayerPtr& onLayer);
  void applyLayers(const std::vector<LayerPtr>& list);
  // Brush strokes of every layer's mask (the initial layer's tree included) into stored masks;
  // true when any layer had strokes.
  bool migrateBrushStackToLayerMask();
  void clearAndPrepareForReuse();
  // Follows another processor: false for nullptr, a different stack size or any layer that cannot
  // sync with its counterpart. On success this processor mirrors the other's later additions,
  // removals, activations and orientation; a rearrangement or a failure marks it invalid.
  bool syncWithProcessor(const std::shared_ptr<QVRovaProcessor>& other);
  std::shared_ptr<QVRovaProcessor> syncProcessor() const;
  void observeNotificationsFromImageProcessor(const std::shared_ptr<QVRovaProcessor>& source);
  void stopObservingNotificationsFromImageProcessor(const std::shared_ptr<QVRovaProcessor>& source);
  void setCropDescription(const std::shared_ptr<QVTCropDescription>& crop);

  // ---- Derived processors and synchronised copies (QVRovaProcessor+Derived.cpp) ----
  // Each is built on the processing queue and delivered on the main thread; a derivation that
  // finds this processor gone delivers nullptr (copies) or nothing (the others).
  using ProcessorCompletion = std::function<void(Ptr)>;
  // A new, empty processor of this object's class (copies and flattened processors keep the class).
  virtual Ptr allocSameClass() const;
  // A clone-and-stamp processor over the full-size render and the union of the image layers' masks.
  void obtainCloneAndStampProcessor(std::function<void(std::shared_ptr<QVCloneAndStampProcessorProtocol>)> completion);
  // A processor of this class whose initial layer is the flattened full-size render.
  void obtainProcessorWithRasterizedImage(ProcessorCompletion completion);
  // The BT.709 luma of the uncropped canvas render, 0..1; a newer request cancels an older one,
  // whose completion then never runs.
  void obtainLuminosityMask(std::function<void(std::shared_ptr<QVIPMask>)> completion);
  // A copy over a copy of the engine processor (nothing at all without an initial layer).
  void obtainCopyAndDisableShowMask(bool disableShowMask, bool useCache, bool workInBackground,
                                    ProcessorCompletion completion, bool sync);
  void obtainCopyAndDisableShowMask(bool disableShowMask, ProcessorCompletion completion, bool sync = false);
  // A copy that follows this processor (`syncWithProcessor`); nullptr when that fails.
  void obtainSyncronizedCopy(ProcessorCompletion completion, bool useCache, bool workInBackground);
  void obtainSyncronizedCopy(ProcessorCompletion completion, bool workInBackground = false);
  void obtainSyncronizedCopyForExport(ProcessorCompletion completion);
  // The engine's preview and background processors of an image layer, as low-resolution base
  // processors; nothing for an adjustment layer or without a completion.
  void obtainImageLayerPreviewAndBackgroundProcessors(std::function<void(Ptr preview, Ptr background)> completion,
                                                      const LayerPtr& layer);

  // ---- Saved state (QVRovaProcessorStateStore) ----
  void historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                                 QVHistoryManagerDelegate::Completion completion) override;
  void historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                         QVHistoryManagerDelegate::Completion completion) override;
  void historyManagerRemoveStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid) override;
  std::optional<std::vector<std::string>> historyManagerAllTexturesFromStateUUID(QVHistoryManagerProtocol& manager,
                                                                                 const std::string& uuid) override;
  // The texture file names a step's state refers to (duplicates kept); nullopt when unreadable.
  std::optional<std::vector<std::string>> allTexturesFromStateUUID(const std::string& uuid);
  // Every nested "SubLayersStates" entry, level by level, the given entries excluded.
  static qv::Array allSublayersForLayers(const qv::Array& entries);
  static LayerPtr findLayerWithState(const std::shared_ptr<QVLayerStateModelProtocol>& state,
                                     const std::vector<LayerPtr>& list);
  bool isNotifyAsync() const { return stateStore_->isNotifyAsync(); }
  void setNotifyAsync(bool v) { stateStore_->setNotifyAsync(v); }
  // Saves the reporting mode and turns coalescing on; `disableNotifyAsync` puts the saved mode back
  // (one level, not nested).
  void enableNotifyAsync() { stateStore_->enableNotifyAsync(); }
  void disableNotifyAsync() { stateStore_->disableNotifyAsync(); }
  void updateWithNotifyAsync(const std::function<void()>& block);

  // ---- Orientation, mask copy and paste, colour pick (QVRovaProcessor+Orientation.cpp) ----
  // The picture's EXIF orientation 1 to 8: a change registers "Change Orientation", reaches the
  // initial layer, every stacked layer and (on the processing queue) the engine, and posts
  // "kQVImageProcessorImageOrientationDidChange" at once. Other values are logged and ignored.
  void setOrientation(uint64_t orientation);
  // 0 quarter turn counter-clockwise, 1 quarter turn clockwise, 2 mirror left-right, 3 mirror
  // top-bottom; other operations change nothing.
  void rotateFlip(uint64_t operation);
  static uint64_t orientationAfterRotateFlip(uint64_t operation, uint64_t orientation);
  // The document's own pasteboard (named after its history); nullptr without a history.
  std::shared_ptr<qv::Pasteboard> maskPasteboard();
  // The layer's engine mask (the edited, else the active layer for nullptr) onto the document's
  // pasteboard as "QVPasteboardTypeImageAlphaData": width and height (32-bit), then the values.
  void copyMask() { copyMaskFromLayer(nullptr); }
  void copyMaskFromLayer(const LayerPtr& layer);
  bool canReadMaskFromPasteboard();
  // The pasteboard's mask onto the layer (step "<name>: Mask Pasted"); nothing without mask data.
  void pasteMask() { pasteMaskToLayer(nullptr); }
  void pasteMaskToLayer(const LayerPtr& layer);
  // The white balance under which the picked colour becomes grey, from the top picture layer;
  // false (values untouched) without one. Waits for the processing queue.
  bool getTemperature(float& temperature, float& tint, const qv::RGBAColor& pickedColor);

  // ---- Layers made from renders (QVRovaProcessor+RenderedLayers.cpp) ----
  using LayerCompletion = std::function<void(LayerPtr)>;
  // Renders the set's layers (the others between them switched off meanwhile) into one new image
  // layer placed above the highest one and made active. Leave state: 0 removes the set, 1 its
  // enabled layers, 2 nothing ("Stamped Layer"), 3 and others every layer of the range except
  // those enabled outside the set. The completion gets nullptr when the render gave no pixels.
  void mergeLayersWithIndexes(const std::vector<uint64_t>& indexes, uint64_t leaveState, LayerCompletion completion);
  // The source processor's full render as "Denoise layer" directly above the active layer, made
  // the active and the edited layer.
  void applyDenoise(const std::shared_ptr<QVRovaProcessor>& source, LayerCompletion completion);
  // Fills the edited layer's masked area by inpainting the picture below it and inserts the result
  // as "Erased image layer" under it. Refused (error handler with title and message) when the mask
  // covers more than half the picture, or when the inpainting fails.
  using EraseErrorHandler = std::function<void(const std::string& title, const std::string& message)>;
  void applyEraseCompletion(LayerCompletion completion, EraseErrorHandler error);
  // The erase tool's working layer: a new layer "Erase" with a cleared mask, edited and active.
  void makeNewEraseLayer();
  // Clears the top layer's mask and makes it the active and edited layer again.
  void clearEraseLayer();
  // Told the inpainting's progress on the main thread.
  virtual void updateProgress(float) {}
  // The inpainting the erase calls: source picture, destination of its size, mask of its size
  // (non-zero where pixels are to be filled), method, parameter, cancel flag and progress; anything
  // but 0 is a failure. The engine's rova::inpaint_image is installed until another is set.
  using Inpainter = std::function<int(const rova::ImageDataRGBf& source, rova::ImageDataRGBf& destination,
                                      const rova::ImageDataF& mask, int method, float parameter,
                                      const std::atomic<uint8_t>& cancel, const std::function<void(float)>& progress)>;
  static void setInpainter(Inpainter inpainter);
  static Inpainter engineInpainter();

  std::string description() const;

 protected:
  // Engine processor, update callback and observers; run once right after construction.
  virtual void setUp();
  void adoptRovaProcessor(const rova::ImageProcessorPtr& engine);
  std::weak_ptr<QVRovaProcessor> weakSelf() { return weakAs<QVRovaProcessor>(); }

 private:
  // Queued render blocks hold the processor weakly and reach its renderer through it.
  friend class QVRovaProcessorRenderer;
  // A restore ends the long change a texture load started (needProgressForChangingState_).
  friend class QVRovaProcessorStateStore;
  QVRovaProcessorRenderer& renderer() const { return *renderer_; }
  void installLoadedLayer(const ImageLayerPtr& layer);
  void dropOriginalPreviews();
  void applicationWillTerminate();
  // Handlers of a followed processor's notifications.
  bool layersListDidChange(const qv::Notification& notification);
  void activeLayerDidChange();
  void layerArrangementDidChange(const qv::Notification& notification);
  // Stores a changed hot- or cold-pixel switch, tells the engine and announces it.
  void setClippingMarks(bool& field, bool show, void (rova::ImageProcessor::*engineSetter)(bool));

  mutable std::recursive_mutex mutex_;  // guards the fields below that several threads read
  rova::ImageProcessorPtr cppProcessor_;
  // The top-level layers, the active and the edited layer, under this mutex.
  QVRovaProcessorLayerStack layerStack_{mutex_};
  ImageLayerPtr initialLayer_;
  ImageLayerPtr loadingLayer_;
  std::string lastLoadError_;
  std::shared_ptr<QVTCropDescription> cropDescription_;
  std::shared_ptr<qv::OperationQueue> imageProcessingQueue_;
  std::shared_ptr<QVNotificationQueue> notificationQueue_;
  QVIPImagePtr originalLowResImage_, originalCroppedLowResImage_;
  CGSize canvasSize_{};
  uint64_t canvasGeneration_ = 0;  // raised whenever the cached canvas size is dropped
  uint64_t orientation_ = 1;
  std::atomic<uint64_t> overlayPixelsType_{0};
  std::atomic<uint64_t> processingCounter_{0};
  std::atomic<bool> processing_{false};
  std::mutex processingMutex_;  // the counter and `processing_` change together
  std::atomic<bool> needProgressForChangingState_{false};
  std::atomic<bool> invalid_{false};
  std::atomic<bool> localCacheDisabled_{false};
  std::atomic<bool> lowResMode_{false};
  std::atomic<bool> quickPreviewMode_{false};
  std::atomic<bool> exportMode_{false};
  std::atomic<bool> singleRender_{false};
  std::atomic<bool> reducedReadForFitSize_{false};
  std::atomic<bool> workInBackground_{false};
  bool processorCacheEnabled_ = false;
  bool notify_ = false;
  std::atomic<bool> updatesModelOnMainThread_{true};
  bool showMask_ = false, showHotPixels_ = false, showColdPixels_ = false;
  std::weak_ptr<QVRovaProcessor> syncProcessor_;
  std::vector<qv::ObserverToken> syncTokens_;
  std::atomic<uint64_t> scheduledValidation_{0};  // the pending scheduled validation's number
  std::atomic<uint64_t> loadedImageState_{0};
  qv::ObserverToken terminateToken_;
  // Handed to the inpainting as its cancel flag.
  std::atomic<uint8_t> cancelInpaintFlag_{0};
  // Derived processors: the last luminosity request (guarded by mutex_).
  std::shared_ptr<qv::BlockOperation> obtainLuminosityMaskOperation_;
  // Adopts an engine copy: the copy listens to its own engine's updates.
  void adoptRovaProcessorCopy(const rova::ImageProcessorPtr& engine);
  // Render requests, result caches and their keys, under the renderer's own leaf lock (last, so
  // it goes first and cancels what it still holds before the rest of the processor).
  std::unique_ptr<QVRovaProcessorRenderer> renderer_;
  // Saved states, the history reference and the reporting mode, under the store's own leaf lock.
  std::unique_ptr<QVRovaProcessorStateStore> stateStore_;
};
