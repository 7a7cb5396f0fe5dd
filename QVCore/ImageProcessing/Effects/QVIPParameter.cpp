#include "QVCore/ImageProcessing/Effects/QVIPParameter.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"

namespace {

// Truncation towards zero that stays defined for NaN (0) and for values beyond the range.
template <class Int>
Int truncated(double x) {
  if (std::isnan(x)) return 0;
  if (x >= double(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
  if (x <= double(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
  return Int(x);
}

std::string format(const char* fmt, double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, fmt, x);
  return buffer;
}

}  // namespace

std::optional<std::string> QVIPParameter::fullName() const {
  auto p = parent();
  return p ? p->fullName() : std::nullopt;
}

std::shared_ptr<QVHistoryManagerProtocol> QVIPParameter::historyManager() const {
  auto p = parent();
  return p ? p->historyManager() : nullptr;
}

std::string QVIPParameter::historyPrefixText() const { return historyPrefix_ ? *historyPrefix_ + ": " : std::string(); }

QVChangeInfo QVIPParameter::baseChangeInfo() const {
  QVChangeInfo info;
  info.set(kQVChangeTypeStateInfoKey, kQVParameterStateInfoType);
  if (!identifier_.empty()) info.set(kQVParameterIDKey, identifier_);
  if (skipUpdateLowResOnChange_) info.set(kQVParameterSkipUpdateLowResKey, *skipUpdateLowResOnChange_);
  return info;
}

std::string QVIPParameter::additionalInfoForValue(double x) const {
  if (!discreteValues_.empty()) {
    int64_t index = 0;
    if (discreteValues_.size() != 1) {
      float step = float(x / discreteValuesMultiplier_);
      index = std::isfinite(step) && std::fabs(step) < 1e9f ? int64_t(std::lround(step)) : -1;
    }
    // A value beyond the discrete steps names no step: show the number instead.
    if (index >= 0 && index < int64_t(discreteValues_.size()))
      return qv::QVSLocalization::localizedStringForKey(discreteValues_[size_t(index)]);
    QVLogWarning("Discrete step %lld of %s is outside its %zu steps", (long long)index, identifier_.c_str(),
                 discreteValues_.size());
  }
  std::string text =
      numberMultiplier_ ? format("%.02f", double(float(*numberMultiplier_)) * x) : std::to_string(truncated<int>(x));
  return (x > 0 ? "+" : "") + text;
}

void QVIPParameter::setValue(double v) {
  if (v == value_) return;  // NaN on either side never compares equal: always a change
  if (auto history = historyManager()) {
    std::string action = (fullName() ? *fullName() : std::string()) + ": " + historyPrefixText() +
                         (historyName_ ? *historyName_ : name_) + (historySuffix_ ? *historySuffix_ : std::string());
    std::string info = qv::QVSLocalization::localizedStringForKey(additionalInfoForValue(v));
    history->registerHistoryWithActionNameAdditionalInfo(action, info);
  }
  value_ = v;
  postOnMainThread(kQVEffectParamDidChangeNotification);
  QVChangeInfo info = baseChangeInfo();
  if (doNotReset_) info.set(kQVParameterDoNotResetKey, true);
  if (auto p = parent()) p->childDidChangeState(sharedSelf(), info);
}

void QVIPParameter::setOptionalData(QVOptionalData data, uint64_t type) {
  if (type == optionalDataType_ && data == optionalData_) return;
  if (auto history = historyManager()) {
    std::string nameText, suffixText, info;
    if (type == QVParameterOptionalDataTypeImagePath || type == QVParameterOptionalDataTypeImageFile) {
      if (data) {
        info = type == QVParameterOptionalDataTypeImagePath
                   ? qv::lastPathComponent(data->asString())
                   : (*data)[kQVParameterOptionalDataOrigFileNameKey].asString();
      }
    } else {
      nameText = historyName_ ? *historyName_ : name_;
      suffixText = historySuffix_ ? *historySuffix_ : std::string(" Changed");
    }
    std::string action =
        (fullName() ? *fullName() : std::string()) + ": " + historyPrefixText() + nameText + suffixText;
    history->registerHistoryWithActionNameAdditionalInfo(action, qv::QVSLocalization::localizedStringForKey(info));
  }
  optionalDataType_ = type;
  optionalData_ = std::move(data);
  QVChangeInfo info = baseChangeInfo();
  info.set(kQVParameterOptionalDataTypeKey, type);
  if (auto p = parent()) p->childDidChangeState(sharedSelf(), info);
  postOnMainThread(kQVEffectPramaDidChangeOptionalData);
}

void QVIPParameter::reset() {
  if (doNotReset_) return;
  postOnMainThread(kQVEffectParamResetNotification);
  setValue(defaultValue_);
  setOptionalData(nullptr, QVParameterOptionalDataTypeNone);
}

void QVIPParameter::copyValuesFromParameter(const QVEffectParameterProtocol& s, bool overrideNonDefault) {
  identifier_ = s.identifier();
  name_ = s.name();
  historyName_ = s.historyName();
  historyPrefix_ = s.historyPrefix();
  historySuffix_ = s.historySuffix();
  numberFormat_ = s.numberFormat();
  numberMultiplier_ = s.numberMultiplier();
  if (overrideNonDefault || value_ == defaultValue_) setValue(s.value());
  minValue_ = s.minValue();
  maxValue_ = s.maxValue();
  defaultValue_ = s.defaultValue();
  if (overrideNonDefault || !optionalData_ || optionalDataType_ == QVParameterOptionalDataTypeNone) {
    QVOptionalData source = s.optionalData();
    setOptionalData(source ? QVMakeOptionalData(*source) : nullptr, s.optionalDataType());
  }
  discreteValues_ = s.discreteValues();
  viewControllerType_ = s.viewControllerType();
  skipUpdateLowResOnChange_ = s.skipUpdateLowResOnChange();
  defaultGradientColors_ = s.defaultGradientColors();
  rawGradientColors_ = s.rawGradientColors();
  rawDefColorIdx_ = s.rawDefColorIdx();
  fillNonDefaultValue_ = s.fillNonDefaultValue();
  visibleMin_ = s.visibleMin();
  visibleMax_ = s.visibleMax();
}

uint64_t QVIPParameter::hash() const {
  uint64_t dataHash = optionalData_ ? std::hash<std::string>{}(optionalData_->description()) : 0;
  return dataHash ^ std::hash<std::string>{}(identifier_) ^ uint64_t(truncated<int64_t>(value_ * 1000));
}

bool QVIPParameter::syncWithParameter(const std::shared_ptr<QVEffectParameterProtocol>& p) {
  if (!p) return false;
  if (p == syncParameter_.lock()) return true;
  if (p->identifier() != identifier_) {
    QVLogError("Error: different identifiers.");
    return false;
  }
  stopObservingNotificationsFromParameter();
  syncParameter_ = p;
  observeNotificationsFromParameter(p);
  processSync();
  return true;
}

void QVIPParameter::observeNotificationsFromParameter(const std::shared_ptr<QVEffectParameterProtocol>& p) {
  std::weak_ptr<QVIPParameter> weakSelf = weakAs<QVIPParameter>();
  auto handler = [weakSelf](const qv::Notification& n) {
    if (auto self = weakSelf.lock()) self->parameterDidChange(n);
  };
  auto& center = qv::NotificationCenter::defaultCenter();
  syncValueToken_ = center.addObserver(kQVEffectParamDidChangeNotification, p->notificationSender(), handler);
  syncDataToken_ = center.addObserver(kQVEffectPramaDidChangeOptionalData, p->notificationSender(), handler);
}

void QVIPParameter::stopObservingNotificationsFromParameter() {
  syncValueToken_.reset();
  syncDataToken_.reset();
}

void QVIPParameter::parameterDidChange(const qv::Notification&) { processSync(); }

void QVIPParameter::processSync() {
  auto twin = syncParameter_.lock();
  if (!twin) return;
  setValue(twin->value());
  setOptionalData(twin->optionalData(), twin->optionalDataType());
}
