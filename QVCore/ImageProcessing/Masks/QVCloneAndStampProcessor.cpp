#include "QVCore/ImageProcessing/Masks/QVCloneAndStampProcessor.h"

#include <cmath>

#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/PropertyList.h"

using namespace QVBrushStack;

std::shared_ptr<QVCloneAndStampProcessor> QVCloneAndStampProcessor::make(const rova::ImageDataRGBfPtr& image,
                                                                         rova::MaskImagePtr processMask) {
  auto copy = image ? image->copy() : nullptr;
  if (!copy) return nullptr;
  rova::clamp(*copy);
  auto p = std::make_shared<QVCloneAndStampProcessor>(copy, std::move(processMask));
  p->configureCloneAndStamp();
  return p;
}

QVCloneAndStampProcessor::QVCloneAndStampProcessor(rova::ImageDataRGBfPtr original, rova::MaskImagePtr processMask)
    : original_(std::move(original)), processMask_(std::move(processMask)) {}

// The model makes masks and clone-and-stamp processors through the factory; these are the ones it
// makes, registered when the library loads (a test may register another in their place).
namespace {
const bool kQVCloneAndStampProcessorRegistered = [] {
  QVCloneAndStampProcessor::registerMaker();
  return true;
}();
}  // namespace

void QVCloneAndStampProcessor::registerMaker() {
  QVCloneAndStampProcessorFactory::registerMaker(
      [](rova::ImageDataRGBfPtr image, rova::MaskImagePtr mask) -> std::shared_ptr<QVCloneAndStampProcessorProtocol> {
        return make(image, std::move(mask));
      });
}

QVPixelPoint QVCloneAndStampProcessor::clonePixel(CGPoint p, double canvasHeight) {
  return {int(p.x), int(canvasHeight - 1 - p.y)};
}

QVPixelPoint QVCloneAndStampProcessor::stampPixel(CGPoint p, double canvasHeight) {
  return {int(std::floor(p.x)), int(std::floor(canvasHeight - p.y))};
}

std::shared_ptr<qv::Operation> QVCloneAndStampProcessor::perform(std::function<void(QVCloneAndStampProcessor&)> block) {
  std::weak_ptr<QVCloneAndStampProcessor> weak = sharedAs<QVCloneAndStampProcessor>();
  return queue_->addOperationWithBlock([weak, block = std::move(block)] {
    if (auto self = weak.lock()) block(*self);
  });
}

void QVCloneAndStampProcessor::registerHistory(const char* name) {
  if (!replaying_ && history_) history_->registerHistoryWithActionName(name);
}

rova::ImageDataRGBfPtr QVCloneAndStampProcessor::imageData() const {
  queue_->waitUntilAllOperationsAreFinished();
  return controller_ ? controller_->fullResult() : nullptr;
}

void QVCloneAndStampProcessor::configureCloneAndStamp() {
  queue_->cancelAllOperations();
  strokeQueue_.clear();
  auto original = original_;
  auto mask = processMask_;
  perform([original, mask](QVCloneAndStampProcessor& self) {
    auto controller = std::make_shared<rova::CloneStampController>(original);
    controller->setProcessMask(mask);
    self.controller_ = controller;
    // No region and no output size: the whole original as it is, until a region is asked for.
    self.originalImageComputeUnit_ = std::make_shared<rova::ImageComputeUnit>(original);
  });
  queue_->waitUntilAllOperationsAreFinished();
  canvasSize_ = controller_ ? controller_->canvasSize() : rova::Size{};
  clonePoint_ = stampPoint_ = CGPointZero;
  eraseMode_ = controller_ && controller_->brushMode() == rova::BrushMode::Erase;
}

void QVCloneAndStampProcessor::setClonePoint(CGPoint p) {
  if (p.x == clonePoint_.x && p.y == clonePoint_.y) return;
  registerHistory("Clone point updated");
  applyPoint(true, p, true);
}

void QVCloneAndStampProcessor::setStampPoint(CGPoint p) {
  if (p.x == stampPoint_.x && p.y == stampPoint_.y) return;
  registerHistory("Brush stroke with new Stamp point");
  applyPoint(false, p, true);
}

void QVCloneAndStampProcessor::applyPoint(bool clone, CGPoint p, bool record) {
  if (record)
    stack_.push_back(qv::Dictionary{{kID, clone ? kSetClonePoint : kSetStampPoint},
                                    {"absolutePointX", float(p.x)},
                                    {"absolutePointY", float(p.y)}});
  (clone ? clonePoint_ : stampPoint_) = p;
  const QVPixelPoint px = clone ? clonePixel(p, canvasSize_.height) : stampPixel(p, canvasSize_.height);
  perform([clone, px](QVCloneAndStampProcessor& self) {
    if (!self.controller_) return;
    clone ? self.controller_->setClonePoint(px.x, px.y) : self.controller_->setStampPoint(px.x, px.y);
  });
  postOnMainThread(clone ? kQVCloneAndStampClonePointUpdated : kQVCloneAndStampStampPointUpdated);
}

void QVCloneAndStampProcessor::setEraseMode(bool erase) {
  if (erase == eraseMode_) return;
  eraseMode_ = erase;
  perform([erase](QVCloneAndStampProcessor& self) {
    if (self.controller_) self.controller_->setBrushMode(erase ? rova::BrushMode::Erase : rova::BrushMode::Paint);
  });
}

void QVCloneAndStampProcessor::beginStroke() {
  registerHistory("Brush stroke");
  stack_.push_back(entry(kBeginStroke));
  perform([](QVCloneAndStampProcessor& self) {
    if (self.controller_) self.controller_->beginStroke();
  });
  postOnMainThread(kQVCloneAndStampBeginDraw);
}

void QVCloneAndStampProcessor::updateAtRelativePoint(CGPoint point, double radius, double opacity, double softness) {
  updateAtRelativePoint(point, radius, opacity, softness, qv::Date::now());
}

void QVCloneAndStampProcessor::updateAtRelativePoint(CGPoint point, double radius, double opacity, double softness,
                                                     qv::Date date) {
  qv::Value e = brushAtPoint(point.x, point.y, radius, opacity, softness);
  e.set("date", date);
  auto p = enginePoint(e);
  stack_.push_back(std::move(e));
  if (!p) return;
  strokeQueue_.push(*p, date.secondsSinceReferenceDate);
  processStrokeStackIfNeeded();
}

void QVCloneAndStampProcessor::processStrokeStackIfNeeded() {
  std::weak_ptr<QVCloneAndStampProcessor> weak = sharedAs<QVCloneAndStampProcessor>();
  strokeQueue_.runNextBatch(weak, [weak](std::vector<BrushPoint> points, std::function<void()> done) {
    if (auto self = weak.lock()) self->processPoints(std::move(points), true, std::move(done));
  });
}

void QVCloneAndStampProcessor::processStrokeStack() { processPoints(strokeQueue_.takeAll(), true); }

void QVCloneAndStampProcessor::processPoints(std::vector<BrushPoint> points, bool updatePreview,
                                             std::function<void()> done) {
  if (points.empty()) {
    if (done) done();
    return;
  }
  const CGRect roi = roi_;
  const CGSize size = size_;
  ResultCallback result = updatePreview ? resultCallback_ : ResultCallback{};
  PreviewCallback preview = updatePreview ? previewCallback_ : PreviewCallback{};
  auto op = perform([points = std::move(points), roi, size, result, preview](QVCloneAndStampProcessor& self) {
    if (!self.controller_) return;
    bool changed = false;
    for (const BrushPoint& p : points) changed |= self.controller_->addPoint(p.x, p.y, p.radius, p.opacity, p.softness);
    if (!changed) return;
    if (result) self.reportResultUpdate(roi, size, result);
    if (!preview) return;
    const rova::RectRoi part = self.controller_->takePreviewUpdateRect();
    rova::ImageDataFPtr map = part.isEmpty() ? nullptr : self.controller_->previewImage(part);
    if (!map) return;
    auto image = QVIPImage::initWithMaskData(map, CGSizeMake(part.width, part.height));
    const CGRect rect = rova::cgRectFromRectROI(part, double(self.canvasSize_.height));
    qv::dispatchOnMainThread([preview, image, rect] { preview(image, rect); });
  });
  // Also when the operation was cancelled: the next batch waits for it.
  if (done) op->addFinishObserver(std::move(done));
}

std::optional<CGRect> QVCloneAndStampProcessor::outputUpdateRect(const rova::RectRoi& changed, CGRect roi,
                                                                 CGSize size) const {
  const rova::RectRoiF region = rovaRoiFromRoi(roi);
  const rova::Size output{int(size.width), int(size.height)};
  if (region.isEmpty() || output.isEmpty()) return std::nullopt;
  const rova::RectRoi r =
      rova::outputRectForChange(changed, region, output.width / region.width, output.height / region.height, output);
  if (r.isEmpty()) return std::nullopt;
  return rova::cgRectFromRectROI(r, double(output.height));
}

void QVCloneAndStampProcessor::reportResultUpdate(CGRect roi, CGSize size, const ResultCallback& callback) {
  const std::optional<CGRect> update = outputUpdateRect(controller_->takeUpdateRect(), roi, size);
  if (!update) return;  // nothing in view changed
  auto image = obtainUpdateForRoi(roi, size, *update);
  qv::dispatchOnMainThread([callback, image, roi, size, update] { callback(image, roi, size, *update); });
}

void QVCloneAndStampProcessor::previewAtRelativePoint(CGPoint point, double radius, double opacity, double softness) {
  processStrokeStack();
  if (previewOperation_) previewOperation_->cancel();
  const auto p = enginePoint(brushAtPoint(point.x, point.y, radius, opacity, softness));
  if (!p) return;
  const CGRect roi = roi_;
  const CGSize size = size_;
  ResultCallback result = resultCallback_;
  previewOperation_ = perform([p = *p, roi, size, result](QVCloneAndStampProcessor& self) {
    if (!self.controller_) return;
    self.controller_->previewAt(p.x, p.y, p.radius, p.opacity, p.softness);
    if (result) self.reportResultUpdate(roi, size, result);
  });
}

void QVCloneAndStampProcessor::cancelPreview() {
  const CGRect roi = roi_;
  const CGSize size = size_;
  ResultCallback result = resultCallback_;
  perform([roi, size, result](QVCloneAndStampProcessor& self) {
    if (!self.controller_) return;
    self.controller_->cancelPreview();
    if (result) self.reportResultUpdate(roi, size, result);
  });
}

void QVCloneAndStampProcessor::endStroke() {
  processStrokeStack();
  stack_.push_back(entry(kEndStroke));
  perform([](QVCloneAndStampProcessor& self) {
    if (self.controller_) self.controller_->endStroke();
  });
}

std::optional<CGPoint> QVCloneAndStampProcessor::storedPoint(const qv::Value& e) const {
  auto x = finiteValue(e, "absolutePointX"), y = finiteValue(e, "absolutePointY");
  if (!x || !y) return std::nullopt;
  // A damaged stack may hold points far outside the picture; they are brought to its edge so the
  // engine never offsets by more than the canvas.
  const double w = std::max(0, canvasSize_.width - 1), h = std::max(0, canvasSize_.height - 1);
  return CGPointMake(std::clamp(double(*x), 0.0, w), std::clamp(double(*y), 0.0, h));
}

void QVCloneAndStampProcessor::setHistoryBrushStack(std::optional<qv::Array> newStack) {
  qv::Array s = newStack ? std::move(*newStack) : qv::Array{};
  if (s == stack_) return;
  configureCloneAndStamp();
  replaying_ = true;
  walk(
      s, [this](std::vector<BrushPoint> points) { processPoints(std::move(points), false); },
      [this](const std::string& id, const qv::Value& e) {
        if (id == kSetClonePoint || id == kSetStampPoint) {
          if (auto p = storedPoint(e)) applyPoint(id == kSetClonePoint, *p, false);
        } else if (id == kBeginStroke || id == kEndStroke) {
          const bool begin = id == kBeginStroke;
          perform([begin](QVCloneAndStampProcessor& self) {
            if (!self.controller_) return;
            begin ? self.controller_->beginStroke() : self.controller_->endStroke();
          });
        }
      });
  replaying_ = false;
  stack_ = std::move(s);
  postOnMainThread(kQVCloneAndStampHistoryUpdated);
  queue_->waitUntilAllOperationsAreFinished();
  // The replay drew without reports: the screen gets the whole result once.
  updateResult();
}

rova::RectRoiF QVCloneAndStampProcessor::rovaRoiFromRoi(CGRect roi) const {
  return rova::rectRoiFromCGRect(roi, double(canvasSize_.height));
}

CGRect QVCloneAndStampProcessor::roiFromRovaRoi(const rova::RectRoiF& roi) const {
  return rova::cgRectFromRectROI(roi, double(canvasSize_.height));
}

QVIPImage::Ptr QVCloneAndStampProcessor::obtainUpdateForRoi(CGRect roi, CGSize size, CGRect updateRect) const {
  if (!controller_) return nullptr;
  const rova::Size output{int(size.width), int(size.height)};
  // The engine's rows count from the top.
  const rova::RectRoi part = updateRect == CGRectZero
                                 ? rova::RectRoi{}
                                 : rova::truncated(rova::rectRoiFromCGRect(updateRect, double(output.height)));
  return QVIPImage::initWithImageData(controller_->lastResult(output, part, rovaRoiFromRoi(roi)));
}

QVIPImage::Ptr QVCloneAndStampProcessor::obtainOriginalForRoi(CGRect roi, CGSize size) {
  if (!originalImageComputeUnit_) return nullptr;
  originalImageComputeUnit_->setTransform({rovaRoiFromRoi(roi), {int(size.width), int(size.height)}});
  return QVIPImage::initWithImageData(originalImageComputeUnit_->workingImage());
}

void QVCloneAndStampProcessor::updateResult() {
  if (resultOperation_) resultOperation_->cancel();
  const CGRect roi = roi_;
  const CGSize size = size_;
  auto resultCallback = resultCallback_;
  auto originalCallback = originalCallback_;
  auto previewCallback = previewCallback_;
  std::weak_ptr<QVCloneAndStampProcessor> weak = sharedAs<QVCloneAndStampProcessor>();
  auto op = qv::BlockOperation::make([=] {
    auto self = weak.lock();
    if (!self || !self->controller_ || self->rovaRoiFromRoi(roi).isEmpty() || size.width < 1 || size.height < 1) return;
    auto result = self->obtainUpdateForRoi(roi, size, CGRectZero);
    auto original = self->obtainOriginalForRoi(roi, size);
    auto preview = QVIPImage::initWithMaskData(self->controller_->previewImage(),
                                               CGSizeMake(self->canvasSize_.width, self->canvasSize_.height));
    // Everything is shown now.
    self->controller_->takeUpdateRect();
    self->controller_->takePreviewUpdateRect();
    qv::dispatchOnMainThread([=] {
      if (resultCallback) resultCallback(result, roi, size, CGRectZero);
      if (originalCallback) originalCallback(original, roi, size);
      if (previewCallback) previewCallback(preview, CGRectZero);
    });
  });
  resultOperation_ = op;
  queue_->addOperation(op);
}

void QVCloneAndStampProcessor::createResultingLayerWithCompletion(
    std::function<void(std::shared_ptr<QVIPLayer>)> completion) {
  if (fullResultOperation_) fullResultOperation_->cancel();
  std::weak_ptr<QVCloneAndStampProcessor> weak = sharedAs<QVCloneAndStampProcessor>();
  auto op = qv::BlockOperation::make([weak, completion] {
    auto self = weak.lock();
    if (!self || !self->controller_) return;
    auto result = self->controller_->fullResult();
    qv::dispatchOnMainThread([result, completion] {
      if (completion) completion(QVIPLayerFactory::layerWithImageData(result));
    });
  });
  // Interactive work queued meanwhile (previews, strokes) goes first.
  op->setQueuePriority(qv::QueuePriority::Low);
  fullResultOperation_ = op;
  queue_->addOperation(op);
}

void QVCloneAndStampProcessor::historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& manager,
                                                                         const std::string& uuid,
                                                                         Completion completion) {
  // A save for another manager is not ours to make, but its caller still waits for an answer.
  if (!ownManager(manager)) {
    if (completion) completion(false);
    return;
  }
  const bool ok = qv::PropertyList::writeFile(manager.historyPath() + "/" + uuid + ".state",
                                              qv::Dictionary{{"HistoryBrushStack", stack_}});
  if (completion) completion(ok);
}

void QVCloneAndStampProcessor::historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& manager,
                                                                 const std::string& uuid, Completion completion) {
  if (!ownManager(manager)) {
    if (completion) completion(false);
    return;
  }
  const qv::Value state = qv::PropertyList::readFile(manager.historyPath() + "/" + uuid + ".state", nullptr);
  if (!state.isDictionary()) {
    if (completion) completion(false);
    return;
  }
  const qv::Array* stack = state["HistoryBrushStack"].array();
  setHistoryBrushStack(stack ? std::optional<qv::Array>(*stack) : std::nullopt);
  if (completion) completion(true);
}
