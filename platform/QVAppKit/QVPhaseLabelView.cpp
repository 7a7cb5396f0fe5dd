#include "QVAppKit/QVPhaseLabelView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/UserDefaults.h"

namespace {

std::function<uint32_t()>& randomSource() {
  static std::function<uint32_t()> source;
  return source;
}

// The stored estimate under `key`, or `fallback` when it is missing or not a finite positive
// number (a rate of 0, a negative or a non-finite one would stall the label or make it race).
float storedRate(const char* key, float fallback) {
  const qv::Value value = qv::UserDefaults::standardUserDefaults().objectForKey(key);
  if (value.isNull()) return fallback;
  const auto rate = float(value.asDouble(std::numeric_limits<double>::quiet_NaN()));
  return std::isfinite(rate) && rate > 0 ? rate : fallback;
}

void storeRate(const char* key, float rate, float divisor, float fallback) {
  if (std::isnan(rate) || rate == 0 || std::isinf(rate)) return;
  const float old = storedRate(key, fallback);
  const float updated = old + (rate - old) / divisor;
  auto& defaults = qv::UserDefaults::standardUserDefaults();
  defaults.setFloat(updated, key);
  defaults.synchronize();
}

}  // namespace

// ---- QVPhaseLabelView ----

QVPhaseLabelView::~QVPhaseLabelView() {
  *alive_ = false;
  cancelScheduledSteps();
}

void QVPhaseLabelView::initialize() {
  QVLabel::initialize();
  setBackgroundColor(QColor());
  setTitle(std::optional<std::string>(""));
  setFontName("SF UI Display Heavy");
  setFontSize(15);
  setTitleColor(Qt::white);
  setFrameSize(sizeForCurrentString());
}

void QVPhaseLabelView::setRandomSource(std::function<uint32_t()> source) { randomSource() = std::move(source); }

uint32_t QVPhaseLabelView::random32() {
  if (randomSource()) return randomSource()();
  static std::mt19937 engine{std::random_device{}()};
  return uint32_t(engine());
}

void QVPhaseLabelView::setStringValue(const std::string& text) {
  setTitle(std::optional<std::string>(text));
  setFrameSize(sizeForCurrentString());
}

std::optional<double> QVPhaseLabelView::elapsedWholeSeconds() const {
  if (!startProcDate_) return std::nullopt;
  return std::trunc(qv::MainExecutor::shared().now() - *startProcDate_);
}

void QVPhaseLabelView::restart() {
  startProcDate_ = qv::MainExecutor::shared().now();
  reload();
  updatePhaseWithIdx(0);
}

void QVPhaseLabelView::stop() {
  const auto elapsed = elapsedWholeSeconds();
  if (!elapsed) return;
  updateApproxTimeWithTimeInterval(*elapsed);
  startProcDate_.reset();
}

void QVPhaseLabelView::updatePhaseWithIdx(int64_t index) {
  if (phasesDescriptions_.empty()) return;
  if (index < 0 || index > lastSteppedIdx()) return;
  setStringValue(phasesDescriptions_[size_t(index)]);
  const double delay = std::max(0.0, double(approxTimeForIteration()));
  auto id = std::make_shared<uint64_t>(0);
  std::weak_ptr<bool> alive = alive_;
  *id = qv::MainExecutor::shared().asyncAfter(delay, [this, alive, id] {
    if (alive.expired()) return;
    scheduled_.erase(*id);
    updatePhase();
  });
  scheduled_.insert(*id);
}

void QVPhaseLabelView::updatePhase() {
  const std::string shown = stringValue();
  const auto it = std::find(phasesDescriptions_.begin(), phasesDescriptions_.end(), shown);
  if (it == phasesDescriptions_.end()) return;
  updatePhaseWithIdx(int64_t(it - phasesDescriptions_.begin()) + 1);
}

void QVPhaseLabelView::cancelScheduledSteps() {
  for (auto id : scheduled_) qv::MainExecutor::shared().cancel(id);
  scheduled_.clear();
}

void QVPhaseLabelView::showLastPhase() {
  cancelScheduledSteps();
  if (phasesDescriptions_.empty()) return;
  showLastPhaseText();
}

double QVPhaseLabelView::megaPixelsInImage() const {
  return processingImageSize_.width * processingImageSize_.height / 1000000.0;
}

double QVPhaseLabelView::approxTimeForProcessing() const { return classApproxTimeForMPX() * megaPixelsInImage(); }

void QVPhaseLabelView::updateApproxTimeWithTimeInterval(double seconds) {
  if (!(seconds >= 1.0)) return;
  classUpdateApproxTimeForMPX(float(seconds) / float(megaPixelsInImage()));
}

// ---- QVExportingLabelView ----

QVExportingLabelView* QVExportingLabelView::exportingLabelView() { return QVMake<QVExportingLabelView>(); }

void QVExportingLabelView::restart() {
  // The export panel restarts the label for each further image, so that image's time is learned here.
  if (const auto elapsed = elapsedWholeSeconds(); elapsed && *elapsed > 0 && std::isfinite(*elapsed)) {
    updateApproxTimeWithTimeInterval(*elapsed);
  }
  QVPhaseLabelView::restart();
}

void QVExportingLabelView::reload() {
  auto source = dataSource_.lock();
  if (!source) return;
  phasesDescriptions_ = source->phaseDescriptinosForExportingLabel(this);
  processingImageSize_ = source->processingImageSizeForExportingLabel(this);
}

float QVExportingLabelView::approxTimeForIteration() const {
  const auto t = float(approxTimeForProcessing());
  const auto n = float(phasesCount());
  return t / n - 1.0f + float(random32() % 60) / 100.0f - 0.1f;
}

void QVExportingLabelView::showLastPhaseText() { setStringValue(phasesDescriptions_.back()); }

float QVExportingLabelView::approxTimeForMPX() { return storedRate(kKey, kDefault); }

void QVExportingLabelView::updateApproxTimeForMPX(float rate) { storeRate(kKey, rate, 2.0f, kDefault); }

// ---- QVLoadingLabelView ----

QVLoadingLabelView* QVLoadingLabelView::loadingLabelView() { return QVMake<QVLoadingLabelView>(); }

void QVLoadingLabelView::reload() {
  auto source = dataSource_.lock();
  if (!source) return;
  phasesDescriptions_ = source->phaseDescriptinosForLoadingLabel(this);
  processingImageSize_ = source->processingImageSizeForLoadingLabel(this);
}

float QVLoadingLabelView::approxTimeForIteration() const {
  const auto t = float(approxTimeForProcessing());
  const auto n = float(phasesCount());
  return t / n + float(random32() % 40) / 100.0f - 0.1f;
}

float QVLoadingLabelView::approxTimeForMPX() { return storedRate(kKey, kDefault); }

void QVLoadingLabelView::updateApproxTimeForMPX(float rate) { storeRate(kKey, rate, 3.0f, kDefault); }
