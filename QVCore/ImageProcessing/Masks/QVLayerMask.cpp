#include "QVCore/ImageProcessing/Masks/QVLayerMask.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/Places.h"
#include "rova/ImageCompressorProxy.h"
#include "rova/masks/ComputeUnit.h"
#include "rova/processor/ImageProcessor.h"

namespace fs = std::filesystem;
using namespace QVBrushStack;

namespace {

constexpr const char* kCompressedMaskExtension = "rovacompressedmaskdata";

// One writer at a time for mask files: two saves of one name never interleave their bytes.
std::mutex& maskFileMutex() {
  static std::mutex m;
  return m;
}

std::string formatName(const std::string& format, const std::string& name) {
  std::string out = format;
  if (auto at = out.find("%@"); at != std::string::npos) out.replace(at, 2, name);
  return out;
}

std::string describe(const char* what, std::initializer_list<double> values) {
  std::string out = what;
  char buffer[32];
  for (double v : values) {
    std::snprintf(buffer, sizeof buffer, " %.9g", v);
    out += buffer;
  }
  return out;
}

// The raw mask form: little-endian 32-bit width and height, then exactly width x height floats.
// Anything else (a truncated or padded file) is refused rather than read as a shifted mask.
rova::MaskImagePtr readRawMask(const qv::Bytes& bytes) {
  if (bytes.size() < 8) return nullptr;
  auto le32 = [&](size_t at) {
    return int32_t(uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                   uint32_t(bytes[at + 3]) << 24);
  };
  const int32_t w = le32(0), h = le32(4);
  if (w <= 0 || h <= 0 || (bytes.size() - 8) / 4 / size_t(w) != size_t(h) || bytes.size() != 8 + size_t(w) * h * 4) {
    QVLogError("raw mask of %d x %d does not match its %zu bytes", w, h, bytes.size());
    return nullptr;
  }
  std::vector<float> values(size_t(w) * size_t(h));
  std::memcpy(values.data(), bytes.data() + 8, values.size() * 4);
  auto mask = std::make_shared<rova::MaskImage>(values.data(), values.size(), w, h);
  return mask->isValid() ? mask : nullptr;
}

std::optional<qv::Bytes> readFile(const std::string& path) { return qv::readFileBytes(path); }

}  // namespace

// The model makes masks and clone-and-stamp processors through the factory; these are the ones it
// makes, registered when the library loads (a test may register another in their place).
namespace {
const bool kQVLayerMaskRegistered = [] {
  QVLayerMask::registerMaker();
  return true;
}();
}  // namespace

void QVLayerMask::registerMaker() {
  QVLayerMaskFactory::registerMaker([]() -> std::shared_ptr<QVLayerMaskProtocol> { return make(); });
}

std::shared_ptr<rova::BaseLayer> QVLayerMask::engineLayer() const {
  auto layer = std::dynamic_pointer_cast<QVIPLayer>(parent());
  return layer ? layer->cppLayer() : nullptr;
}

std::shared_ptr<qv::Operation> QVLayerMask::perform(std::function<void(QVLayerMask&)> block, bool wait) {
  auto p = parent();
  auto queue = p ? p->parentProcessingQueue() : nullptr;
  std::weak_ptr<QVLayerMask> weak = sharedAs<QVLayerMask>();
  qv::Block run = [weak, block = std::move(block)] {
    if (auto self = weak.lock()) block(*self);
  };
  if (!queue || qv::OperationQueue::currentQueue() == queue) {
    run();
    return nullptr;
  }
  auto op = queue->addOperationWithBlock(std::move(run));
  if (wait) op->waitUntilFinished();
  return op;
}

void QVLayerMask::registerHistory(const std::string& format) {
  if (replaying_) return;
  auto p = parent();
  auto history = p ? p->historyManager() : nullptr;
  if (!history) return;
  history->registerHistoryWithActionName(formatName(format, p->fullName().value_or("")));
}

void QVLayerMask::setEngineCallObserver(std::function<void(const std::string&)> observer) {
  std::lock_guard<std::mutex> lock(observerMutex_);
  observer_ = std::move(observer);
}

void QVLayerMask::engineCall(const std::string& text) {
  std::lock_guard<std::mutex> lock(observerMutex_);
  if (observer_) observer_(text);
}

// A copy of the values inside `cut` (top-left pixels, within the data).
static rova::ImageDataFPtr cutMaskValues(const rova::ImageDataF& values, const rova::RectRoi& cut) {
  auto out = rova::ImageDataF::create(cut.width, cut.height);
  if (out)
    for (int row = 0; row < cut.height; ++row)
      std::copy_n(values.row(cut.y + row) + cut.x, size_t(cut.width), out->row(row));
  return out;
}

std::shared_ptr<QVIPImage> QVLayerMask::obtainMaskPreviewForRoi(CGRect, CGSize size, CGRect updateRect) const {
  auto cpp = engineLayer();
  rova::MaskImagePtr mask = cpp ? cpp->workingMask() : nullptr;
  if (!mask || !mask->isValid()) return QVIPImage::initWithMaskData(nullptr, size);
  // A copy: strokes keep painting into the live values while the preview is drawn.
  if (updateRect == CGRectZero) return QVIPImage::initWithMaskData(mask->copy()->data(), size);
  const int mw = mask->width(), mh = mask->height();
  const CGRect part = CGRectIntersection(CGRectIntegral(updateRect), CGRectMake(0, 0, mw, mh));
  if (CGRectIsEmpty(part)) return QVIPImage::initWithMaskData(nullptr, size);
  // Mask rows count from the top; the rectangle's from the bottom.
  const int x = int(part.origin.x), w = int(part.size.width), h = int(part.size.height);
  const int y = mh - int(part.origin.y) - h;
  auto out = cutMaskValues(*mask->data(), {x, y, w, h});
  return out ? QVIPImage::initWithMaskData(out, CGSizeMake(w, h)) : QVIPImage::initWithMaskData(nullptr, size);
}

void QVLayerMask::processPreviewIfNeeded() {
  if ((!updatePreviewCallback_ && !updateMaskPreviewCallback_) || CGRectIsEmpty(roi_) || size_.width <= 0 ||
      size_.height <= 0)
    return;
  if (previewOperation_) previewOperation_->cancel();
  const CGRect roi = roi_;
  const CGSize size = size_;
  PreviewCallback preview = updatePreviewCallback_, maskPreview = updateMaskPreviewCallback_;
  std::weak_ptr<QVLayerMask> weak = sharedAs<QVLayerMask>();
  qv::Block run = [weak, roi, size, preview, maskPreview] {
    auto self = weak.lock();
    if (!self) return;
    auto image = preview ? self->processImageForRoi(roi, size, CGRectZero) : nullptr;
    auto mask = maskPreview ? self->obtainMaskPreviewForRoi(roi, size, CGRectZero) : nullptr;
    qv::dispatchOnMainThread([roi, size, preview, maskPreview, image, mask] {
      if (preview) preview(image, roi, size, CGRectZero);
      if (maskPreview) maskPreview(mask, roi, size, CGRectZero);
    });
  };
  auto p = parent();
  auto queue = p ? p->parentProcessingQueue() : nullptr;
  if (!queue) return run();
  previewOperation_ = queue->addOperationWithBlock(std::move(run));
}

std::shared_ptr<QVIPImage> QVLayerMask::obtainLowResMaskPreviewUpdate(CGRect* part) const {
  auto cpp = engineLayer();
  const rova::ImageTransformSettings settings = cpp ? cpp->transformSettings() : rova::ImageTransformSettings{};
  rova::ImageDataFPtr preview = cpp ? cpp->maskPreviewForTransform(settings) : nullptr;
  if (!preview) return QVIPImage::initWithMaskData(nullptr, CGSizeMake(500, 500));
  const rova::RectRoi whole{0, 0, preview->width(), preview->height()};
  const rova::RectRoi changed = cpp->getMaskPreviewUpdateRect();
  rova::RectRoi cut = whole;
  rova::MaskImagePtr mask = cpp->getMask();
  if (!changed.isZero() && settings.cropDescription.isNone() && mask) {
    // Mask pixels to preview pixels: the preview shows the source rectangle at its output size.
    rova::RectRoiF src = settings.sourceRect;
    if (src.width <= 0 || src.height <= 0) src = {0, 0, double(mask->width()), double(mask->height())};
    const double sx = preview->width() / src.width, sy = preview->height() / src.height;
    const int x0 = int(std::floor((changed.x - src.x) * sx)), y0 = int(std::floor((changed.y - src.y) * sy));
    const int x1 = int(std::ceil((changed.right() - src.x) * sx)), y1 = int(std::ceil((changed.bottom() - src.y) * sy));
    cut = rova::RectRoi{x0, y0, x1 - x0, y1 - y0}.intersection(whole);
    if (cut.isEmpty()) cut = whole;
  }
  auto out = cutMaskValues(*preview, cut);
  if (!out) return QVIPImage::initWithMaskData(nullptr, CGSizeMake(500, 500));
  if (part) *part = CGRectMake(cut.x, cut.y, cut.width, cut.height);
  return QVIPImage::initWithMaskData(out, CGSizeMake(cut.width, cut.height));
}

static rova::ImageProcessorPtr engineProcessorOf(const std::shared_ptr<QVParentProtocol>& parent) {
  auto layer = std::dynamic_pointer_cast<QVIPLayer>(parent);
  return layer ? layer->processor() : nullptr;
}

rova::RectRoiF QVLayerMask::rovaRoiFromRoi(CGRect roi) const {
  auto processor = engineProcessorOf(parent());
  if (!processor) return rova::rectRoiFromCGRect(roi, 0.0);
  const rova::CropDescription crop = processor->getCropDescription();
  return rova::rectRoiFromCGRect(roi, crop.isNone() ? double(processor->canvasSize().height) : double(crop.height));
}

std::shared_ptr<QVIPImage> QVLayerMask::processImageForRoi(CGRect roi, CGSize size, CGRect updateRect) const {
  auto processor = engineProcessorOf(parent());
  const int width = int(size.width), height = int(size.height);
  if (!processor || width <= 0 || height <= 0) return nullptr;
  rova::ImageProcessorSettings settings;
  settings.region = rovaRoiFromRoi(roi);
  settings.outputSize = {width, height};
  if (!processor->startProcessing(settings)) return nullptr;
  rova::ImageDataRGBfPtr result = processor->getLastResult();
  if (!result) return nullptr;
  if (CGRectIsEmpty(updateRect)) return QVIPImage::initWithImageData(result);
  // The fitted result may be smaller than the size asked for: the part is cut from what exists.
  const CGRect part = CGRectIntegral(updateRect);
  const int h = int(part.size.height);
  const rova::RectRoi cut =
      rova::RectRoi{int(part.origin.x), height - int(part.origin.y) - h, int(part.size.width), h}.intersection(
          {0, 0, result->width(), result->height()});
  if (cut.isEmpty()) return nullptr;
  return QVIPImage::initWithImageData(rova::cutAndScale(
      *result, {double(cut.x), double(cut.y), double(cut.width), double(cut.height)}, {cut.width, cut.height}));
}

void QVLayerMask::engineChanged() {
  auto cpp = engineLayer();
  if (!cpp) return;
  // Only the brush's changed part needs redrawing; a cancel or a whole-mask operation reports its
  // own extent the same way.
  if (controller_)
    cpp->maskPixelsChanged(controller_->takeUpdateRect());
  else
    cpp->resetMaskCache();
}

// ---- Controller ----

void QVLayerMask::createBrushController() {
  if (hasController_) return;
  auto layer = std::dynamic_pointer_cast<QVIPLayer>(parent());
  if (layer && !layer->hasMask()) layer->createMaskAndFillWith(0, false);
  hasController_ = true;
  perform(
      [layer](QVLayerMask& self) {
        auto cpp = self.engineLayer();
        if (!cpp) return;
        if (!cpp->hasMask() && layer && layer->processor())
          cpp->createMaskWithSize(layer->processor()->canvasSize(), 0);
        self.controller_ = std::make_shared<rova::BrushController>(cpp->getMask());
      },
      true);
  postOnMainThread(kQVLayerMaskDidCreateBrushController);
}

void QVLayerMask::dropBrushController() {
  if (!hasController_) return;
  hasController_ = false;
  perform([](QVLayerMask& self) { self.controller_.reset(); }, true);
}

void QVLayerMask::finishDrawing() {
  if (!hasController_) return;
  endStrokeIfNeeded();
  dropBrushController();
}

// ---- Strokes ----

void QVLayerMask::setBrushMode(unsigned mode) {
  endStrokeIfNeeded();
  if (mode == brushMode_) return;
  brushMode_ = mode;
  modeChanged_ = true;
}

void QVLayerMask::beginStrokeUpdatePreview(bool updatePreview) {
  endStrokeIfNeeded();
  registerHistory("%@: Brush Stroke");
  createBrushController();
  strokeInProgress_ = true;
  strokeStart_ = stack_.size();
  std::optional<unsigned> mode;
  if (modeChanged_ && brushMode_ <= 2) mode = brushMode_;
  record(qv::Dictionary{{kID, kBeginStroke}, {"brushMode", brushMode_}});
  // A replay reports once at its end; no preview per stroke.
  PreviewCallback preview = updatePreview && !replaying_ ? updatePreviewCallback_ : PreviewCallback{};
  const CGRect roi = roi_;
  const CGSize size = size_;
  perform(
      [mode, preview, roi, size](QVLayerMask& self) {
        if (!self.controller_) return;
        if (mode) {
          self.controller_->setBrushMode(rova::BrushMode(*mode));
          self.engineCall(describe("mode", {double(*mode)}));
        }
        self.controller_->beginStroke();
        self.engineCall("begin");
        if (!preview) return;
        auto image = self.processImageForRoi(roi, size, CGRectZero);
        qv::dispatchOnMainThread([preview, image, roi, size] { preview(image, roi, size, CGRectZero); });
      },
      false);
}

void QVLayerMask::updateAtRelativePoint(CGPoint point, double radius, double opacity, double softness) {
  updateAtRelativePoint(point, radius, opacity, softness, qv::Date::now());
}

void QVLayerMask::updateAtRelativePoint(CGPoint point, double radius, double opacity, double softness, qv::Date date) {
  qv::Value entry = brushAtPoint(point.x, point.y, radius, opacity, softness);
  auto enginePt = enginePoint(entry);
  record(std::move(entry));
  if (!enginePt) return;
  strokeQueue_.push(*enginePt, date.secondsSinceReferenceDate);
  processStrokeStackIfNeeded();
}

void QVLayerMask::processStrokeStackIfNeeded() {
  std::weak_ptr<QVLayerMask> weak = sharedAs<QVLayerMask>();
  strokeQueue_.runNextBatch(weak, [weak](std::vector<BrushPoint> points, std::function<void()> done) {
    if (auto self = weak.lock()) self->processPoints(std::move(points), true, std::move(done));
  });
}

void QVLayerMask::processStrokeStack() { processPoints(strokeQueue_.takeAll(), true); }

void QVLayerMask::processPoints(std::vector<BrushPoint> points, bool updatePreview, std::function<void()> done) {
  if (points.empty()) {
    if (done) done();
    return;
  }
  StrokePreview preview{roi_, size_, updatePreviewCallback_, updateMaskPreviewCallback_,
                        updateLowResMaskPreviewCallback_};
  // Without a region, a size and a preview to show, a batch reports nothing: its caller reports
  // once at the end (a replay, the stroke's end).
  const bool report = updatePreview && !replaying_ && (preview.image || preview.mask) && !CGRectIsEmpty(roi_) &&
                      size_.width > 0 && size_.height > 0;
  auto op = perform(
      [points = std::move(points), report, preview](QVLayerMask& self) {
        auto cpp = self.engineLayer();
        if (!self.controller_ || !cpp || !cpp->hasMask()) return;
        bool changed = false;
        for (const BrushPoint& p : points) {
          changed |= self.controller_->addPoint(p.x, p.y, p.radius, p.opacity, p.softness);
          self.engineCall(describe("point", {p.x, p.y, p.radius, p.opacity, p.softness}));
        }
        if (!changed) return;
        self.engineChanged();
        if (report) self.reportStrokePreview(preview);
      },
      false);
  // Also when the operation was cancelled or found nothing to draw on: the next batch waits for it.
  if (!done) return;
  if (op)
    op->addFinishObserver(std::move(done));
  else
    done();
}

std::optional<CGRect> QVLayerMask::resultUpdateRect(const rova::RectRoi& changed, CGRect roi, CGSize size) const {
  auto processor = engineProcessorOf(parent());
  auto cpp = engineLayer();
  if (!processor || !cpp) return std::nullopt;
  // Through a crop the change would have to be turned with it: the whole output is simpler.
  if (changed.isZero() || !processor->getCropDescription().isNone()) return CGRectZero;
  const rova::Size canvas = processor->canvasSize();
  const rova::RectRoiF frame{0, 0, double(canvas.width), double(canvas.height)};
  const rova::RectRoiF asked = rovaRoiFromRoi(roi);
  const rova::RectRoiF region = asked.isZero() ? frame : asked.intersection(frame);
  if (region.isEmpty()) return std::nullopt;
  // The render fits the region into the size, keeping its proportions.
  const double scale = std::min(size.width / region.width, size.height / region.height);
  const rova::Size output{std::max(1, int(std::lround(region.width * scale))),
                          std::max(1, int(std::lround(region.height * scale)))};
  // Feathering spreads a change over about two feather radii.
  const double feather = cpp->maskFeather();
  const int grow = feather > 0 ? int(std::ceil(2 * feather)) + 1 : 0;
  const rova::RectRoi grown{changed.x - grow, changed.y - grow, changed.width + 2 * grow, changed.height + 2 * grow};
  const rova::RectRoi r = rova::outputRectForChange(grown, region, scale, scale, output);
  if (r.isEmpty()) return std::nullopt;
  return rova::cgRectFromRectROI(r, double(int(size.height)));
}

void QVLayerMask::reportStrokePreview(const StrokePreview& p) {
  auto cpp = engineLayer();
  if (!cpp) return;
  const rova::MaskImagePtr mask = cpp->getMask();
  const rova::RectRoi changed = cpp->getWorkingMaskUpdateRect();
  const std::optional<CGRect> update = resultUpdateRect(changed, p.roi, p.size);
  std::shared_ptr<QVIPImage> image, maskImage, lowRes;
  if (p.image && update) image = processImageForRoi(p.roi, p.size, *update);
  CGRect maskRect = CGRectZero;
  if (p.mask && mask) {
    const rova::RectRoi part = changed.intersection({0, 0, mask->width(), mask->height()});
    if (!part.isEmpty()) maskRect = rova::cgRectFromRectROI(part, double(mask->height()));
    maskImage = obtainMaskPreviewForRoi(p.roi, p.size, maskRect);
  }
  CGRect lowResPart = CGRectZero;
  if (p.lowRes) lowRes = obtainLowResMaskPreviewUpdate(&lowResPart);
  std::weak_ptr<QVLayerMask> weak = sharedAs<QVLayerMask>();
  qv::dispatchOnMainThread([weak, p, update, image, maskImage, maskRect, lowRes, lowResPart] {
    if (p.image && update) p.image(image, p.roi, p.size, *update);
    if (p.mask) p.mask(maskImage, p.roi, p.size, maskRect);
    if (p.lowRes) p.lowRes(lowRes, CGRectZero, CGSizeZero, lowResPart);
    if (auto self = weak.lock()) self->updateMaskWithInfo({{kQVLayerMaskChangeType, kQVLayerMaskStroke}});
  });
}

void QVLayerMask::endStroke() {
  if (!strokeInProgress_) return;
  strokeInProgress_ = false;
  // A gradient of the next stroke must not replace this one's.
  linearGradientOperation_.reset();
  radialGradientOperation_.reset();
  if (!hasController_) return;
  processStrokeStack();
  record(entry(kEndStroke));
  perform(
      [](QVLayerMask& self) {
        if (!self.controller_) return;
        self.controller_->endStroke();
        self.engineCall("end");
      },
      false);
  updateMaskWithInfo({{kQVLayerMaskChangeType, kQVLayerMaskEndStroke}});
}

void QVLayerMask::cancelStroke() {
  if (!strokeInProgress_) return;
  // The cancelled stroke's entries leave the stack too: left there, a replay would draw the
  // stroke the user took back.
  if (!gradientStroke_ && strokeStart_ <= stack_.size()) stack_.resize(strokeStart_);
  gradientDict_.reset();
  strokeQueue_.clear();
  strokeInProgress_ = gradientStroke_ = false;
  perform(
      [](QVLayerMask& self) {
        if (!self.controller_) return;
        const bool cancelled = self.controller_->cancelStroke();
        self.engineCall("cancel");
        if (!cancelled) return;
        self.engineChanged();
        auto cpp = self.engineLayer();
        const bool deleted = !(cpp && cpp->hasMask());
        std::weak_ptr<QVLayerMask> weak = self.sharedAs<QVLayerMask>();
        qv::dispatchOnMainThread([weak, deleted] {
          if (auto mask = weak.lock()) mask->updateMaskDeleted(deleted);
        });
      },
      false);
  linearGradientOperation_.reset();
  radialGradientOperation_.reset();
  dropBrushController();
}

// ---- Gradients ----

void QVLayerMask::generateGradient(double blend, CGPoint point, double rotation, bool applyToPreview, bool subtract) {
  qv::Value e = qv::Dictionary{{kID, kDrawGradient},
                               {"relativePointX", float(point.x)},
                               {"relativePointY", float(point.y)},
                               {"gradientRotation", float(rotation)},
                               {"gradientBlend", float(blend)},
                               {"gradientSubtract", subtract}};
  drawGradient(std::move(e), applyToPreview);
}

void QVLayerMask::generateRadialGradient(CGPoint point, double rotation, double innerRadius, double outerRadius,
                                         double aspectRatio, bool invert, bool applyToPreview) {
  qv::Value e = qv::Dictionary{{kID, kDrawRadialGradient},
                               {"relativePointX", float(point.x)},
                               {"relativePointY", float(point.y)},
                               {"gradientRotation", float(rotation)},
                               {"gradientInnerRadius", float(innerRadius)},
                               {"gradientOuterRadius", float(outerRadius)},
                               {"gradientAspectRatio", float(aspectRatio)},
                               {"gradientIsInvert", invert}};
  drawGradient(std::move(e), applyToPreview);
}

void QVLayerMask::drawGradient(qv::Value e, bool applyToPreview) {
  const bool radial = entryID(e) == kDrawRadialGradient;
  auto x = finiteValue(e, "relativePointX"), y = finiteValue(e, "relativePointY");
  auto rotation = finiteValue(e, "gradientRotation");
  auto a = finiteValue(e, radial ? "gradientInnerRadius" : "gradientBlend");
  auto b = finiteValue(e, radial ? "gradientOuterRadius" : "gradientRotation");
  auto c = finiteValue(e, radial ? "gradientAspectRatio" : "gradientRotation");
  if (!x || !y || !rotation || !a || !b || !c) {
    QVLogError("gradient with a number that is not finite refused");
    return;
  }
  createBrushController();
  if (!strokeInProgress_) {
    beginStroke();
    // Nothing of a gradient is recorded while it is dragged: applyGradient records it whole.
    stack_.pop_back();
    gradientStroke_ = true;
  }
  if (!applyToPreview && gradientStroke_) gradientDict_ = e;
  const bool flag = radial ? e["gradientIsInvert"].asBool() : e["gradientSubtract"].asBool();
  const float px = *x, py = 1.0f - *y, rot = *rotation, va = *a, vb = *b, vc = *c;
  std::shared_ptr<qv::Operation>& pending = radial ? radialGradientOperation_ : linearGradientOperation_;
  if (pending) pending->cancel();
  pending = perform(
      [=](QVLayerMask& self) {
        if (!self.controller_) return;
        if (radial) {
          self.controller_->drawRadialGradient(px, py, rot, va, vb, vc, flag);
          self.engineCall(describe(flag ? "radial inverted" : "radial", {px, py, rot, va, vb, vc}));
        } else {
          self.controller_->drawLinearGradient(px, py, rot, va, flag);
          self.engineCall(describe(flag ? "linear subtract" : "linear", {px, py, rot, va}));
        }
        self.engineChanged();
      },
      false);
  updateMask();
}

void QVLayerMask::applyGradient() {
  if (gradientStroke_ && gradientDict_) {
    record(qv::Dictionary{{kID, kBeginStroke}, {"brushMode", brushMode_}});
    record(*gradientDict_);
  }
  gradientDict_.reset();
  gradientStroke_ = false;
  endStroke();
}

void QVLayerMask::applyGradientFromDict(const qv::Value& e) {
  const std::string id = entryID(e);
  if (id == kDrawGradient || id == kDrawRadialGradient) drawGradient(e, false);
}

void QVLayerMask::generatePolygon(const QVPolygonPath& path, CGSize imageSize, CGRect,
                                  const std::function<bool(QVIPMask::Ptr)>& callback) {
  const int width = std::max(0, int(imageSize.width)), height = std::max(0, int(imageSize.height));
  auto values = std::make_shared<std::vector<float>>(size_t(width) * size_t(height));
  float* data = values->data();
  qv::dispatchApply(size_t(height), [&](size_t y) { path.fillRow(double(y), data + y * size_t(width), width); });
  // The buffer goes to the mask as it is, without a copy.
  QVIPMask::Ptr mask = QVIPMask::make(std::move(values), imageSize);
  if (callback && callback(mask)) updateMask();
}

// ---- Mask setting ----

void QVLayerMask::setDensity(double density) {
  endStrokeIfNeeded();
  density_ = density;
  updateMaskSetting();
}

void QVLayerMask::setFeather(double feather) {
  endStrokeIfNeeded();
  feather_ = feather;
  updateMaskSetting();
}

void QVLayerMask::updateMaskSetting() {
  createBrushController();
  processStrokeStack();
  const float density = float(density_), feather = float(feather_);
  if (settingOperation_) settingOperation_->cancel();
  settingOperation_ = perform(
      [density, feather](QVLayerMask& self) {
        if (!self.controller_) return;
        self.controller_->setMaskSetting(density, feather);
        // The layer applies the setting while rendering; the values change only when baked.
        if (auto cpp = self.engineLayer()) cpp->setMaskSetting(density, feather);
        self.engineCall(describe("setting", {density, feather}));
      },
      false);
  if (auto p = parent())
    p->childDidChangeState(
        sharedSelf(),
        QVChangeInfo{{{kQVLayerMaskDidChangeNotification, true}, {kQVLayerMaskSettingsDidChange, true}}, {}});
  postOnMainThread(kQVLayerMaskDidChangeNotification);
}

void QVLayerMask::applyFeatherAndDensity() {
  processStrokeStack();
  if (!hasController_) return;
  // Recorded, unlike the setting itself: without the entry a replay (undo, redo, reopening) would
  // give back the mask as it was before baking.
  record(qv::Dictionary{{kID, kApplyFeatherAndDensity}, {"density", float(density_)}, {"feather", float(feather_)}});
  bake(float(density_), float(feather_));
  density_ = 100;
  feather_ = 0;
  updateMaskWithInfo({{kQVLayerMaskChangeType, kQVLayerMaskApplyFeatherAndDensity}});
}

void QVLayerMask::bake(float density, float feather) {
  perform(
      [density, feather](QVLayerMask& self) {
        if (!self.controller_) return;
        self.controller_->setMaskSetting(density, feather);
        self.controller_->bakeDensityAndFeather();
        // Now in the values: rendering must not apply it a second time.
        if (auto cpp = self.engineLayer()) cpp->setMaskSetting(100, 0);
        self.engineCall(describe("bake", {density, feather}));
        self.engineChanged();
      },
      false);
}

// ---- Whole-mask operations ----

void QVLayerMask::wholeMaskOperation(const char* historyFormat, const char* id, bool resetFirst,
                                     void (rova::BrushController::*operation)(), bool wait) {
  endStrokeIfNeeded();
  registerHistory(historyFormat);
  if (resetFirst) resetState();
  record(entry(id));
  const bool created = !hasController_;
  createBrushController();
  const std::string name = id;
  perform(
      [operation, name](QVLayerMask& self) {
        if (!self.controller_) return;
        ((*self.controller_).*operation)();
        self.engineCall(name);
        self.engineChanged();
      },
      wait);
  // A controller made only for this operation goes again; dropping it waits on the same serial
  // queue, so the operation has run by then.
  if (created) dropBrushController();
}

void QVLayerMask::clearMaskWithNextDelete(bool nextDelete) {
  wholeMaskOperation(nextDelete ? "%@: Mask Deleted" : "%@: Mask Cleared", kClearMask, true,
                     &rova::BrushController::clear, true);
  if (auto p = parent())
    p->childDidChangeState(
        sharedSelf(),
        QVChangeInfo{{{kQVLayerMaskDidChangeNotification, false}, {kQVLayerMaskDeleted, nextDelete}}, {}});
  postOnMainThread(kQVLayerMaskDidChangeNotification);
}

void QVLayerMask::fillMask() {
  wholeMaskOperation("%@: Mask Filled", kFillMask, true, &rova::BrushController::fill, false);
  if (auto p = parent())
    p->childDidChangeState(sharedSelf(), QVChangeInfo{{{kQVLayerMaskDidChangeNotification, true}}, {}});
  postOnMainThread(kQVLayerMaskDidChangeNotification);
}

void QVLayerMask::invertMask() {
  wholeMaskOperation("%@: Mask Inverted", kInvertMask, false, &rova::BrushController::invert, false);
  if (auto p = parent())
    p->childDidChangeState(sharedSelf(), QVChangeInfo{{{kQVLayerMaskDidChangeNotification, true}}, {}});
  postOnMainThread(kQVLayerMaskDidChangeNotification);
  postOnMainThread(kQVLayerMaskDidInvert);
}

void QVLayerMask::resetState() {
  endStrokeIfNeeded();
  historyMaskName_.reset();
  stack_.clear();
  historyMask_.reset();
}

// ---- Reports ----

void QVLayerMask::updateMaskDeleted(bool deleted) { updateMaskWithInfo({{kQVLayerMaskDeleted, deleted}}); }

void QVLayerMask::updateMaskWithInfo(qv::Dictionary info) {
  qv::Dictionary full = info;
  full[kQVLayerMaskDidChangeNotification] = true;
  auto p = parent();
  if (p) p->childDidChangeState(sharedSelf(), QVChangeInfo{full, {}});
  postOnMainThread(kQVLayerMaskDidChangeNotification);
  if (auto parentObject = std::dynamic_pointer_cast<QVModelObject>(p)) {
    qv::dispatchOnMainThread([parentObject, info] {
      qv::NotificationCenter::defaultCenter().postWithSender(kQVLayerMaskDidChangeNotification,
                                                             parentObject->notificationSender(), info);
    });
  }
}

// ---- Replay ----

void QVLayerMask::setBrushStack(std::optional<qv::Array> newStack) {
  qv::Array s = newStack ? std::move(*newStack) : qv::Array{};
  if (s.empty() && stack_.empty()) return;
  if (!(s == stack_)) {
    endStrokeIfNeeded();
    // Back to the pixels the stack starts from: the stored mask file's, or none.
    rova::MaskImagePtr start = historyMaskName_ && historyMask_ ? historyMask_->copy() : nullptr;
    perform(
        [start](QVLayerMask& self) {
          auto cpp = self.engineLayer();
          if (!cpp) return;
          if (start)
            cpp->setMask(start);
          else
            cpp->removeMask();
        },
        false);
    dropBrushController();
    createBrushController();
    if (!s.empty()) {
      if (s.size() > kQVBrushStackProgressThreshold)
        if (auto p = parent())
          p->childWillChangeState(sharedSelf(),
                                  QVChangeInfo{{{kQVChangeTypeStateInfoKey, "QVLayerDidChangeStateNotification"},
                                                {kQVLayerDidChangeStateNeedProgress, true}},
                                               {}});
      replaying_ = true;
      walk(
          s, [this](std::vector<BrushPoint> points) { processPoints(std::move(points), false); },
          [this](const std::string& id, const qv::Value& e) {
            if (id == kBeginStroke) {
              setBrushMode(beginStrokeMode(e));
              beginStroke();
            } else if (id == kEndStroke) {
              endStroke();
            } else if (id == kClearMask) {
              clearMaskWithNextDelete(false);
            } else if (id == kFillMask) {
              fillMask();
            } else if (id == kInvertMask) {
              invertMask();
            } else if (id == kApplyFeatherAndDensity) {
              auto density = finiteValue(e, "density"), feather = finiteValue(e, "feather");
              if (density && feather) bake(*density, *feather);
            } else if (id != kEraseMode && id != kBrushMode) {
              applyGradientFromDict(e);
            }
          });
      replaying_ = false;
    }
    stack_ = s;
  }
  if (gradientStroke_ && gradientDict_) applyGradientFromDict(*gradientDict_);
  if (stack_.empty() && !historyMaskName_ && !gradientDict_) {
    finishDrawing();
    if (auto p = parent())
      p->childDidChangeState(
          sharedSelf(), QVChangeInfo{{{kQVLayerMaskDidChangeNotification, true}, {kQVLayerMaskDeleted, true}}, {}});
  } else if (auto p = parent()) {
    p->childDidChangeState(sharedSelf(), QVChangeInfo{{{kQVLayerMaskDidChangeNotification, true}}, {}});
  }
  postOnMainThread(kQVLayerMaskDidChangeNotification);
}

// ---- Mask files ----

bool QVLayerMask::writeMaskFile(const std::string& path, const rova::MaskImagePtr& mask) {
  const std::vector<uint8_t> bytes = rova::ImageCompressorProxy::compressMask(*mask);
  if (bytes.empty()) {
    QVLogError("maskImageCompressed.size(): %zu", bytes.size());
    return false;
  }
  std::lock_guard<std::mutex> lock(maskFileMutex());
  // Written beside the target and renamed over it, so a reader never sees half a file.
  qv::Error error;
  if (!qv::writeFileAtomically(path, bytes.data(), bytes.size(), &error)) {
    QVLogError("![data writeToFile:%s atomically:YES]: %s", path.c_str(), error.description.c_str());
    return false;
  }
  return true;
}

void QVLayerMask::writeSaved(const std::string& path, const rova::MaskImagePtr& mask, bool force) {
  {
    std::lock_guard<std::mutex> lock(unwrittenMutex_);
    unwrittenPath_ = path;
  }
  std::weak_ptr<QVLayerMask> weak = sharedAs<QVLayerMask>();
  auto write = [weak, path, mask] {
    auto self = weak.lock();
    if (!self || !self->writeMaskFile(path, mask)) return;
    std::lock_guard<std::mutex> lock(self->unwrittenMutex_);
    if (self->unwrittenPath_ == path) self->unwrittenPath_.reset();
  };
  if (force)
    write();
  else
    qv::DispatchQueue::global()->async(write);
}

std::optional<std::string> QVLayerMask::unwrittenPath() const {
  std::lock_guard<std::mutex> lock(unwrittenMutex_);
  return unwrittenPath_;
}

void QVLayerMask::saveMask(bool force, std::optional<std::string> uuid, bool ignoreHistoryMaskName) {
  auto p = parent();
  auto history = p ? p->historyManager() : nullptr;
  if (!history) return;
  if (hasController_) return;  // still drawing: the brush stack describes the mask
  if (!ignoreHistoryMaskName && historyMaskName_) {
    // Already saved; a file that could not be written then is written now, from the kept copy.
    if (historyMask_)
      if (auto path = unwrittenPath(); path && qv::lastPathComponent(*path) == *historyMaskName_)
        writeSaved(*path, historyMask_, force);
    return;
  }
  rova::MaskImagePtr copy;
  perform(
      [&copy](QVLayerMask& self) {
        auto cpp = self.engineLayer();
        if (cpp && cpp->hasMask()) copy = cpp->getMask()->copy();
      },
      true);
  if (!copy) return;
  const std::string name = uuid.value_or(qv::stringWithUUID()) + "." + kCompressedMaskExtension;
  const std::string path = qv::appendingPathComponent(history->resourcesPath(), name);
  stack_.clear();
  historyMaskName_ = name;
  historyMask_ = copy;
  writeSaved(path, copy, force);
}

void QVLayerMask::setHistoryMaskName(std::optional<std::string> name) {
  if (name == historyMaskName_) return;
  endStrokeIfNeeded();
  auto p = parent();
  auto history = p ? p->historyManager() : nullptr;
  const std::string folder = history ? history->resourcesPath() : std::string();
  if (historyMaskName_ && history) {
    std::error_code ec;
    // The step that referred to the current name keeps a file: it is written now when missing.
    if (!fs::exists(qv::appendingPathComponent(folder, *historyMaskName_), ec))
      saveMask(true, qv::deletingPathExtension(*historyMaskName_), true);
  }
  historyMaskName_ = name;
  if (name) {
    if (p)
      p->childWillChangeState(sharedSelf(),
                              QVChangeInfo{{{kQVChangeTypeStateInfoKey, "QVLayerDidChangeStateNotification"},
                                            {kQVLayerDidChangeStateNeedProgress, true}},
                                           {}});
    rova::MaskImagePtr data;
    if (history) {
      if (auto bytes = readFile(qv::appendingPathComponent(folder, *name))) {
        if (qv::pathExtension(*name) == kCompressedMaskExtension) {
          std::string error;
          data = rova::ImageCompressorProxy::uncompressMask(*bytes, &error);
          if (!data) QVLogError("mask file %s: %s", name->c_str(), error.c_str());
        } else {
          data = readRawMask(*bytes);
        }
      }
    }
    if (data) {
      historyMask_ = data;
      finishDrawing();
      rova::MaskImagePtr engineCopy = data->copy();
      perform(
          [engineCopy](QVLayerMask& self) {
            if (auto cpp = self.engineLayer()) cpp->setMask(engineCopy);
          },
          false);
      updateMask();
      return;
    }
  }
  noMaskLoaded();
}

void QVLayerMask::noMaskLoaded() {
  historyMask_.reset();
  if (auto p = parent())
    p->childDidChangeState(sharedSelf(),
                           QVChangeInfo{{{kQVLayerMaskDidChangeNotification, true}, {kQVLayerMaskDeleted, true}}, {}});
  postOnMainThread(kQVLayerMaskDidChangeNotification);
  dropBrushController();
  perform(
      [](QVLayerMask& self) {
        if (auto cpp = self.engineLayer()) cpp->removeMask();
      },
      true);
  updateMaskDeleted(true);
}
