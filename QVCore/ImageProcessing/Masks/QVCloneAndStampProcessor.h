#pragma once
// Clone-and-stamp retouching of one rendered image: strokes copy pixels from the clone point to
// the stamp point through the engine clone controller, on the processor's own serial queue. Its
// own edit history stores the brush stack in each state file; undo and redo replay that stack from
// the untouched image.
//
// Threads: tools, properties and the stack belong to the main thread; engine work runs on `queue`.
#include <functional>
#include <memory>

#include "QVBase/Geometry.h"
#include "QVCore/ImageProcessing/Base/QVCloneAndStampProcessorProtocol.h"
#include "QVCore/ImageProcessing/Masks/QVBrushStack.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVPlatform/OperationQueue.h"
#include "rova/masks/CloneStampController.h"
#include "rova/masks/ComputeUnit.h"

class QVIPLayer;

inline constexpr const char* kQVCloneAndStampBeginDraw = "QVCloneAndStampBeginDraw";
inline constexpr const char* kQVCloneAndStampClonePointUpdated = "QVCloneAndStampClonePointUpdated";
inline constexpr const char* kQVCloneAndStampStampPointUpdated = "QVCloneAndStampStampPointUpdated";
inline constexpr const char* kQVCloneAndStampHistoryUpdated = "QVCloneAndStampHistoryUpdated";

struct QVPixelPoint {
  int x = 0, y = 0;
  friend bool operator==(const QVPixelPoint&, const QVPixelPoint&) = default;
};

class QVCloneAndStampProcessor : public QVCloneAndStampProcessorProtocol, public QVHistoryManagerDelegate {
 public:
  static std::shared_ptr<QVCloneAndStampProcessor> make(const rova::ImageDataRGBfPtr& image,
                                                        rova::MaskImagePtr processMask);
  static void registerMaker();

  // Canvas points (origin bottom-left) to the engine's top-left pixels. The two differ by one on
  // purpose and stay that way: stored stacks hold absolute points that were turned into pixels
  // with exactly these rules, and changing either would move every replayed stroke by a pixel.
  static QVPixelPoint clonePixel(CGPoint p, double canvasHeight);
  static QVPixelPoint stampPixel(CGPoint p, double canvasHeight);

  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return history_; }
  void setHistoryManager(std::shared_ptr<QVHistoryManagerProtocol> history) { history_ = std::move(history); }
  // Waits for queued work, then a copy of the retouched image.
  rova::ImageDataRGBfPtr imageData() const override;
  rova::Size canvasSize() const { return canvasSize_; }
  const std::shared_ptr<qv::OperationQueue>& queue() const { return queue_; }

  CGPoint clonePoint() const { return clonePoint_; }
  CGPoint stampPoint() const { return stampPoint_; }
  void setClonePoint(CGPoint p);
  void setStampPoint(CGPoint p);
  bool eraseMode() const { return eraseMode_; }
  void setEraseMode(bool erase);
  void beginStroke();
  // A brush point: on-screen relative point (origin bottom-left), relative radius, opacity and
  // softness in percent. Points are drawn in batches of 0.1 s of input; each batch hands the
  // result callback the part that changed and the preview callback the changed part of the
  // retouch map.
  void updateAtRelativePoint(CGPoint point, double relativeBrushRadius, double opacity, double softness);
  // The same with the input event's date.
  void updateAtRelativePoint(CGPoint point, double relativeBrushRadius, double opacity, double softness, qv::Date date);
  size_t waitingStrokePoints() const { return strokeQueue_.size(); }
  void endStroke();
  // Shows where a stroke would copy to, without drawing it: the result callback gets the changed
  // part. A newer preview replaces one still waiting.
  void previewAtRelativePoint(CGPoint point, double relativeBrushRadius, double opacity, double softness);
  void cancelPreview();
  bool enoughChangesForApply() const { return stack_.size() > 2; }

  // The region shown (canvas pixels, origin bottom-left) and the pixel size to show it at.
  using ResultCallback = std::function<void(QVIPImage::Ptr, CGRect roi, CGSize size, CGRect updateRect)>;
  using OriginalCallback = std::function<void(QVIPImage::Ptr, CGRect roi, CGSize size)>;
  // The map of retouched pixels (mask data of the canvas, see CloneStampController::previewImage)
  // or its changed part, with that part's rectangle in canvas pixels (bottom-left origin; the zero
  // rectangle for the whole map).
  using PreviewCallback = std::function<void(QVIPImage::Ptr, CGRect updateRect)>;
  void setRoi(CGRect roi) { roi_ = roi; }
  void setSize(CGSize size) { size_ = size; }
  void setResultCallback(ResultCallback callback) { resultCallback_ = std::move(callback); }
  void setOriginalCallback(OriginalCallback callback) { originalCallback_ = std::move(callback); }
  void setPreviewCallback(PreviewCallback callback) { previewCallback_ = std::move(callback); }
  // A canvas rectangle (origin bottom-left) as the engine's top-left region, and back.
  rova::RectRoiF rovaRoiFromRoi(CGRect roi) const;
  CGRect roiFromRovaRoi(const rova::RectRoiF& roi) const;
  // Renders the region of the result and of the original at the size, and hands the whole retouch
  // map, to the callbacks (on the main queue); a newer request replaces one still waiting.
  void updateResult();
  // On the queue: the retouched region at the size, only the part `updateRect` (output pixels,
  // bottom-left origin; the zero rectangle for all of it); and the original region at the size.
  QVIPImage::Ptr obtainUpdateForRoi(CGRect roi, CGSize size, CGRect updateRect) const;
  QVIPImage::Ptr obtainOriginalForRoi(CGRect roi, CGSize size);

  qv::Array historyBrushStack() const { return stack_; }
  void setHistoryBrushStack(std::optional<qv::Array> stack);
  // Rebuilds the engine controller over the untouched image; pending work is dropped.
  void configureCloneAndStamp();
  // The retouched image as a new image layer, made at low queue priority after queued previews.
  void createResultingLayerWithCompletion(std::function<void(std::shared_ptr<QVIPLayer>)> completion);

  void historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                                 Completion completion) override;
  void historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                         Completion completion) override;
  void historyManagerRemoveStateForUUID(QVHistoryManagerProtocol&, const std::string&) override {}

  QVCloneAndStampProcessor(rova::ImageDataRGBfPtr original, rova::MaskImagePtr processMask);

 private:
  // Queues the block on the processor's queue; it does nothing once the processor is gone.
  std::shared_ptr<qv::Operation> perform(std::function<void(QVCloneAndStampProcessor&)> block);
  void registerHistory(const char* name);
  bool ownManager(QVHistoryManagerProtocol& manager) const { return history_.get() == &manager; }
  // A stored point inside the canvas, or nullopt for numbers that are not finite.
  std::optional<CGPoint> storedPoint(const qv::Value& entry) const;
  // Sets the clone (or stamp) point, records it when asked and hands the engine its pixel.
  void applyPoint(bool clone, CGPoint p, bool record);
  // Queues the points' drawing; with updatePreview the changed parts go to the callbacks. `done`
  // runs on the queue afterwards.
  void processPoints(std::vector<QVBrushStack::BrushPoint> points, bool updatePreview, std::function<void()> done = {});
  void processStrokeStackIfNeeded();
  void processStrokeStack();
  // On the queue: the changed part of the result for the result callback (on the main queue).
  void reportResultUpdate(CGRect roi, CGSize size, const ResultCallback& callback);
  // A changed canvas rectangle as the output pixels of roi at size that show it (bottom-left);
  // nullopt when none does.
  std::optional<CGRect> outputUpdateRect(const rova::RectRoi& changed, CGRect roi, CGSize size) const;

  rova::ImageDataRGBfPtr original_;
  rova::MaskImagePtr processMask_;
  std::shared_ptr<qv::OperationQueue> queue_ = qv::OperationQueue::make("clone_and_stamp", 1);
  std::shared_ptr<rova::CloneStampController> controller_;            // used on queue_
  std::shared_ptr<rova::ImageComputeUnit> originalImageComputeUnit_;  // used on queue_
  std::shared_ptr<qv::Operation> fullResultOperation_, resultOperation_, previewOperation_;
  QVBrushStack::StrokeQueue strokeQueue_;
  CGRect roi_{};
  CGSize size_{};
  ResultCallback resultCallback_;
  OriginalCallback originalCallback_;
  PreviewCallback previewCallback_;
  rova::Size canvasSize_{};
  CGPoint clonePoint_{}, stampPoint_{};
  bool eraseMode_ = false;
  bool replaying_ = false;
  qv::Array stack_;
  std::shared_ptr<QVHistoryManagerProtocol> history_;
};
