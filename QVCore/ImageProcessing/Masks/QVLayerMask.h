#pragma once
// The mask of one adjustment layer. Draws into the engine layer's mask through the engine brush
// controller, records every operation in the brush stack (so a history step can replay it) and
// stores finished masks as compressed mask files in the history's resources folder.
//
// Threads: properties, the brush stack and every public call belong to the main thread (the edit
// history's thread). Engine work runs as operations on the parent layer's serial processing queue;
// the brush controller is touched only there.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Base/QVLayerMaskProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPMask.h"
#include "QVCore/ImageProcessing/Masks/QVBrushStack.h"
#include "QVCore/ImageProcessing/Masks/QVPolygonPath.h"
#include "QVPlatform/OperationQueue.h"
#include "rova/MaskImage.h"
#include "rova/masks/BrushController.h"

class QVIPImage;

namespace rova {
class BaseLayer;
}

inline constexpr const char* kQVLayerMaskChangeType = "kQVLayerMaskChangeType";
inline constexpr const char* kQVLayerMaskStroke = "kQVLayerMaskStroke";
inline constexpr const char* kQVLayerMaskEndStroke = "kQVLayerMaskEndStroke";
inline constexpr const char* kQVLayerMaskApplyFeatherAndDensity = "kQVLayerMaskApplyFeatherAndDensity";
inline constexpr const char* kQVLayerMaskSettingsDidChange = "kQVLayerMaskSettingsDidChange";
inline constexpr const char* kQVLayerMaskDidInvert = "kQVLayerMaskDidInvert";
inline constexpr const char* kQVLayerMaskDidCreateBrushController = "kQVLayerMaskDidCreateBrushController";
inline constexpr const char* kQVLayerDidChangeStateNeedProgress = "QVLayerDidChangeStateNeedProgress";
// Stacks longer than this are announced to the parent before replay, so it can show progress.
inline constexpr size_t kQVBrushStackProgressThreshold = 250;

class QVLayerMask : public QVLayerMaskProtocol {
 public:
  static std::shared_ptr<QVLayerMask> make() { return std::make_shared<QVLayerMask>(); }
  // Registers QVLayerMask as the maker of layer masks.
  static void registerMaker();

  void setParent(std::weak_ptr<QVParentProtocol> layer) override { parent_ = std::move(layer); }

  // Brush mode: 0 paint, 1 erase, 2 level (moves the mask towards the brush opacity). A change
  // reaches the engine when the next stroke begins.
  unsigned brushMode() const { return brushMode_; }
  void setBrushMode(unsigned mode);
  bool eraseMode() const { return brushMode_ == 1; }
  void setEraseMode(bool erase) { setBrushMode(erase ? 1 : 0); }

  bool strokeInProgress() const { return strokeInProgress_; }
  bool gradientStroke() const { return gradientStroke_; }
  // Begins a stroke; with updatePreview (and a preview callback) the whole region is rendered for
  // it, so the screen starts from the layer as it is now.
  void beginStroke() { beginStrokeUpdatePreview(true); }
  void beginStrokeUpdatePreview(bool updatePreview);
  // A brush point: on-screen relative point (origin bottom-left), relative radius, opacity and
  // softness in percent.
  void updateAtRelativePoint(CGPoint point, double relativeBrushRadius, double opacity, double softness);
  // The same with the input event's date. Points are drawn in batches of 0.1 s of input; with a
  // region, a size and a preview or mask-preview callback each batch hands the callbacks the part
  // that changed (see setUpdatePreviewCallback) and reports "kQVLayerMaskStroke".
  void updateAtRelativePoint(CGPoint point, double relativeBrushRadius, double opacity, double softness, qv::Date date);
  size_t waitingStrokePoints() const { return strokeQueue_.size(); }
  void endStroke();
  void endStrokeIfNeeded() {
    if (strokeInProgress_) endStroke();
  }
  void cancelStroke();

  // Gradients while dragging (applyToPreview true: nothing recorded) and in final form; the
  // gradient is recorded by applyGradient().
  void generateGradient(double blend, CGPoint point, double rotation, bool applyToPreview, bool subtract);
  void generateRadialGradient(CGPoint point, double rotation, double innerRadius, double outerRadius,
                              double aspectRatio, bool invert, bool applyToPreview);
  void applyGradient();

  // Rasterises the path (canvas pixels, tested at each column and row) into a new mask of the
  // image size: 1 inside, 0 outside, rows in parallel. The callback takes the mask; when it
  // answers true the change is reported. `polygonRect` is not used.
  void generatePolygon(const QVPolygonPath& path, CGSize imageSize, CGRect polygonRect,
                       const std::function<bool(QVIPMask::Ptr)>& callback);

  // The mask setting (density in percent, starts at 100; feather a blur radius in pixels, starts
  // at 0), handed to the engine at once and reported with "kQVLayerMaskSettingsDidChange".
  double density() const { return density_; }
  void setDensity(double density);
  double feather() const { return feather_; }
  void setFeather(double feather);
  // Forces density and feather into the mask values.
  void applyFeatherAndDensity();

  void clearMaskWithNextDelete(bool nextDelete) override;
  void fillMask();
  void invertMask();

  void finishDrawing() override;
  void createBrushController() override;

  void saveMaskForce(bool force) override { saveMask(force, std::nullopt, false); }
  void saveMaskForceWithIgnoreHistoryMaskName() override { saveMask(true, std::nullopt, true); }
  using QVLayerMaskProtocol::saveMask;
  void saveMask(bool force, std::optional<std::string> uuid, bool ignoreHistoryMaskName);
  std::optional<std::string> historyMaskName() const override { return historyMaskName_; }
  void setHistoryMaskName(std::optional<std::string> name) override;
  // The mask data loaded from (or saved to) the history mask file.
  rova::MaskImagePtr historyMaskData() const { return historyMask_; }

  // The image of the mask the render uses (density and feather applied): the whole mask for the
  // zero rectangle, else the part inside `updateRect` (bottom-left origin, canvas pixels) clipped
  // to the mask. Without a mask, an image without mask data of the size asked for.
  std::shared_ptr<QVIPImage> obtainMaskPreviewForRoi(CGRect roi, CGSize size, CGRect updateRect) const;

  // Previews: the on-screen region of the canvas (bottom-left origin) and the pixel size wanted.
  using PreviewCallback = std::function<void(std::shared_ptr<QVIPImage>, CGRect, CGSize, CGRect)>;
  CGRect roi() const { return roi_; }
  void setRoi(CGRect roi) { roi_ = roi; }
  CGSize size() const { return size_; }
  void setSize(CGSize size) { size_ = size; }
  // Each takes the image, the region, the size and the update rectangle; called on the main thread.
  // After a batch of brush points: the preview gets the rendered part that changed, its rectangle
  // in output pixels (bottom-left origin, within `size`); the mask preview gets the changed part of
  // the mask, its rectangle in canvas pixels (bottom-left origin); the low-resolution preview gets
  // its changed part (see obtainLowResMaskPreviewUpdate) with the zero region and size.
  void setUpdatePreviewCallback(PreviewCallback callback) { updatePreviewCallback_ = std::move(callback); }
  void setUpdateMaskPreviewCallback(PreviewCallback callback) { updateMaskPreviewCallback_ = std::move(callback); }
  void setUpdateLowResMaskPreviewCallback(PreviewCallback callback) {
    updateLowResMaskPreviewCallback_ = std::move(callback);
  }
  // With a region, a size and a preview callback: renders the whole region and the mask for it
  // on the layer's queue (a newer request cancels one not started yet) and reports both with the
  // zero update rectangle.
  void processPreviewIfNeeded();

  // The part of the layer's low-resolution mask preview (its transform settings) changed since the
  // last call, the whole preview after a change of unknown extent or with a crop; `part` receives
  // its rectangle in preview pixels (top-left origin). Without a mask, an image without mask data
  // of 500 x 500.
  std::shared_ptr<QVIPImage> obtainLowResMaskPreviewUpdate(CGRect* part) const;

  // The layer stack rendered over `roi` (canvas, bottom-left origin; of the crop when the processor
  // has one) fitted into `size`, cut to `updateRect` (output pixels, bottom-left; empty: all of it).
  // nullptr for an empty output or without a processor. Runs the render on the calling thread.
  std::shared_ptr<QVIPImage> processImageForRoi(CGRect roi, CGSize size, CGRect updateRect) const;
  rova::RectRoiF rovaRoiFromRoi(CGRect roi) const;

  qv::Array brushStack() const override { return stack_; }
  void setBrushStack(std::optional<qv::Array> stack) override;

  void updateMask() override { updateMaskDeleted(false); }
  void updateMaskDeleted(bool deleted) override;
  void updateMaskWithInfo(qv::Dictionary info);
  void resetState() override;

  // Diagnostics: every call handed to the engine brush controller, described as text, on the
  // processing queue. Lets tools and tests compare a recorded session with its replay.
  void setEngineCallObserver(std::function<void(const std::string&)> observer);

 private:
  std::shared_ptr<QVParentProtocol> parent() const { return parent_.lock(); }
  std::shared_ptr<rova::BaseLayer> engineLayer() const;
  // Runs block on the parent's processing queue (at once without one or when already on it); the
  // queued operation, or nullptr when it ran at once.
  std::shared_ptr<qv::Operation> perform(std::function<void(QVLayerMask&)> block, bool wait);
  void registerHistory(const std::string& format);
  void record(qv::Value entry) { stack_.push_back(std::move(entry)); }
  void dropBrushController();
  // What a batch of points reports to, taken when its operation is made.
  struct StrokePreview {
    CGRect roi{};
    CGSize size{};
    PreviewCallback image, mask, lowRes;
  };
  // Queues the points' drawing; with updatePreview the changed part goes to the preview callbacks.
  // `done` runs on the processing queue afterwards (also when the operation finds nothing to draw).
  void processPoints(std::vector<QVBrushStack::BrushPoint> points, bool updatePreview, std::function<void()> done = {});
  void processStrokeStackIfNeeded();
  void processStrokeStack();
  // On the processing queue, after points changed the mask.
  void reportStrokePreview(const StrokePreview& preview);
  // The output pixels (bottom-left origin) of a render of roi at size that the changed mask pixels
  // reach; the zero rectangle for all of them; nullopt when they reach none.
  std::optional<CGRect> resultUpdateRect(const rova::RectRoi& changed, CGRect roi, CGSize size) const;
  QVBrushStack::StrokeQueue strokeQueue_;
  // Engine side, on the processing queue.
  void engineCall(const std::string& text);
  void engineChanged();
  void applyGradientFromDict(const qv::Value& entry);
  void wholeMaskOperation(const char* historyFormat, const char* entryID, bool resetFirst,
                          void (rova::BrushController::*operation)(), bool wait);
  void drawGradient(qv::Value entry, bool applyToPreview);
  void noMaskLoaded();
  bool writeMaskFile(const std::string& path, const rova::MaskImagePtr& mask);
  // Records the path as unwritten, then writes (at once with force, else on a global queue).
  void writeSaved(const std::string& path, const rova::MaskImagePtr& mask, bool force);
  std::optional<std::string> unwrittenPath() const;

  std::weak_ptr<QVParentProtocol> parent_;
  qv::Array stack_;
  unsigned brushMode_ = 0;
  double density_ = 100, feather_ = 0;
  CGRect roi_{};
  CGSize size_{};
  PreviewCallback updatePreviewCallback_, updateMaskPreviewCallback_, updateLowResMaskPreviewCallback_;
  std::shared_ptr<qv::Operation> previewOperation_;
  // A newer setting, or a newer gradient of the same kind within one stroke, replaces one still
  // waiting: a gradient drawn inside a stroke starts from the stroke's pixels anyway.
  std::shared_ptr<qv::Operation> settingOperation_, linearGradientOperation_, radialGradientOperation_;
  void updateMaskSetting();
  void bake(float density, float feather);  // queued
  bool modeChanged_ = false;
  bool strokeInProgress_ = false, gradientStroke_ = false;
  std::optional<qv::Value> gradientDict_;
  bool hasController_ = false;
  bool replaying_ = false;  // no history steps while a stored stack is replayed
  size_t strokeStart_ = 0;  // where the stroke in progress begins in the stack
  std::optional<std::string> historyMaskName_;
  rova::MaskImagePtr historyMask_;
  // A saved mask whose file could not be written yet; the next save tries again.
  mutable std::mutex unwrittenMutex_;
  std::optional<std::string> unwrittenPath_;
  // Processing-queue side.
  std::shared_ptr<rova::BrushController> controller_;
  std::mutex observerMutex_;
  std::function<void(const std::string&)> observer_;
};
