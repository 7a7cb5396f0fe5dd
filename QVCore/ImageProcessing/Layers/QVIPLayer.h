#pragma once
// One adjustment layer of an image document and its place in the layer tree.
//
// Layers form a tree: the processor holds the top-level layers, every layer holds ordered
// sublayers and ordered effects. The engine knows no tree: its image processor holds ONE flat
// list of engine layers with levels, the depth-first walk of the tree (a layer, then its whole
// subtree, its sublayers one level deeper). `rovaWaySublayers` gives a layer's part of that list;
// the processor keeps the engine list in line when a layer reports a change of its sublayers.
//
// Every change keeps three things in step: the model (these fields, main thread), the engine layer
// (changed only on the parent processor's serial queue through `performOnParentProcessingQueue`,
// at once while the layer has no processor) and the observers (edit history, the parent through
// `childDidChangeState`, notifications posted on the main thread with the layer as object).
//
// Made through static factories (`initWithDefaultSettings`, `initWithCPPLayer`) or
// QVIPLayerFactory, always owned by a std::shared_ptr. The parent and the twin layer are weak.
//
// The layer's method groups live in QVIPLayer+Name.cpp files (Dictionary, Mask, State, Texture);
// its cancellable picture reads are a collaborator of their own, QVIPLayerImageReads.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Base/QVLayerMaskProtocol.h"
#include "QVCore/ImageProcessing/Base/QVParentLayerProtocol.h"
#include "QVCore/ImageProcessing/Base/QVWorkspaceModelProtocol.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Layers/QVBlendMode.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerImageReads.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/Model/Entities/Values/QVTCropDescription.h"
#include "QVPlatform/NotificationCenter.h"
#include "rova/layers/BaseLayer.h"
#include "rova/processor/ImageProcessor.h"

class QVImageProcessorProtocol;
class QVIPImage;
class QVIPMask;
class QVLayerStateModelProtocol;
class QVLensCorrectionSettingsProtocol;

// ---- Notifications (object: the layer) and their user-info keys ----
inline constexpr const char* kQVLayerDidChangeSublayersNotification = "QVLayerDidChangeSublayersNotification";
inline constexpr const char* kQVAddedSublayersIndexes = "QVAddedSublayersIndexes";  // array of indexes
inline constexpr const char* kQVSublayersIndexes = "QVSublayersIndexes";            // array of indexes
inline constexpr const char* kQVSublayersRemoveKey = "Remove";                      // boolean
inline constexpr const char* kQVModifyedLayer = "kQVModifyedLayer";                 // object
inline constexpr const char* kQVModifyedLayers = "kQVModifyedLayers";               // objects
inline constexpr const char* kQVImageLayerPositionDidChange = "kQVImageLayerPositionDidChange";
inline constexpr const char* kQVImageLayerEnableStateDidChange = "kQVImageLayerEnableStateDidChange";
inline constexpr const char* kQVLayerDidChangeNameNotification = "kQVLayerDidChangeNameNotification";
inline constexpr const char* kQVEffectListDidChangeSublayersNotification = "QVEffectListDidChangeSublayersNotification";
inline constexpr const char* kQVImageLayerAmountDidChange = "kQVImageLayerAmountDidChange";
inline constexpr const char* kQVImageLayerEffectsAmountDidChange = "kQVImageLayerEffectsAmountDidChange";
inline constexpr const char* kQVImageLayerBlendModeDidChange = "kQVImageLayerBlendModeDidChange";
inline constexpr const char* kQVBlendModeUserInfoKey = "blend";                   // object
inline constexpr const char* kQVAdjustmentLayerUserInfoKey = "adjustment layer";  // object
inline constexpr const char* kQVLayerEffectDidChanged = "kQVLayerEffectDidChanged";
inline constexpr const char* kQVLayerDidChangeTransformNotification = "kQVLayerDidChangeTransformNotification";
inline constexpr const char* kQVLayerDidChangeLensCorrectionSettingsNotification =
    "kQVLayerDidChangeLensCorrectionSettingsNotification";
inline constexpr const char* kQVLayerPresetDidReset = "QVLayerPresetDidReset";
inline constexpr const char* kQVLayerWorkspaceDidChangeNotification = "QVLayerWorkspaceDidChangeNotification";
inline constexpr const char* kQVLayerMaskDidChangeEnabledStateNotification =
    "QVLayerMaskDidChangeEnabledStateNotification";
// Change-info key whose presence marks a lens-transform change.
inline constexpr const char* kQVLensTransformDidChanged = "kQVLensTransformDidChanged";

// Catalogue identifiers the layer singles out.
inline constexpr const char* kQVDevelopLayerIdentifier = "DevelopAdjustmentLayer";
inline constexpr const char* kQVDodgeBurnLayerIdentifier = "DodgeBurnAdjustmentLayer";
inline constexpr const char* kQVDodgeBurnOverlayLayerIdentifier = "DodgeBurnOverlayLayer";

class QVIPLayer : public QVModelObject, public QVParentLayerProtocol, public QVProcessorChildProtocol {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;
  using LayerList = std::vector<LayerPtr>;
  using EffectList = std::vector<std::shared_ptr<QVIPEffect>>;

  QVIPLayer() = default;
  ~QVIPLayer() override;

  // ---- Creation ----
  // A new engine adjustment layer and the default settings (enabled, active, amounts 1).
  static LayerPtr initWithDefaultSettings();
  // A layer over an existing engine layer of `cppProcessor`'s list, with its effects and its whole
  // subtree rebuilt from the list (deeper levels become sublayers; a level that skips one is left
  // out). Starts inactive. Plain class: QVIPLayerFactory::layerWithCppLayer picks the class.
  static LayerPtr initWithCPPLayer(const rova::BaseLayerPtr& cppLayer, std::weak_ptr<QVParentLayerProtocol> parent,
                                   const rova::ImageProcessorPtr& cppProcessor);

  // ---- Tree ----
  LayerList subLayers() const { return subLayers_; }
  // The list itself: changing it bypasses history and notifications.
  LayerList& mutableSubLayers() { return subLayers_; }
  // The sublayers that are not hidden, in order.
  virtual LayerList visibleLayers() const;
  void addLayer(const LayerPtr& layer);
  void addLayer(const LayerPtr& layer, const LayerPtr& afterLayer);
  // The insertion without history; a develop layer always goes to index 0 (with history).
  void addLayer(const LayerPtr& layer, const LayerPtr& afterLayer, bool postDidChangeNotification);
  virtual void addLayers(LayerList layers);
  // An index past the end appends.
  void insertLayer(const LayerPtr& layer, uint64_t index, bool postDidChangeNotification = true);
  virtual void removeLayer(const LayerPtr& layer);
  void removeLastLayer();
  void removeAllLayers();
  virtual void setLayers(LayerList layers);
  // Re-attaches the layer's descendants (levels, processor) by setting its own list again.
  void validateSublayersForLayer(const LayerPtr& layer);
  // Moves a sublayer; the engine follows with the sublayer's whole subtree.
  void moveLayer(const LayerPtr& layer, int64_t index) override;
  bool hidden() const { return hidden_; }
  void setHidden(bool hidden);
  // The layer followed by its subtree in engine order.
  LayerList rovaWaySublayers();
  uint64_t cppSublayersCount() const;
  uint64_t level() const { return level_; }
  void setLevel(uint64_t level);
  bool isEqualToLayerOrItsAncestors(const LayerPtr& layer) const;
  bool containsDevelop() const;
  // The first sublayer when it is the develop layer.
  virtual LayerPtr developLayer();
  // Only the image layer answers true (for a raw picture).
  virtual bool isRaw() const { return false; }
  // The engine source picture of an image layer; nullptr for others.
  virtual rova::ImagePtr cppSourceImage() const { return nullptr; }

  // ---- Parent chain and queue ----
  std::shared_ptr<QVParentLayerProtocol> parent() const { return parent_.lock(); }
  void setParent(std::weak_ptr<QVParentLayerProtocol> parent);
  std::shared_ptr<qv::OperationQueue> parentProcessingQueue() override;
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override;
  // The nearest processor up the chain, walking while the ancestors are layers.
  std::shared_ptr<QVImageProcessorProtocol> parentProcessor() const;
  // The nearest processor up the chain, whatever lies between.
  std::shared_ptr<QVImageProcessorProtocol> currentProcessor() const;
  // Engine work: at once without a queue or when already on it; else queued (waiting on `sync`).
  void performOnParentProcessingQueue(const qv::Block& block, bool sync);
  rova::ImageProcessorPtr processor() const { return processor_; }
  void setProcessor(rova::ImageProcessorPtr processor) { processor_ = std::move(processor); }
  rova::BaseLayerPtr cppLayer() const { return cppLayer_; }

  // ---- Switches and names ----
  bool isEnabled() const { return isEnabled_; }
  virtual void setEnabled(bool enabled);
  bool isActive() const { return isActive_; }
  void setActive(bool active, bool skipStateDidChangeNotification = false);
  virtual bool shouldUpdateCppLayerEnabledState() const { return true; }
  // The engine layer is on only while the layer is both enabled and active.
  void updateCppLayerEnabledState();
  std::string name() const override { return name_; }
  void setName(const std::string& name) override;
  void updateNameWithPrefix(const std::string& prefix);
  std::optional<std::string> fullName() override;
  std::string identifier() const override { return identifier_; }
  void setIdentifier(const std::string& identifier) override { identifier_ = identifier; }
  virtual uint64_t layerType() const { return 0; }
  virtual bool isAdjustmentLayer() const { return isAdjustmentLayer_; }
  void setIsAdjustmentLayer(bool is) { isAdjustmentLayer_ = is; }
  CGRect layerRect() const;
  bool isDevelopLayer() const { return identifier_ == kQVDevelopLayerIdentifier; }
  bool isDevelopLayerOrDescendant() const;
  bool isDodgeBurnLayer() const { return identifier_ == kQVDodgeBurnLayerIdentifier; }
  bool isDodgeBurnOverlayLayer() const { return identifier_ == kQVDodgeBurnOverlayLayerIdentifier; }

  // ---- Effects ----
  const EffectList& effects() const { return effects_; }
  // Out-of-range indexes are refused (logged).
  void addEffect(const std::shared_ptr<QVIPEffect>& effect, uint64_t index);
  void addEffect(const std::shared_ptr<QVIPEffect>& effect) { addEffect(effect, effects_.size()); }
  void removeEffect(const std::shared_ptr<QVIPEffect>& effect);
  void removeAllEffects();

  // ---- Strength and blending ----
  double amount() const { return amount_; }
  void setAmount(double amount);
  double effectsAmount() const { return effectsAmount_; }
  void setEffectsAmount(double amount);
  // A plain "Normal" mode when none is set.
  std::shared_ptr<QVBlendMode> blendMode();
  void setBlendMode(const std::shared_ptr<QVBlendMode>& mode);
  std::shared_ptr<QVBlendMode> defaultBlendMode() const { return defaultBlendMode_; }
  void setDefaultBlendMode(std::shared_ptr<QVBlendMode> mode) { defaultBlendMode_ = std::move(mode); }
  bool blendModeModified() const { return blendModeModified_; }
  void setBlendModeModified(bool modified);
  std::shared_ptr<QVLensCorrectionSettingsProtocol> lensCorrectionSettings() const { return lensCorrectionSettings_; }
  void setLensCorrectionSettings(std::shared_ptr<QVLensCorrectionSettingsProtocol> s) {
    lensCorrectionSettings_ = std::move(s);
  }
  // The engine blend type of an identifier; nullopt for identifiers the engine does not know.
  static std::optional<rova::BlendModeType> engineBlendModeForIdentifier(const std::string& identifier);

  // ---- Resets ----
  void resetEffects();
  void resetEffectsAndBlendMode();
  void resetAll();
  virtual void resetAdjustmentLayers();
  // Detaches the tree from its engine processor.
  void reset();

  // ---- Copying settings ----
  // Only between layers with equal sublayer and effect counts; no history steps.
  void applyParamsFromLayer(const LayerPtr& source);
  void copyParamsFromLayer(const LayerPtr& source, const LayerPtr& duplicateFromLayer = nullptr,
                           bool adjustTransform = true, bool overrideNonDefault = true);
  void copyParamsFromLayerOverrideNonDefault(const LayerPtr& source, bool overrideNonDefault) {
    copyParamsFromLayer(source, nullptr, true, overrideNonDefault);
  }
  void updateEffectParametersContextWithOriginalImage(const rova::ImagePtr& image);

  // ---- Twin layers ----
  bool syncWithLayer(const LayerPtr& twin);
  LayerPtr syncLayer() const { return syncLayer_.lock(); }
  void setSyncLayer(const LayerPtr& twin) { syncLayer_ = twin; }
  void observeNotificationsFromLayer(const LayerPtr& twin);
  void stopObservingNotificationsFromLayer(const LayerPtr& twin);
  void layerDidChangeSublayers(const qv::Notification& notification);

  // ---- Change propagation ----
  void childWillChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override;
  void childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) override;
  void childInvalidated(const std::shared_ptr<QVModelObject>& child) override;
  void layerDidToggleEnabled(const LayerPtr&, bool) override {}
  void layerDidChangeEffectAtIndex(const LayerPtr&, uint64_t) override {}
  void layerEffectDidChangeModifyingState(const LayerPtr&, bool) override {}

  // ---- Change detection ----
  uint64_t effectsHash() const;
  bool hasChanges() const;

  // ---- State, preset identity, workspace ----
  // Drops the recorded state; with `dropPresetIdentity` also the preset identity.
  void resetState(bool dropPresetIdentity = true);
  // The state record, made on demand (QVLayerStateFactory) and kept until the next change.
  std::shared_ptr<QVLayerStateModelProtocol> state();
  // Applies a record of another identifier to the layer and keeps it; nullptr drops the held one.
  void setState(std::shared_ptr<QVLayerStateModelProtocol> state);
  void setTextureState(const std::shared_ptr<QVLayerStateModelProtocol>& state);
  // Drops the record here and up the chain of parent layers.
  void resetStateAscending();
  // Read and written from the main thread and the processing queue alike (a preset applied while a
  // reset runs): guarded by its own leaf lock.
  std::optional<std::string> presetUUID() const {
    std::lock_guard<std::mutex> lock(presetUUIDMutex_);
    return presetUUID_;
  }
  void setPresetUUID(std::optional<std::string> uuid);
  std::shared_ptr<QVWorkspaceModelProtocol> workspace() const { return workspace_; }
  void setWorkspace(const std::shared_ptr<QVWorkspaceModelProtocol>& workspace);

  // ---- Layer dictionary (QVIPLayer+Dictionary.h: form and option keys) ----
  qv::Dictionary serialize() { return serializeWithOptions(std::nullopt); }
  qv::Dictionary serializeWithOptions(const std::optional<qv::Value>& options);
  qv::Dictionary serializeWithOptions(const std::optional<qv::Value>& options, qv::Dictionary& cacheResources);
  qv::Dictionary defaultSerializationOptions();

  // ---- Image content (QVIPLayer+Texture.cpp) ----
  // A layer over an image file (nullptr when it cannot be read), over engine RGB data, or over an
  // engine image (nullptr for no image or a failed engine layer).
  static LayerPtr initWithURL(const std::string& path);
  static LayerPtr initWithImageData(const rova::ImageDataRGBfPtr& data);
  static LayerPtr initWithImage(const rova::ImagePtr& image);
  // Makes the layer an image layer over the engine image: the previous pixels go to the texture
  // cache first, the engine layer is replaced (in place in the processor's list, waiting), the
  // layer is enabled at full strength with its mask used. False for no image.
  bool configureWithImage(const rova::ImagePtr& image);
  // Reads the file (cancellable through setReadImageCanceled) and makes the layer an image layer
  // over it, outside any processor. False (logged unless the file is missing) when it cannot be
  // read; the layer keeps its engine layer then.
  // False when the file cannot be read (the engine's reason in *error when asked for).
  bool configureWithImageAtURL(const std::string& path, bool fastRawPreview, std::string* error = nullptr);
  bool configureWithImageAtURL(const std::string& path) {
    return configureWithImageAtURL(path, QVImageReader::isFastRawPreview());
  }

  // ---- Texture content (QVIPLayer+Texture.cpp) ----
  // Completion of a texture load: loaded, and why not (0 no file, 1 unreadable, 2 smaller than
  // 50 pixels on a side). A failed load records no history step and changes nothing.
  using TextureCompletion = std::function<void(bool loaded, int64_t reason)>;
  static constexpr int kMinTextureSide = 50;
  void setTextureFromURL(const std::string& url, bool adjustTransform, bool applyOriginalOrientation,
                         TextureCompletion completion);
  void setTextureFromURL(const std::string& url, TextureCompletion completion = nullptr) {
    setTextureFromURL(url, true, true, std::move(completion));
  }
  void loadTexture(const rova::ImagePtr& image, bool sync);
  void loadRovaTexture(const rova::ImagePtr& image);  // on the processing queue
  void deleteTexture() { deleteTextureSync(false); }
  void deleteTextureSync(bool sync);
  // Puts the layer's pixels into the history's texture cache (a copy of its file, or a compressed
  // "rovacompressedimagedata" file named by a new UUID).
  void saveImageOrTexture();
  // After joining a parent: pixels that have no file go into the new history's texture cache (on
  // the main thread; later when attached elsewhere). Layers with a file or a cache name, and
  // adjustment layers, are left alone.
  void cacheOwnPixelsAfterAttach();
  // The texture's file in the history's resources folder. Setting a name restores the texture
  // from that cache file (from another layer of the processor naming the same file when there is
  // one); a missing file drops the name, and a layer left with neither name nor URL loses its
  // texture. Names that are not plain file names are never looked for.
  std::optional<std::string> historyTextureName() const { return historyTextureName_; }
  void setHistoryTextureName(std::optional<std::string> name);
  bool loadCppImageFromRova();
  // The layer's image or texture file. Setting another one loads it as the texture.
  std::optional<std::string> textureURL() const { return textureURL_; }
  void setTextureURL(const std::string& url);
  std::optional<std::string> sourceTextureURL() const { return sourceTextureURL_; }
  void setSourceTextureURL(std::optional<std::string> url) { sourceTextureURL_ = std::move(url); }
  // The texture fitted to the frame: 0 free, 1 stretch, 2 fill, 3 fit (any other fits as
  // stretch). A change records a history step; with `adjustTransform` the engine transform is
  // refitted on the processing queue and read back into affineTransform().
  uint64_t textureScaleMode() const { return textureScaleMode_; }
  void setTextureScaleMode(uint64_t mode, bool adjustTransform = true, bool applyOriginalOrientation = true);
  void adjustTransformForScaleMode(uint64_t mode, bool applyOriginalOrientation = true);  // on the processing queue
  // The user's free transform in platform coordinates (origin bottom left): a change records a
  // history step, leaves the texture unfitted (scale mode 0) and is written to the engine;
  // nullopt removes the transform.
  std::optional<CGAffineTransform> affineTransform() const { return affineTransform_; }
  void setAffineTransform(std::optional<CGAffineTransform> transform);
  std::optional<CGAffineTransform> getAffineTransformFromCppLayer();  // on the processing queue
  // Platform (bottom-left) transform ↔ engine (top-left) transform for a canvas of height
  // `canvasHeight` and a source of height `sourceHeight`.
  static rova::AffineTransform engineTransformForAffineTransform(const CGAffineTransform& m, double canvasHeight,
                                                                 double sourceHeight);
  static CGAffineTransform affineTransformForEngineTransform(const rova::AffineTransform& e, double canvasHeight,
                                                             double sourceHeight);
  CGSize canvasSize();
  CGSize imageSize();
  // The picture's EXIF orientation (1 to 8), shared with every sublayer; a change leaves the
  // texture unfitted (scale mode 0) without touching the engine.
  uint64_t imageOrientation() const { return imageOrientation_; }
  void setImageOrientation(uint64_t orientation);
  // The image layer's pixels fitted into `fitSize` over the document's canvas and crop, made on the
  // processing queue; the completion gets the image (or nullptr) on the main thread.
  std::shared_ptr<qv::Operation> imageLayerPreviewFitToSize(CGSize fitSize,
                                                            std::function<void(std::shared_ptr<QVIPImage>)> completion);
  // While set, this layer's image reads are cancelled (the running one included); other
  // documents' reads are not touched, and clearing it lets this layer read again.
  void setReadImageCanceled(bool canceled);
  bool readImageCanceled() const { return imageReads_.isCanceled(); }
  // A read of the file that setReadImageCanceled can stop; nullptr when it fails (the reason in
  // *error). Full size unless setReadFitSize gave a box the picture only has to cover.
  rova::ImagePtr readImageAtPath(const std::string& path, bool fastRawPreview, std::string* error = nullptr);
  // A box later reads of this layer's pictures need only cover (zero: full size); the layer's
  // canvas is then the reduced picture's size.
  void setReadFitSize(CGSize box) {
    imageReads_.setFitSize({int(std::ceil(std::max(0.0, box.width))), int(std::ceil(std::max(0.0, box.height)))});
  }

  // ---- Mask access (QVIPLayer+Mask.cpp) ----
  // Switching the mask on or off keeps its pixels: a history step, then the engine stops or
  // starts using them.
  bool maskEnabled() const { return maskEnabled_; }
  void setMaskEnabled(bool enabled);
  using MaskPreviewHandler = std::function<void(std::shared_ptr<QVIPImage> regionMask,
                                                std::shared_ptr<QVIPImage> preview, CGRect roi, CGSize size)>;
  void createMask() { createMaskAndFillWith(0, true); }
  void createMaskAndFillWith(double fill, bool sync);
  void applyMask(const std::shared_ptr<QVIPMask>& mask, std::function<void()> callback);
  std::shared_ptr<QVIPMask> getMask();
  bool isMaskEmpty();
  void markMaskDidChange();
  rova::ImageTransformSettings transformSettinsForFitSize(CGSize fitSize, const rova::ImageProcessorPtr& processor);
  CGSize maskFittedSize(CGSize fitSize);
  void getMaskFittedToSize(CGSize fitSize, std::function<void(CGSize)> completion);
  rova::ImageDataFPtr maskPreviewFittedToSize(CGSize fitSize, const rova::ImageProcessorPtr& processor);
  std::shared_ptr<QVIPImage> getMaskImageWithBackgroundColor(const qv::RGBAColor& background,
                                                             const qv::RGBAColor& foreground, CGSize fitSize);
  std::shared_ptr<qv::Operation> obtainMaskPreviewAtRoi(CGRect roi, CGSize size, MaskPreviewHandler handler,
                                                        bool returnFilledIfMaskAbsent = true);
  std::shared_ptr<qv::Operation> obtainMaskPreviewOperation() const { return obtainMaskPreviewOperation_; }
  void setObtainMaskPreviewOperation(std::shared_ptr<qv::Operation> op) { obtainMaskPreviewOperation_ = std::move(op); }
  bool migrateBrushStackToMask();
  void resetHistoryForMask();

  // ---- Fields of the image, texture and mask operations ----
  bool hasMask() const { return hasMask_; }
  bool deleteMaskOnReset() const { return deleteMaskOnReset_; }
  void setDeleteMaskOnReset(bool d) { deleteMaskOnReset_ = d; }
  // The mask object, made on first use (nullptr while the masks subsystem registered no maker).
  std::shared_ptr<QVLayerMaskProtocol> mask();
  // The processor's crop, shared with every sublayer; a change leaves the texture unfitted
  // (scale mode 0) without touching the engine.
  std::shared_ptr<QVTCropDescription> cropDescription() const { return cropDescription_; }
  void setCropDescription(std::shared_ptr<QVTCropDescription> crop);
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 protected:
  // The steps of the factories, run on a fresh object (virtual calls reach the subclass).
  virtual void setUpDefaultSettings();
  void setUpWithCPPLayer(const rova::BaseLayerPtr& cppLayer, std::weak_ptr<QVParentLayerProtocol> parent,
                         const rova::ImageProcessorPtr& cppProcessor);
  // Told after the layer was configured with a new picture.
  virtual void imageDidChange() {}
  // A bare object of this layer's own class (QVIPLayerFactory::layerWithClassOfLayer).
  virtual LayerPtr allocSameClass() const { return std::make_shared<QVIPLayer>(); }
  friend class QVIPLayerFactory;

  std::weak_ptr<QVIPLayer> weakSelf() { return weakAs<QVIPLayer>(); }
  LayerPtr self() { return sharedAs<QVIPLayer>(); }
  // Queues engine work on this layer's engine layer (skipped when the layer or its engine layer
  // is gone).
  void onEngineLayer(std::function<void(rova::BaseLayer&)> work, bool sync = false);
  void registerHistory(const std::string& actionName, const qv::Value& additionalInfo = {});
  void postSublayersChange(qv::Dictionary userInfo, std::map<std::string, std::shared_ptr<void>> objects = {});

  rova::BaseLayerPtr cppLayer_;

 private:
  // Size, strength and switches of a layer that now shows the image's pixels.
  void takeImageSettings(const rova::Image& image);
  void attachSublayer(const LayerPtr& layer);
  // The engine list segment of this layer's subtree brought into the order of the tree.
  void resyncEngineSubtree();
  void copyChildrenAndEffects(const LayerPtr& source, const LayerPtr& duplicateFromLayer, bool overrideNonDefault);
  bool followTwinRemoval(const std::vector<uint64_t>& indexes);
  bool followTwinAddition(const LayerPtr& twin, const std::vector<uint64_t>& indexes);

  LayerList subLayers_;
  EffectList effects_;
  bool effectsCreated_ = false;
  int32_t width_ = 0, height_ = 0;
  bool hasMask_ = false;
  bool isEnabled_ = false;
  bool isActive_ = false;
  bool blendModeModified_ = false;
  bool deleteMaskOnReset_ = false;
  bool maskEnabled_ = true;
  bool isAdjustmentLayer_ = true;
  bool hidden_ = false;
  bool changingWorkspace_ = false;
  std::string identifier_;
  std::string name_;
  std::weak_ptr<QVParentLayerProtocol> parent_;
  std::shared_ptr<QVLayerStateModelProtocol> state_;
  std::shared_ptr<QVWorkspaceModelProtocol> workspace_;
  double amount_ = 1.0;
  double effectsAmount_ = 1.0;
  std::shared_ptr<QVBlendMode> blendMode_, defaultBlendMode_;
  std::shared_ptr<QVLayerMaskProtocol> mask_;
  uint64_t textureScaleMode_ = 0;
  std::optional<CGAffineTransform> affineTransform_;
  std::shared_ptr<QVLensCorrectionSettingsProtocol> lensCorrectionSettings_;
  std::optional<std::string> historyTextureName_;
  std::optional<std::string> textureURL_;
  std::optional<std::string> sourceTextureURL_;
  std::shared_ptr<QVTCropDescription> cropDescription_;
  std::optional<std::string> presetUUID_;
  mutable std::mutex presetUUIDMutex_;
  uint64_t level_ = 0;
  std::weak_ptr<QVIPLayer> syncLayer_;
  std::vector<qv::ObserverToken> twinTokens_;
  rova::ImageProcessorPtr processor_;
  std::shared_ptr<qv::Operation> obtainMaskPreviewOperation_;
  uint64_t imageOrientation_ = 1;
  // The cancellable reads of this layer's pictures (own leaf lock, any thread).
  QVIPLayerImageReads imageReads_;
};
