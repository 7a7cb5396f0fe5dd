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
  void updateAtRelativePoint(CGPoint point, double relativeBrushRadius, double opacity, double softness);
  void endStroke();
  bool enoughChangesForApply() const { return stack_.size() > 2; }

  // The region shown (canvas pixels, origin bottom-left) and the pixel size to show it at.
  using ResultCallback = std::function<void(QVIPImage::Ptr, CGRect roi, CGSize size, CGRect updateRect)>;
  using OriginalCallback = std::function<void(QVIPImage::Ptr, CGRect roi, CGSize size)>;
  void setRoi(CGRect roi) { roi_ = roi; }
  void setSize(CGSize size) { size_ = size; }
  void setResultCallback(ResultCallback callback) { resultCallback_ = std::move(callback); }
  void setOriginalCallback(OriginalCallback callback) { originalCallback_ = std::move(callback); }
  // A canvas rectangle (origin bottom-left) as the engine's top-left region.
  rova::RectRoiF rovaRoiFromRoi(CGRect roi) const;
  // Renders the region of the result and of the original at the size, for the callbacks (on the
  // main queue); a newer request replaces one still waiting.
  void updateResult();

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
  void perform(std::function<void(QVCloneAndStampProcessor&)> block);
  void registerHistory(const char* name);
  bool ownManager(QVHistoryManagerProtocol& manager) const { return history_.get() == &manager; }
  // A stored point inside the canvas, or nullopt for numbers that are not finite.
  std::optional<CGPoint> storedPoint(const qv::Value& entry) const;
  // Sets the clone (or stamp) point, records it when asked and hands the engine its pixel.
  void applyPoint(bool clone, CGPoint p, bool record);
  void processPoints(std::vector<QVBrushStack::BrushPoint> points);

  rova::ImageDataRGBfPtr original_;
  rova::MaskImagePtr processMask_;
  std::shared_ptr<qv::OperationQueue> queue_ = qv::OperationQueue::make("clone_and_stamp", 1);
  std::shared_ptr<rova::CloneStampController> controller_;  // used on queue_
  std::shared_ptr<qv::Operation> fullResultOperation_, resultOperation_;
  CGRect roi_{};
  CGSize size_{};
  ResultCallback resultCallback_;
  OriginalCallback originalCallback_;
  rova::Size canvasSize_{};
  CGPoint clonePoint_{}, stampPoint_{};
  bool eraseMode_ = false;
  bool replaying_ = false;
  qv::Array stack_;
  std::shared_ptr<QVHistoryManagerProtocol> history_;
};
